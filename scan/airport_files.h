#pragma once
// What the scan leaves for each add-on airport it found: a link <code>.txt to the maker's archive, a
// generated airport file <code>.xml, or both, in airports/my_simaddon (the simulator's own add-on
// airports) or airports/my_thirdparty (other publishers). Every file written is recorded in the list
// of program-made files; a file of the user's in these folders is never replaced.
//
// All of it runs on the scan's own thread, one decoded file at a time; what needs no state of the scan
// (the publisher, the airport files' texts and their comparison with the disk) is prepared ahead on
// the file's decoding task.

#include "refdata/apf_writer.h"
#include "refdata/made_files.h"
#include "scan/bgl_decoder.h"
#include "scan/publishers.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The list of program-made files of the running scan (airports folder of the working folder).
MadeFiles& gf_scanMadeFiles();
// Reads the list anew from the airports folder of the working folder (at the start of a scan).
MadeFiles& gf_loadScanMadeFiles();
// Saves the list when its entries differ from those last loaded or saved (an error is logged).
void gf_saveScanMadeFilesIfChanged();
// Tests only: forgets the list (the next use reads the working folder's).
void gf_forgetScanMadeFiles();

// The publisher of a scenery file with the scan log lines that finding it gives.
struct FoundPublisher {
    PublisherInfo info;
    std::vector<std::string> lines;
};

// An airport file as the decoded file would generate it, and whether the disk holds it already.
struct PreparedAirportFile {
    std::filesystem::path file;
    std::string text; // empty when the disk holds it already
    std::string hash; // of the text, when the disk holds it already (gf_contentHash)
    bool sameOnDisk = false;
    bool hasPublisher = false;
};

// What a decoding task prepares for the scan's thread: nothing (the scan's thread does it all) when
// the file has no airport, or when preparing failed.
struct PreparedFile {
    std::optional<FoundPublisher> publisher;
    std::vector<std::optional<PreparedAirportFile>> airports; // by index into the decoded airports
};
// Prepares a decoded file on any thread: finds its publisher and, for each airport with stands,
// renders its airport file and compares it with the disk. Touches no state of the scan but the note of
// what a listed airport file held (gf_noteHashAtScanStart).
PreparedFile gf_prepareDecodedFile(const std::filesystem::path& bglPath, const BglDecodeResult& decoded);

// Acts on one decoded file, in the order the file gave: its lines to the scan log and the program log,
// each airport linked and (when needed) written, a not-recognised file linked by its names.
void gf_applyDecodedFile(const std::filesystem::path& bglPath, const BglDecodeResult& decoded);
// The same; the airport files' jobs take the stands instead of a copy.
void gf_applyDecodedFile(const std::filesystem::path& bglPath, BglDecodeResult&& decoded);
// The same with what the decoding task prepared: a prepared airport file that the disk holds already
// is kept as it is without a job for the writer; another one is handed to the writer as its text.
void gf_applyDecodedFile(const std::filesystem::path& bglPath, BglDecodeResult&& decoded,
                         const PreparedFile& prepared);

// Fills the record's path and publisher texts and writes the link; true when linked. `archivedCount`
// is the number of stands of the archived thirdparty file (0 otherwise).
// `found`, when given, is the file's publisher found ahead: its lines go to the scan log in place of a
// search.
bool gf_linkToArchive(ApfRecord& record, std::uint32_t& archivedCount, const std::filesystem::path& bglPath,
                      const FoundPublisher* found = nullptr);
// Writes <code>.xml for a record with stands; nothing for one without.
void gf_generateAirportFile(ApfRecord& record, std::int32_t helipads);
// Whether the airport file written from `record` holds a publisher, as gf_apfHasPublisher reads it
// from the file.
bool gf_recordHasPublisher(const ApfRecord& record);
// For an airport file this scan generated: whether it holds a publisher; nothing for any other file.
// Valid while the file is as the scan wrote it.
std::optional<bool> gf_generatedFileHasPublisher(const std::filesystem::path& file);
// Forgets the scan's airport files and the folders it found (start of a scan, tests).
void gf_forgetGeneratedPublishers();
// A file that cannot be decoded: its code from its names, then linked.
void gf_notRecognisedAirport(const std::filesystem::path& bglPath);
// The code of a not-recognised file from its stem, its manifest's title or its path; "" when none.
std::string gf_identFromNames(const std::filesystem::path& bglPath);

// The archive reference of a thirdparty airport: blanks of the publisher written as %20.
std::string gf_thirdpartyReference(const std::string& publisher, const std::string& code);
