// Fuzz target: the pure readers of an airport file and of a learned parking file, and their merge. The
// same document is read as both; the merge keeps every stand of the airport file (unless a handmade file
// takes their place). A file whose stands read is written as a learned file of a handmade airport
// (positions and flights) and read again: the second writing gives the same stands and flights as the
// first.

#include <cstddef>
#include <cstdint>
#include <string>

#include <pugixml.hpp>

#include "core/version.h"
#include "refdata/apf_writer.h"
#include "refdata/park_airport.h"
#include "refdata/park_airport_file.h"
#include "refdata/parking_format.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// The stands part of a written file (the header carries the time of writing).
std::string lf_writeStands(const std::vector<ParkPos>& stands, const std::filesystem::path& path) {
    ApfData data;
    data.code = "ZZZZ";
    data.stands = stands;
    fuzz_support::require(gf_writeApf(data, path, apfLearnedMode, 2020));
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto at = text.find("<parkpositions");
    return at == std::string::npos ? std::string() : text.substr(at);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pugi::xml_document doc;
    if (!doc.load_buffer(data, size)) return 0;
    // The pure readers: the airport file's values or its refusal, the learned file, the merge of the two.
    const ParkAirportFile file = gf_readParkAirportFile(doc);
    const bool fileTaken = file.headerRefusal.empty() && file.errorNumber() == 0;
    fuzz_support::require(file.errorNumber() == 0 || !file.errorText().empty());
    const LearnedFile learned = gf_readLearnedFile(doc);
    const MergedStands merged = gf_mergeLearnedFile(file.stands.stands, learned, "learned.xml");
    fuzz_support::require(merged.handmade || merged.stands.size() >= file.stands.stands.size());
    fuzz_support::require(!merged.handmade || !merged.refused);

    // The stands alone: the file's as its reader gave them, or its refusal (a stand without id or a
    // repeated id).
    const ParkingFileStands read = fileTaken ? file.stands : gf_parseParkpositions(doc);
    if (read.refused()) return 0;
    handmadeApf = true;
    const auto path = fuzz_support::folder() / "parking.xml";
    const std::string first = lf_writeStands(read.stands, path);

    pugi::xml_document written;
    fuzz_support::require(static_cast<bool>(written.load_file(path.c_str())));
    const ParkingFileStands again = gf_parseParkpositions(written);
    fuzz_support::require(!again.refused());
    fuzz_support::require(again.stands.size() <= read.stands.size());
    const std::string second = lf_writeStands(again.stands, path);
    fuzz_support::require(first == second);
    return 0;
}
