// Hostile and broken scenery files: each ends quietly or with its message, and never reads outside
// the file (run under the sanitizers). The files are kept under tests/data/scan/hostile as seeds for
// fuzzing; SKYLOOM_WRITE_SEEDS=1 writes them anew from the builders below.

#include "bgl_writer.h"
#include "scan/bgl_decoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>

using namespace bglw;
using ::testing::HasSubstr;

namespace {

const std::filesystem::path seeds = std::filesystem::path(SKYLOOM_TEST_DATA) / "scan" / "hostile";

Parking gate(std::uint32_t number, float radius = 20.0F, float heading = 90.0F, std::uint32_t codes = 0) {
    Parking p;
    p.number = number;
    p.radius = radius;
    p.heading = heading;
    p.airlineCodes = codes;
    return p;
}

std::string notes(const BglDecodeResult& r) {
    std::string text;
    for (const auto& e : r.events) {
        if (e.kind == BglEvent::Kind::note) text += e.note.text + "\n";
        if (e.kind == BglEvent::Kind::airport)
            for (const auto& n : r.airports[e.airport].notes)
                text += n.text + "\n";
    }
    return text;
}

struct Hostile {
    const char* name;
    std::function<Bytes()> build;
    std::size_t airports; // expected number of airports
    std::size_t stands;   // stands of the first airport
    const char* message;  // a line the decoding must report ("" for a quiet end)
};

const float nan = std::numeric_limits<float>::quiet_NaN();
const float inf = std::numeric_limits<float>::infinity();

const Hostile hostile[] = {
    {"section_count_overflow",
     [] {
         return file({Section{3, 0, {airport("LSZH", 0, {parkingList({gate(1)})})}}}, 0x33333334);
     },
     0, 0, ""},
    {"subsection_offset_beyond_end",
     [] {
         Bytes b = file({Section{3, 0, {airport("LSZH", 0, {parkingList({gate(1)})})}}});
         put32(b, 56 + 12, 0xFFFFFFF0);
         return b;
     },
     0, 0, ""},
    {"record_offset_beyond_end",
     [] {
         Bytes b = file({Section{3, 0, {airport("LSZH", 0, {parkingList({gate(1)})})}}});
         put32(b, 76 + 8, 0xFFFFFFFC);
         return b;
     },
     0, 0, ""},
    {"airport_record_size_0",
     [] {
         return file({Section{3, 0, {airport("LSZH", 0, {parkingList({gate(1)})}, 0)}}});
     },
     0, 0, "decodeSizeAtBoundary returned 0 at o2 = 23"},
    {"airport_record_size_2",
     [] {
         return file({Section{3, 0, {airport("LSZH", 0, {parkingList({gate(1)})}, 2)}}});
     },
     0, 0, "decodeSizeAtBoundary returned 0 at o2"},
    {"record_size_wraps_backwards",
     [] {
         return file({Section{3, 0, {record(0x0001, Bytes(10, 0), 0xFFFFFFFC), airport("LSZH", 0, {})}}});
     },
     0, 0, ""},
    {"airport_larger_than_file",
     [] {
         return file({Section{3, 0, {airport("LSZH", 0, {helipad(47.1, 8.1, 20.0F)}, 0x7FFFFFF0)}}});
     },
     1, 1, "exceeded data buffer size"},
    {"subrecord_size_0",
     [] {
         return file(
             {Section{3, 0, {airport("LSZH", 0, {record(0x0011, Bytes(2, 0), 0), parkingList({gate(1)})})}}});
     },
     1, 0, "decodeSizeAtBoundary returned 0 at o3"},
    {"records_9001",
     [] {
         Section s{3, 0, {}};
         for (int i = 0; i < 9001; ++i)
             s.records.push_back(record(0x0001, Bytes(2, 0)));
         s.records.push_back(airport("LSZH", 0, {}));
         return file({s});
     },
     0, 0, "Maximum loop iterations reached (2)"},
    {"subrecords_9001",
     [] {
         std::vector<Bytes> subs;
         for (int i = 0; i < 9001; ++i)
             subs.push_back(record(0x0011, Bytes(2, 0)));
         subs.push_back(parkingList({gate(1)}));
         return file({Section{3, 0, {airport("LSZH", 0, subs)}}});
     },
     1, 0, "Maximum loop iterations reached (1)"},
    {"parking_65535_in_short_record",
     [] {
         return file({Section{3, 0, {airport("LSZH", 0, {parkingList({gate(1), gate(2)}, 65535)})}}});
     },
     1, 2, "claims 65535 entries but its record ends after 2"},
    {"parking_list_beyond_airport",
     [] {
         Bytes list = parkingList({gate(1), gate(2), gate(3)});
         const auto airportSize = 68 + list.size() - 2 * 56;
         return file({Section{3, 0, {airport("LSZH", 0, {list}, static_cast<std::int64_t>(airportSize))}}});
     },
     1, 1, "claims 3 entries but its record ends after 1"},
    {"airline_codes_255",
     [] {
         // The second entry claims 255 airline codes that its record does not hold.
         Bytes list = parkingList({gate(1), gate(2)});
         std::uint32_t bits = 0;
         std::memcpy(&bits, list.data() + 8 + 56, 4);
         put32(list, 8 + 56, bits | 255U << 24);
         return file({Section{3, 0, {airport("LSZH", 0, {list})}}});
     },
     1, 1, "claims 2 entries but its record ends after 1"},
    {"nan_and_infinite_floats",
     [] {
         return file({Section{3,
                              0,
                              {airport("LSZH", 0,
                                       {helipad(47.1, 8.1, nan), helipad(47.2, 8.2, inf),
                                        parkingList({gate(1, nan), gate(2, inf), gate(3, 20.0F, nan),
                                                     gate(4, 20.0F, -inf), gate(5)})})}}});
     },
     1, 1, "Skipped position with radius NAN m"},
    {"cut_last_word",
     [] {
         Bytes b = file({Section{3, 0, {airport("LSZH", 0, {parkingList({gate(1), gate(2)})})}}});
         b.resize(b.size() - 3);
         return b;
     },
     1, 2, ""},
    {"cut_in_parking_list",
     [] {
         Bytes b = file({Section{3, 0, {airport("LSZH", 0, {parkingList({gate(1), gate(2)})})}}});
         b.resize(b.size() - 30);
         return b;
     },
     1, 1, "claims 2 entries but its record ends after 1"},
    {"empty", [] { return Bytes{}; }, 0, 0, ""},
    {"header_only_56_bytes",
     [] {
         Bytes b(56, 0);
         put32(b, 4, 56);
         put32(b, 20, 1);
         return b;
     },
     0, 0, ""},
};

class BglHostileFiles : public ::testing::TestWithParam<Hostile> {};

TEST_P(BglHostileFiles, EndQuietlyOrWithTheirMessage) {
    const Hostile& h = GetParam();
    const Bytes bytes = h.build();
    const std::filesystem::path seed = seeds / (std::string(h.name) + ".bgl");
    if (std::getenv("SKYLOOM_WRITE_SEEDS")) save(seed, bytes);

    // The kept seed is the file the builder makes, and the decoding gives the same for both.
    std::ifstream in(seed, std::ios::binary);
    const Bytes stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(stored, bytes) << seed;

    BglDecodeOptions options;
    options.knownAirport = [](const std::string& code) { return code == "LSZH"; };
    options.pathUtf8 = "x.bgl";
    const BglDecodeResult r = gf_decodeBgl(bytes, options);
    ASSERT_EQ(r.airports.size(), h.airports) << notes(r);
    if (h.airports) {
        EXPECT_EQ(r.airports[0].stands.size(), h.stands) << notes(r);
    }
    if (*h.message) {
        EXPECT_THAT(notes(r), HasSubstr(h.message));
    } else {
        EXPECT_EQ(notes(r), "");
    }
    for (const auto& a : r.airports)
        for (const auto& s : a.stands) {
            EXPECT_TRUE(std::isfinite(s.heading) && std::isfinite(s.radiusMetres)) << s.id;
            EXPECT_TRUE(std::isfinite(s.lat) && std::isfinite(s.lon)) << s.id;
        }

    std::istringstream stream(std::string(bytes.begin(), bytes.end()));
    gf_bglHasAirportSection(stream, bytes.size()); // must not read beyond the table either
}

INSTANTIATE_TEST_SUITE_P(Seeds, BglHostileFiles, ::testing::ValuesIn(hostile),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
