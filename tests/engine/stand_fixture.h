#pragma once
// The engine fixture with an empty stand list, the stand search's and the parking limits' globals at
// their start, and small builders of stands, options and parked aircraft.

#include "core/settings.h"
#include "core/timeutil.h"
#include "core/units.h"
#include "engine/base/engine_tables.h"
#include "engine/base/stands.h"
#include "engine/stands/parking_limits.h"
#include "engine/stands/stand_options.h"
#include "engine/stands/stand_search.h"
#include "feed/udp_readers.h"
#include "refdata/park_airport.h"
#include "refdata/type_lookups.h"

#include "tests/engine/engine_fixture.h"

#include <chrono>
#include <string>

namespace enginetest {

class StandTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        lf_resetStands();
        dbase.registrations["HB-AAA"] = RegRecord{"EZS", "A320", "", false};
        dbase.registrations["D-ACGO"] = RegRecord{"GEC", "B77W", "", true};
        dbase.registrations["HB-JNA"] = RegRecord{"SWR", "B77W", "", false};
        dbase.wingspans["A320"] = 35.8 * 0.5 / metresPerNm;
        dbase.wingspans["B77W"] = 64.8 * 0.5 / metresPerNm;
        INITIAL_LOAD_ONLY.value = false;
        HELICOPTERS.value = true;
    }

    void TearDown() override {
        lf_resetStands();
        INITIAL_LOAD_ONLY.value = false;
        EngineTest::TearDown();
    }

    static void lf_resetStands() {
        gf_clearParkPositions();
        parkPositions.reserve(256); // stands keep their places while tests add more
        gf_resetStandIndexForTests();
        gf_resetStandSearchForTests();
        gf_resetParkingLimitsForTests();
        parkAirport.standUpdateCount = 0;
    }

    // A stand numbered after the ones before it; radius in metres.
    static ParkPos& stand(const std::string& id, double lat, double lon, double radiusMetres = 20.0,
                          bool heli = false) {
        parkPositions.emplace_back(id, std::vector<ParkOpt>{}, lat, lon, 0.0, radiusMetres, false, false,
                                   heli);
        parkPositions.back().sid = static_cast<std::uint32_t>(parkPositions.size());
        return parkPositions.back();
    }

    // A real option numbered after the stand's others.
    static ParkOpt& option(ParkPos& at, const std::string& airl, const std::string& type,
                           const std::string& reg, std::uint32_t day,
                           std::initializer_list<std::uint32_t> hours, const std::string& cs = "",
                           const std::string& cs2 = "", std::uint32_t origin = 0) {
        ParkOpt opt;
        opt.airl = airl;
        opt.type = type;
        opt.reg = reg;
        opt.cs = cs;
        opt.cs2 = cs2;
        for (const auto h : hours)
            opt.hh.set(h);
        opt.day = day;
        opt.origin = origin;
        opt.seq = static_cast<std::uint32_t>(at.opts.size() + 1);
        at.opts.push_back(opt);
        return at.opts.back();
    }

    // An aircraft record for learning: registration, callsign, type data from the type.
    static AcData aircraft(const std::string& reg, const std::string& cs, const std::string& type = "A320",
                           bool cargo = false) {
        FlightIdent ident;
        ident.cs = cs;
        ident.reg = reg;
        ident.type = type;
        ident.airl = cs.substr(0, 3);
        AcData data(ident);
        data.cargo = cargo;
        data.halfSize = gf_wingspanOf(type);
        return data;
    }

    // An active live aircraft parked at `sid` since `minutes` ago.
    static LiveAc& parkedLive(std::uint32_t hexid, const std::string& cs, std::uint32_t sid,
                              std::int64_t minutes, const std::string& type = "A320") {
        LiveAc& ac = liveAc(hexid, cs, type);
        ac.simState = SimState::active;
        ac.phase = AcPhase::parked;
        ac.sid = sid;
        gf_setObjectId(ac, hexid + 1);
        ac.parkStartTicks = (gf_engineNow() - std::chrono::minutes(minutes)).time_since_epoch().count();
        return ac;
    }

    static StaticAc& staticAt(std::uint32_t hexid, const std::string& cs, std::uint32_t sid, WeekSlot since,
                              const std::string& type = "A320") {
        FlightIdent ident;
        ident.cs = cs;
        ident.type = type;
        AcData data(ident);
        data.hexid = hexid;
        const ParkPos* at = gf_findStand(sid);
        StaticAc ac(std::move(data), sid, StandPlace{at ? at->lat : 0, at ? at->lon : 0, 0}, false);
        ac.simState = SimState::active;
        ac.oid = hexid + 1;
        ac.parkedSince = since.packed();
        return gf_appendStaticAc(std::move(ac));
    }
};

// The stand fixture with the park airport LSZH set at the first stand's place, the week slot {3, 20} and
// the user aircraft in the air far from every stand; builds ground samples near the stands.
class ParkAirportTest : public StandTest {
protected:
    static constexpr double standLat = 47.45;
    static constexpr double standLon = 8.55;

    void SetUp() override {
        StandTest::SetUp();
        currentWeekSlot = WeekSlot{3, 20}.packed();
        parkAirportCode = "LSZH";
        currentParkAirport.code = "LSZH";
        currentParkAirport.lat = standLat;
        currentParkAirport.lon = standLon;
        userOnGround = false;
        engineLists.engineUserState = UserState{};
        engineLists.engineUserState.latitude = standLat + 0.1; // far from every stand
        engineLists.engineUserState.longitude = standLon;
    }

    void TearDown() override {
        userOnGround = false;
        gf_resetParkAirportForTests();
        StandTest::TearDown();
    }

    static PosSample groundSample(double lat, double lon, bool standing, double gs = 0) {
        PosSample s;
        s.lat = lat;
        s.lon = lon;
        s.airborne = false;
        s.standing = standing;
        s.gs = gs;
        s.duePass = enginePassCount.load() + 100;
        return s;
    }
};

} // namespace enginetest
