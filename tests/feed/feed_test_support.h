#pragma once
// A fixture for the feed's tests: a temporary working folder with an open log, recorded status-line
// messages and repaints, and every global the feed touches back at its start afterwards.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/eventually.h"

#include "core/hooks.h"
#include "core/log.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "feed/feed_state.h"
#include "feed/udp_readers.h"
#include "platform/os/folders.h"

class FeedTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        folder_ = std::filesystem::temp_directory_path() /
                  ("skyloom-feed-" + std::to_string(rd()) + "-" +
                   std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        std::filesystem::create_directories(folder_);
        os::setWorkingFolder(folder_);
        gf_openLogFile();
        gf_resetFeedForTests();
        runControl.reset();
        gf_coreHooks().showMessage = [this](std::string_view text, bool) {
            std::lock_guard lock(mutex_);
            messages_.emplace_back(text);
        };
        gf_feedHooks().repaintCounts = [this] { repaints_.fetch_add(1); };
    }

    void TearDown() override {
        gf_stopReaders();
        gf_waitForReadersToEnd(std::chrono::seconds(5));
        gf_resetFeedForTests();
        runControl.reset();
        gf_resetCoreHooks();
        gf_resetSettingsForTests();
        gf_resetLogForTests();
        os::resetWorkingFolder();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    // Everything logged so far.
    std::string logText() const {
        gf_logFlush();
        std::ifstream in(folder_ / "Log.txt", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::vector<std::string> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }

    int repaints() const { return repaints_.load(); }

    // Polls a condition that another thread makes true; false when it did not hold within the limit.
    static bool eventually(const std::function<bool()>& condition,
                           std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        return testing_support::eventually(condition, limit);
    }

    std::filesystem::path folder_;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    std::atomic<int> repaints_{0};
};
