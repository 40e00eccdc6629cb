// What the aircraft.cfg targets share: a small type and airline table, so that the file task's type
// check lets liveries through and the section rules behind it are reached.
#pragma once

#include "refdata/dbase.h"

namespace fuzz_support {

inline void knownTypesAndAirlines() {
    static const bool done = [] {
        dbase.aircrafts = {"A320", "A321", "B738", "B77W", "E190", "E195", "DH8D", "C172"};
        dbase.ICAO_airlines = {"SWR", "DLH", "KLM", "EDW", "AUA", "BAW", "ZZZ"};
        dbase.fixes = {{"A32N", "A320"}, {"B38M", "B738"}};
        dbase.registrations["HB-JLT"] = RegRecord{"SWR", "A320", "", false};
        return true;
    }();
    (void)done;
}

} // namespace fuzz_support
