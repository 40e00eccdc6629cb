#pragma once
// The park airport's files as values: its airport file, its learned parking file and the merge of the
// two, each a pure function of what it is given (a parsed document, or the two values) that touches no
// global (the flights' look-up in the registration table, loaded before the engine starts, is allowed).
// And the whole read of a park airport (an archived file fetched first, the learned file beside it) as
// one value, made away from the traffic engine's cycle and installed by the engine in one step.

#include "core/log.h"
#include "refdata/park_airport.h"
#include "refdata/parking_format.h"

#include <pugixml.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What an airport file gives.
struct ParkAirportFile {
    // Why the header was refused ("missing header", "missing copyright", "missing simulator entry");
    // empty when it was taken. A refused header gives nothing else.
    std::string headerRefusal;
    std::int32_t rtTrafficWeek = 0; // "RT_traffic_week"; 0 when absent
    std::string publisher;
    // Whole feet; empty when "altitude" is no finite number in the 32-bit range: the file is then refused
    // (65) and its stands are not read.
    std::optional<std::int32_t> altitude;
    std::string airport_name;
    // "Qf_real" and "Qf_soft" taken within -1..100, when the file gives both.
    std::optional<QualityFactors> qualityFactors;
    // The stands (origin 1), or the refusal (93, 94) with the stands read before the faulty one.
    ParkingFileStands stands;
    // What the reading of the stands logged (half-hour texts it could not read), in order.
    std::vector<LogLine> lines;

    // The refusal of a file whose header was taken: 65 (no altitude), 93 or 94 (a faulty stand); 0 none.
    std::int32_t errorNumber() const;
    std::string errorText() const;
};
ParkAirportFile gf_readParkAirportFile(const pugi::xml_document& doc);
// The airport file read from disk: what gf_readParkAirportFile gives for the file loaded as
// pugi::xml_document::load_file loads it; empty when it does not load.
std::optional<ParkAirportFile> gf_loadParkAirportFile(const std::filesystem::path& path);

// What a header refusal of a parking file names (see ParkAirportFile::headerRefusal).
std::string gf_parkingHeaderRefusal(const pugi::xml_node& doc);

// The parking settings a learned file's header gives; empty: not in the file.
struct LearnedSettings {
    std::optional<std::int32_t> maxLiveSel;
    std::optional<std::int32_t> range;
    std::optional<bool> autoRange;
    std::optional<std::int32_t> parkingPercentage;
    std::optional<bool> week;
    std::optional<bool> parkSoft;
    std::optional<std::int32_t> maxFit;
    std::optional<bool> initialLoadOnly;
};

// One flight of a learned stand as read: the entry a stand takes (origin 0; its number is given by the
// merge), the "day" as written when it is no day 1..7 (the entry's day is then 0 or 8), and what the
// reading of its half hours logged.
struct LearnedOpt {
    ParkOpt entry;
    std::string dayText;
    std::vector<LogLine> hhLines;
};

// One stand of a learned file that is no handmade file.
struct LearnedStand {
    std::string id; // as written
    bool manual = false;
    // The corrections of an airport file's stand (the radius only when it reads).
    std::optional<double> radiusMetres;
    bool cargoChange = false;
    bool cargo = false;
    std::vector<LearnedOpt> opts;
    // A stand created by hand: the stand as read (origin 0), empty when it lacks a position off 0/0, a
    // radius or an id; and what its reading logged.
    std::optional<ParkPos> created;
    std::vector<LogLine> createdLines;
};

// What a learned file gives, its header taken.
struct LearnedFile {
    bool olderFile = false; // written before its flights were kept: only corrections and created stands
    std::string airport_name;
    LearnedSettings settings;
    // What the reading notes before the settings apply (the older-version note).
    std::vector<LogLine> lines;
    // The value of the "handmade" parameter: a handmade file replaces the airport file's stands.
    std::optional<std::string> handmade;
    ParkingFileStands handmadeStands;
    std::vector<LogLine> handmadeLines; // what the reading of the handmade stands logged
    std::vector<LearnedStand> stands;
    // The reading failed part way ("lf_readLearned: ..."): the file is refused, its settings still apply.
    std::string failure;
};
// The learned file of a document whose header was taken (gf_readMetaData).
LearnedFile gf_readLearnedFile(const pugi::xml_document& doc);

// The airport file's stands with a learned file merged in.
struct MergedStands {
    std::vector<ParkPos> stands;
    bool handmade = false; // the stands are the handmade file's
    bool refused = false;  // the learned file is refused (what was merged before the fault stays)
    // What the merge logs, in order ("learned stand X in P not found?", the refusal, ...).
    std::vector<LogLine> lines;
};
// The learned file's corrections, flights and created stands merged into the airport file's stands, or
// its handmade stands in their place; `pathText` names the learned file in the log lines.
MergedStands gf_mergeLearnedFile(std::vector<ParkPos> airportStands, LearnedFile learned,
                                 std::string_view pathText);

// The whole read of the park airport `code` from the reference (gf_apfRefOf): the archived file fetched
// first, the airport file, its learned file and their merge. Any thread; one read at a time (a second
// waits), as an archived file is fetched into one copy. Touches no state of the park airport.
struct ParkAirportRead {
    std::string code;
    std::string reference;
    // Nothing to install: the text the installation answers with ("gf_readApf: xml is empty", "...: could
    // not load file: ...", "...: refused to load: missing header", a failed download).
    std::string failure;
    // The file was reached (local, or fetched): a previous airport's handmade and refused marks go.
    bool fileReached = false;
    // Logged before the file's values (a failed download; the stands' reading).
    std::vector<LogLine> lines;
    ParkAirportFile file;
    std::filesystem::path learnedPath; // empty for a code that is no safe file name
    bool learnedExists = false;
    // Logged on the way to the learned file's settings: removed temporaries, a file that does not load,
    // "Read from learned airport file: ...", its header's refusal, the older-version note.
    std::vector<LogLine> learnedLines;
    // What the install takes of a learned file whose header was taken (the merge takes the rest).
    struct LearnedHeader {
        std::string airport_name;
        LearnedSettings settings;
    };
    std::optional<LearnedHeader> learned;
    // The stands to install: the merge (sids 1, 2, ... and neighbours set); for a refused airport file its
    // stands read before the fault, unnumbered.
    MergedStands merged;
    // Of the file, or of the merged stands when there is a learned file.
    QualityFactors qualityFactors;
};
ParkAirportRead gf_readParkAirport(const std::string& code, const std::string& reference);
