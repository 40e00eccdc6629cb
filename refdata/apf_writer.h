#pragma once
// Writing airport files (the scenery scan) and learned parking files (the traffic engine).

#include "refdata/parking_format.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// What goes into a parking file.
struct ApfData {
    std::string code; // ICAO code; not written (the file name is the caller's)
    std::string airport_name;
    std::string BGLpath;
    std::string publisher;
    std::string manufacturer;
    std::string creator;
    std::int32_t Qf_real = 0;
    std::int32_t Qf_soft = 0;
    std::int32_t altitude = 0; // feet
    std::vector<ParkPos> stands;
};
using ApfRecord = ApfData;

// The two kinds of file.
inline constexpr int apfLearnedMode = 0; // header with the parking settings; per stand what changed
inline constexpr int apfAirportMode = 1; // header and every stand's position, no flights

// The whole text of the file: an XML declaration, then root > meta, parameters and parkpositions,
// indented by two blanks per level, attribute values escaped as pugixml writes them. simKind goes into
// the MetaData header.
std::string gf_apfText(const ApfData& data, int mode, std::int32_t simKind);
// The same text into `out` (emptied first): a caller that writes many files keeps one buffer.
void gf_apfTextInto(std::string& out, const ApfData& data, int mode, std::int32_t simKind);
// Appends `value` in fixed notation with `decimals` digits after the point, exactly rounded, as
// fmt's "{:.Nf}" and std::to_chars write it ("-0.0" for negative zero, "nan", "inf").
void gf_appendFixed(std::string& out, double value, int decimals);
// Writes the file atomically and synced to disk (folders created). True when saved.
bool gf_writeApf(const ApfData& data, const std::filesystem::path& path, int mode, std::int32_t simKind);
