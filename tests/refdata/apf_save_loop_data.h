#pragma once
// The learned files the save loop writes in turn: two airports with different stands and flights, each
// save named by its round, so that a test can tell a whole file of any round from a damaged one.

#include "refdata/apf_writer.h"

#include <string>

namespace apf_save_loop {

struct LoopAirport {
    const char* code;
    int stands;
};
inline constexpr LoopAirport loopAirports[] = {{"LSZH", 200}, {"EDDF", 120}};

// The file of the airport saved in `round`: the stands and flights are the same in every round.
inline ApfData saveData(const LoopAirport& airport, long round) {
    ApfData data;
    data.code = airport.code;
    data.publisher = "stock";
    data.airport_name = "round " + std::to_string(round);
    for (int s = 0; s < airport.stands; ++s) {
        std::vector<ParkOpt> opts;
        for (std::uint32_t n = 1; n <= 10; ++n) {
            ParkOpt o;
            o.airl = airport.stands == 200 ? "SWR" : "DLH";
            o.type = "A320";
            o.reg = std::string(airport.code) + "-" + std::to_string(s * 10 + n);
            o.hh.set(n);
            o.seq = n;
            o.day = 1 + n % 7;
            opts.push_back(o);
        }
        data.stands.emplace_back(std::string(airport.code) + "S" + std::to_string(s), std::move(opts),
                                 47.0 + s * 0.001, 8.0, 0.0, 20.0, false, false, false);
    }
    return data;
}

} // namespace apf_save_loop
