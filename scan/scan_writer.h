#pragma once
// The writing of the scan's files. Each file is written atomically and synced to disk; the syncs are
// what a scan waits for, so the files are written by a few writer threads at once while the scan goes
// on. All writes of one airport code go to the same thread, in the order they were asked for, so two
// files of one airport are written one after the other and the last one asked for is the one that
// stays. Outside a scan (no writers started) a write runs at once on the calling thread.

#include <filesystem>
#include <functional>
#include <string>

// Starts `count` writer threads (at least 1).
void gf_startScanWriters(int count);
// Waits until every write asked for has been done, then stops the writer threads.
void gf_finishScanWrites();
// Runs `job` on the writer of `key` (at once when no writers run). A job's exception is reported in the
// scan log.
void gf_submitScanWrite(const std::string& key, std::function<void()> job);

// The files this scan has asked to write (also those not written yet): they are the program's.
bool gf_writtenByThisScan(const std::filesystem::path& file);
void gf_noteScanWrite(const std::filesystem::path& file);
// Forgets the notes (start of a scan, tests).
void gf_clearScanWriteNotes();
