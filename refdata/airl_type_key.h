#pragma once
// The airline-and-type key of an aircraft or a livery: the airline code left-aligned in three
// columns, one blank, the ICAO type left-aligned in four ("DLH A320", "EZ  B738").

#include <string>
#include <string_view>

std::string gf_airlTypeKey(std::string_view airl, std::string_view type);

// Any record with `airl` and `type` texts.
template <typename Record>
requires requires(const Record& r) {
    std::string_view{r.airl};
    std::string_view{r.type};
}
std::string gf_airlTypeKey(const Record& record) {
    return gf_airlTypeKey(std::string_view{record.airl}, std::string_view{record.type});
}
