#pragma once
// One aircraft.cfg file of an AI traffic package turned into liveries: reading it in any encoding, the
// numbering of its [fltsim.N] sections, the model of the file, the sections themselves, and the
// IVAO MTL variant of all of it.
//
// A file task shares nothing writable with the other tasks of a scan: it reads the scan context (which
// it co-owns) and the type database, and returns its liveries and its report lines. The scan driver
// merges the results in walk order, applying the rule that a title belongs to the first section that
// offers it.

#include "liveries/livery_data.h"
#include "liveries/livery_tables.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Report lines, one list per report file.
struct ScanReports {
    std::vector<std::string> fixLines;             // Fixes.txt
    std::vector<std::string> invalidCfgFiles;      // InvalidAircraftCfgFiles.txt
    std::vector<std::string> incompleteSections;   // IncompleFltsimSections.txt
    std::vector<std::string> invalidAirlineLines;  // InvalidAirlineCodes.txt
    std::vector<std::string> invalidAircraftLines; // InvalidAircraftCodes.txt
    std::vector<std::string> noFltsimFiles;        // AircraftCfgWithNoFltsimSection.txt

    // Appends every list of `other` to the same list here.
    void append(ScanReports&& other);
    void clear();
};

// A livery that a section offers, with the section's header line (for the report line it leaves when
// an earlier section, in walk order, already took its title).
struct LiveryCandidate {
    LiveryData livery;
    std::string header;
};

// What one file task returns.
struct FileScan {
    std::vector<LiveryCandidate> liveries;
    ScanReports reports;
    std::string folderText; // the file's folder (narrow text), for the report lines of its liveries
    bool ivao = false;      // read as an IVAO MTL file

    // The report line of a section (its header, its title) whose title an earlier section already took.
    std::string duplicateLine(std::string_view header, std::string_view title) const;
};

// What the tasks of one scan read, made before the first task starts and never changed while they
// run. Co-owned by the driver and the tasks, so a task that outlives its wait still reads valid data.
struct ScanContext {
    TextSet dontUseTitles;
    // Tests: runs at the start of every task with the file's path.
    std::function<void(const std::filesystem::path&)> beforeParse;
    // Benchmarks: runs instead of the parsers (the same walk with another task body).
    std::function<FileScan(const ScanContext&, std::int32_t priority, const std::filesystem::path&)> taskBody;
};

// Simulator model folders (as named in a base_container line) and their ICAO types. Exact keys.
const TextMap<std::string>& gf_baseContainerTypes();

// Files above this size are not read.
inline constexpr std::uintmax_t gf_maxAircraftCfgBytes = 16u * 1024u * 1024u;

// The file tasks: the liveries of an ordinary package's file, and of an IVAO MTL file.
FileScan lf_searchLiveriesinFile(const ScanContext& context, std::int32_t priority,
                                 const std::filesystem::path& path);
FileScan lf_searchLiveriesinIVAOFile(const ScanContext& context, std::int32_t priority,
                                     const std::filesystem::path& path);

// False when the file must be skipped (a section number that does not convert, or one above 10000).
// A file without any header is listed in noFltsimFiles and passes.
bool lf_checkFltsimNumbers(const std::vector<std::string>& lines, const std::filesystem::path& path,
                           ScanReports& reports);

void lf_splitFltSimSections(const ScanContext& context, FileScan& out, std::int32_t priority,
                            const std::vector<std::string>& lines, const std::string& model,
                            const std::filesystem::path& file, const std::filesystem::path& folder);
void lf_procesFltSimSection(const ScanContext& context, FileScan& out, std::int32_t priority,
                            std::vector<std::string> section, const std::string& model,
                            const std::filesystem::path& file, const std::filesystem::path& folder);
void lf_splitIvaoFltSimSections(const ScanContext& context, FileScan& out, std::int32_t priority,
                                const std::vector<std::string>& lines, const std::string& model,
                                const std::filesystem::path& file, const std::filesystem::path& folder);
void lf_procesIvaoFltSimSection(const ScanContext& context, FileScan& out, std::int32_t priority,
                                std::vector<std::string> section, const std::string& model,
                                const std::filesystem::path& file, const std::filesystem::path& folder);

// The registration check: pieces at ',' trimmed; invalid when there is none, or one is empty, longer
// than 12 characters or holds '*'. One piece gives it as `out`; several give an empty `out`.
bool lf_validAtcId(std::string_view value, std::string& out);

// The model of a file: its first icao_type_designator, else its first usable base_container, checked
// against the database (fixes applied, unknown types reported). Empty: the file gives no liveries.
std::string lf_modelOfFile(const std::filesystem::path& path, const std::vector<std::string>& lines,
                           ScanReports& reports);
std::string lf_modelFromBaseContainer(const std::filesystem::path& path,
                                      const std::vector<std::string>& lines, ScanReports& reports);
// The model of an IVAO MTL file from its model folder's name.
std::string lf_ivaoModelOfPath(const std::filesystem::path& path, ScanReports& reports);
// The type of a base_container line; empty when the line is none or names no known folder.
std::string lf_typeOfBaseContainer(std::string_view line);

std::string lf_pathToUtf8(const std::filesystem::path& path);
