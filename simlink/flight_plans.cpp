// AI flight plans.

#include "simlink/flight_plans.h"

#include "core/log.h"
#include "core/program_paths.h"
#include "core/strings.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <mutex>

namespace {

std::mutex folderMutex;
std::filesystem::path flightPlanFolder;

// Codes from the feed go into the file unescaped: only a plain airport code may pass.
std::string lf_airportCode(std::string_view text) {
    std::string code = gf_trim(text);
    const bool plain = code.size() <= 4 && std::all_of(code.begin(), code.end(), [](char c) {
                           return std::isalnum(static_cast<unsigned char>(c)) != 0;
                       });
    return plain ? code : std::string();
}

std::string_view lf_flightRules(SizeCategory category) {
    switch (category) {
    case SizeCategory::Buzjets:
    case SizeCategory::Large:
    case SizeCategory::Heavy:
        return "IFR";
    default:
        return "VFR";
    }
}

} // namespace

std::filesystem::path gf_flightPlanFolder() {
    std::lock_guard lock(folderMutex);
    return flightPlanFolder;
}

bool gf_createFlightPlanFolder() {
    const std::filesystem::path folder = userFolder() / "orig_dest";
    {
        std::lock_guard lock(folderMutex);
        flightPlanFolder = folder;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) gf_log(fmt::format("gf_createFlightPlanFolder: {}", ec.message()));
    ec.clear();
    const bool exists = std::filesystem::exists(folder, ec);
    if (ec && ec != std::errc::no_such_file_or_directory)
        throw std::filesystem::filesystem_error("exists", folder, ec);
    return exists;
}

std::filesystem::path gf_flightPlanPath(std::uint32_t objectId) {
    return gf_flightPlanFolder() / fmt::format("{}.pln", objectId);
}

std::string gf_flightPlanText(std::string_view origin, std::string_view destination, SizeCategory category) {
    return fmt::format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
                       "<FlightPlan.FlightPlan>\n"
                       "<FPType>{}</FPType>\n"
                       "<DepartureID>{}</DepartureID>\n"
                       "<DestinationID>{}</DestinationID>\n"
                       "</FlightPlan.FlightPlan>\n"
                       "</SimBase.Document>\n\n",
                       lf_flightRules(category), lf_airportCode(origin), lf_airportCode(destination));
}

bool gf_writeFlightPlan(const std::filesystem::path& path, std::string_view origin,
                        std::string_view destination, SizeCategory category) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << gf_flightPlanText(origin, destination, category);
    out.flush();
    return static_cast<bool>(out);
}

std::string gf_removeFlightPlan(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return ec ? ec.message() : std::string();
}

void gf_removeFlightPlanFolder() {
    const std::filesystem::path folder = gf_flightPlanFolder();
    if (folder.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    if (ec) gf_log(fmt::format("gf_removeFlightPlanFolder: {}", ec.message()));
}

void gf_resetFlightPlansForTests() {
    std::lock_guard lock(folderMutex);
    flightPlanFolder.clear();
}
