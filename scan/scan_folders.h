#pragma once
// The airports folders as the scan found them. A scan does not empty them first: it takes stock of
// them at its start (each file with its state in the list of program-made files), writes its files
// over the program-made ones of the last scan (a file that would get the same content is left as it
// is), and at its end removes the program-made files it did not write again. The user's files
// (not listed, or changed since the program wrote them) are never touched.

#include "refdata/made_files.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Takes stock of the files directly in `folders` (the folders the scan clears of the last scan's
// files) and of the list of program-made files as it is now; the folders are listed on a thread of
// their own while the scan goes on. Forgets the stock of an earlier scan.
void gf_takeStockOfScanFolders(const std::vector<std::filesystem::path>& folders);
// Forgets the stock (no folders taken stock of).
void gf_forgetScanFoldersStock();

// The state a file had when the stock was taken: `missing` when it was not there; nothing while the
// folders are still being listed, when it is not in a folder taken stock of, the folders could not be
// read, or this scan has asked to write it before its state was known. A listed file is read for its
// state when first asked for (unless its hash was noted).
std::optional<MadeFiles::State> gf_stateAtScanStart(const std::filesystem::path& file);
// Notes the hash of a file's content as read by someone who read it anyway before this scan asked to
// write it: the state of a listed file is then known without a further read.
void gf_noteHashAtScanStart(const std::filesystem::path& file, const std::string& hash);
// The hash with which the list named the file when the stock was taken; nothing when it did not.
std::optional<std::string> gf_listedHashAtScanStart(const std::filesystem::path& file);

// What the end of a scan did in the folders taken stock of.
struct FoldersSwept {
    std::vector<std::filesystem::path> removed; // the last scan's files, not written again
    std::vector<std::filesystem::path> kept;    // the user's files
    std::vector<std::filesystem::path> failed;  // could not be removed (still listed)
};
// The end of a scan: in the folders taken stock of, removes each file that this scan did not write
// (gf_producedByThisScan) and that the program made and nobody changed, and forgets listed files that
// are gone. Logs the user's files (kept) and the files that could not be removed. Forgets the stock.
FoldersSwept gf_sweepScanFolders();
