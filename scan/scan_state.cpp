#include "scan/scan_state.h"

#include "scan/airport_files.h"
#include "scan/publishers.h"
#include "scan/scan_folders.h"

std::mutex scanLogMutex;
std::vector<std::string> scanLogLines;
std::atomic<bool> airportFilesChanged{false};
std::atomic<std::uint64_t> tbloFileCount{0};
std::atomic<bool> tbloPackingFailed{false};
std::atomic<std::int64_t> scanTaskWaitMs{10000};

namespace {
ScanHooks hooks;
thread_local std::vector<std::string>* capturedLines = nullptr;
} // namespace

ScanLogCapture::ScanLogCapture(std::vector<std::string>& lines) : previous(capturedLines) {
    capturedLines = &lines;
}

ScanLogCapture::~ScanLogCapture() {
    capturedLines = previous;
}

void gf_addToScanLog(std::string line) {
    if (capturedLines) {
        capturedLines->push_back(std::move(line));
        return;
    }
    std::lock_guard lock(scanLogMutex);
    scanLogLines.push_back(std::move(line));
}

std::vector<std::string> gf_scanLogCopy() {
    std::lock_guard lock(scanLogMutex);
    return scanLogLines;
}

bool gf_tbloCollected() {
    return tbloFileCount.load() != 0;
}

ScanHooks& gf_scanHooks() {
    return hooks;
}

void gf_resetScanState() {
    {
        std::lock_guard lock(scanLogMutex);
        scanLogLines.clear();
    }
    airportFilesChanged = false;
    tbloFileCount = 0;
    tbloPackingFailed = false;
    scanTaskWaitMs = 10000;
    hooks = ScanHooks{};
    gf_forgetScanMadeFiles();
    gf_forgetScanFoldersStock();
    gf_keepManifestLookups(false);
    gf_forgetGeneratedPublishers();
}
