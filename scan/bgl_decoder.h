#pragma once
// The reader of one compiled scenery file (.bgl): its airport sections, their airport records with
// elevation, helipads and parking positions. A pure function over the file's bytes: what it finds
// and every line it has to report come back in one result, in the order the file gave them, so that
// the scan can act on them on its own thread (and tests and fuzzing call it directly).

#include <cstdint>
#include <functional>
#include <istream>
#include <span>
#include <string>
#include <utility>
#include <vector>

// One stand or helipad as the file describes it.
struct BglStand {
    std::string id;
    double lat = 0.0;          // degrees
    double lon = 0.0;          // degrees
    double heading = 0.0;      // radians
    double radiusMetres = 0.0; // the helipad's half size
    bool cargo = false;
    bool ramp = false;
    bool heli = false;
};

// A line the reader reports: to the scan log, or to the program log (plain or as an error line).
struct BglNote {
    enum class To { scanLog, log, logError };
    To to = To::scanLog;
    std::string text;
};

// One airport record whose code the airports table knows.
struct BglAirport {
    std::string code;
    std::int32_t altitudeFt = 0;
    std::vector<BglStand> stands; // in the order found
    std::int32_t helipads = 0;
    // The lines of decoding its elevation, helipads and stands; reported only when the airport is
    // taken further (an airport linked under MSFS 2024 is not).
    std::vector<BglNote> notes;
};

// What happened in the file, in order.
struct BglEvent {
    enum class Kind { note, airport, notRecognised };
    Kind kind = Kind::note;
    BglNote note;            // Kind::note
    std::size_t airport = 0; // Kind::airport: index into BglDecodeResult::airports
};

struct BglDecodeResult {
    std::vector<BglAirport> airports;
    std::vector<BglEvent> events;
    bool notRecognised = false; // the file holds a record the scan cannot read under MSFS 2024
};

struct BglDecodeOptions {
    bool simulatorIs2024 = false;
    // Whether the airports table holds a 4-character code (upper case). Default: none known.
    std::function<bool(const std::string& code)> knownAirport;
    // The file's path in UTF-8, for the lines that name it.
    std::string pathUtf8;
};

// Decodes one file held whole in memory. Never reads outside `bytes`, never throws for any content.
BglDecodeResult gf_decodeBgl(std::span<const std::uint8_t> bytes, const BglDecodeOptions& options);

// The quick check: whether the header's section table lists an airport section (type 3). Reads only
// the header and the table. False for anything unreadable.
bool gf_bglHasAirportSection(std::istream& in, std::uint64_t fileSize);
// The same over the file's first bytes: `head` holds the file from its start, at least up to the end
// of its section table (or the whole file when shorter); what lies beyond `head` reads as unreadable.
bool gf_bglHasAirportSection(std::span<const std::uint8_t> head, std::uint64_t fileSize);
// How many bytes from the file's start the quick check needs, given its first bytes (at least the
// 24 of the header's start; fewer give 24).
std::uint64_t gf_bglSectionTableEnd(std::span<const std::uint8_t> head, std::uint64_t fileSize);

// The packed airport ident: its text and whether it can be processed (no blank or "?" digit, at most
// 10 characters).
std::pair<std::string, bool> gf_decodeAirportIdent(std::uint32_t packed);
// A stand id from the name code (0..63) and the number: "g12", "A3", "7".
std::string gf_bglStandId(std::uint32_t nameCode, std::uint32_t number);
