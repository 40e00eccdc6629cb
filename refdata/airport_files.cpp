#include "refdata/airport_files.h"

std::filesystem::path gf_xmlFileNameOf(const std::filesystem::path& name) {
    auto path = name;
    path += ".xml";
    return path;
}
std::filesystem::path gf_txtFileNameOf(const std::filesystem::path& name) {
    auto path = name;
    path += ".txt";
    return path;
}
bool gf_hasParkingSource(const std::string&) {
    return false;
}
std::string gf_apfRefOf(const std::string&) {
    return {};
}
bool gf_readPointerFile(const std::filesystem::path&, std::string&) {
    return false;
}
bool gf_isSafeReference(std::string_view) {
    return false;
}
std::string gf_downloadArchivedApf(const std::string&, const std::filesystem::path&) {
    return "failed";
}
std::filesystem::path gf_learnedPathOf(std::string_view, std::string_view) {
    return {};
}
std::string gf_publisherFolderName(std::string_view) {
    return {};
}
std::string gf_readApf(const std::string&, ParkAirportInfo&) {
    return "not built";
}
bool gf_apfHasPublisher(const std::filesystem::path&) {
    return false;
}
bool gf_isExcludedMaker(std::string_view) {
    return false;
}
