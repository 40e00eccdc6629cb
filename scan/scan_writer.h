#pragma once
// The writing of the scan's files. Each file is written atomically (a reader sees the old file or the
// whole new one) by a few writer threads at once while the scan goes on. During a scan the writes do
// not wait for the disk: the files written so far are synced together, and only then entered in the
// list of program-made files, before that list is saved and when the writers finish. A crash before
// that leaves the list without them, never listing a file whose content may not have reached the disk.
// All writes of one airport code go to the same thread, in the order they were asked for, so two
// files of one airport are written one after the other and the last one asked for is the one that
// stays. Outside a scan (no writers started) a write runs at once on the calling thread.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

// Starts the writing with `count` writers (at least 1); the thread of each starts with its first job.
void gf_startScanWriters(int count);
// Waits until every write asked for has been done, stops the writer threads, then syncs the files
// (gf_syncScanWrites).
void gf_finishScanWrites();
// Runs `job` on the writer of `key` (at once when no writers run). A job's exception is reported in the
// scan log.
void gf_submitScanWrite(const std::string& key, std::function<void()> job);

// Writes one of the scan's files atomically and records it in the list of program-made files: while
// writers run without waiting for the disk (recorded at the next gf_syncScanWrites), else synced and
// recorded at once. During a scan a file that already holds the content is not written again, and an
// existing file is replaced only when this scan wrote it or the list named it unchanged at the scan's
// start (gf_takeStockOfScanFolders). A file the list names keeps its old content until the next
// gf_syncScanWrites: its new content waits beside it and replaces it once synced. False when it could
// not be written (or is the user's).
bool gf_writeScanFile(const std::filesystem::path& file, std::string_view content);
// Whether `file` holds exactly `content` (read in pieces, without a copy of the file). With `hash`, the
// whole file is read and the hash of its content (gf_contentHash) put there (empty when it could not be
// read). Any thread.
bool gf_scanFileHolds(const std::filesystem::path& file, std::string_view content,
                      std::string* hash = nullptr);
// For a file this scan has not written before that was found holding exactly the content of the hash
// `contentHash` (gf_contentHash) that it would get (gf_scanFileHolds): what gf_writeScanFile does with
// such a file, without a look at the disk. False outside a scan (nothing done: the caller writes the
// file).
bool gf_keepScanFileAsFound(const std::filesystem::path& file, const std::string& contentHash);

// Syncs the files written so far, puts the waiting new contents of listed files in place, and records
// them in the list of program-made files. A file that cannot be synced or put in place is reported in
// the scan log (a new one is removed; a listed one keeps its old content).
void gf_syncScanWrites();

// The files this scan has asked to write (also those not written yet): they are the program's.
bool gf_writtenByThisScan(const std::filesystem::path& file);
void gf_noteScanWrite(const std::filesystem::path& file);
// The files this scan has written (or found with the content it would have written).
bool gf_producedByThisScan(const std::filesystem::path& file);
// Forgets the notes (start of a scan, tests).
void gf_clearScanWriteNotes();
