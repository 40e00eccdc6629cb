#pragma once
// A fixture for the simulator link's tests: a temporary working and per-user folder with an open log,
// recorded status and error lines, a simulator stand-in on an ephemeral port, and every global of the
// link back at its start afterwards.

#include "core/hooks.h"
#include "core/log.h"
#include "core/program_paths.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "core/version.h"
#include "platform/os/folders.h"
#include "refdata/dbase.h"
#include "simlink/flight_plans.h"
#include "simlink/sim_internal.h"
#include "simlink/sim_link.h"
#include "tools/simstub/simstub.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "tests/support/eventually.h"
#include "tests/support/log_text.h"
#include "tests/support/temp_folder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace simtest {

namespace stub = skyloom::simstub;

class SimLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(folder_ / "user");
        os::setWorkingFolder(folder_);
        gf_setUserFolder(folder_ / "user");
        gf_openLogFile();
        runControl.reset();
        gf_resetSimLinkForTests();
        gf_resetFlightPlansForTests();
        gf_coreHooks().showMessage = [this](std::string_view text, bool) {
            std::lock_guard lock(mutex_);
            messages_.emplace_back(text);
        };
        gf_coreHooks().showError = [this](std::string_view text) {
            std::lock_guard lock(mutex_);
            errors_.emplace_back(text);
        };
        gf_coreHooks().simulatorIs2020 = [this] { return chosen2020_.load(); };
        gf_simLinkHooks().secondTick = [this] { ticks_.fetch_add(1); };
        gf_simLinkHooks().repaintStatus = [this] { repaints_.fetch_add(1); };
    }

    void TearDown() override {
        gf_resetSimLinkForTests();
        stub_.reset();
        gf_resetFlightPlansForTests();
        gf_resetDbase();
        runControl.reset();
        gf_resetCoreHooks();
        gf_resetSettingsForTests();
        gf_resetLogForTests();
        gf_setUserFolder({});
        os::resetWorkingFolder();
    }

    // A stand-in on an ephemeral port (or `port`), its user aircraft near Zurich.
    stub::SimStub& startStub(stub::Options options = {}, std::uint16_t port = 0) {
        if (options.user.latitude == 0 && options.user.longitude == 0) {
            options.user.latitude = 47.45;
            options.user.longitude = 8.56;
        }
        options.port = port;
        stub_ = std::make_unique<stub::SimStub>(std::move(options));
        stub_->start();
        return *stub_;
    }

    // Starts the stand-in and the link, and waits until the simulation runs and the stand-in has handled
    // the link's whole set-up. The stand-in answers the subscription to "Sim" at once, while the later
    // subscriptions (object added and removed, frame) may still be unread: a frame sent then reaches no
    // one, and the link would wait for it in vain.
    stub::SimStub& connect(stub::Options options = {}) {
        auto& s = startStub(std::move(options));
        gf_setSimAddress(s.address());
        gf_startSimClient();
        EXPECT_TRUE(eventually([] { return simRunning.load(); }));
        if (simRunning) sync(); // the link sends its set-up before it dispatches the reply
        return s;
    }

    // One frame of the stand-in; returns when the link has handled it and the stand-in has received
    // everything the link sent for it.
    void frame() {
        const std::uint64_t frames = gf_simFramesHandled();
        stub_->sendFrame();
        ASSERT_TRUE(eventually([&] { return gf_simFramesHandled() > frames; }));
        // The dispatch call that handled the frame writes its requests when it returns.
        roundEnded();
        sync();
    }

    // Returns when the dispatch round going on (or the next one) has ended: a handler seen at work has
    // done all it does for its message.
    static void roundEnded() {
        const std::uint64_t rounds = gf_simDispatchRounds();
        ASSERT_TRUE(eventually([&] { return gf_simDispatchRounds() > rounds; }));
    }

    // Returns when the stand-in has handled everything sent so far on the connection: a harmless call
    // from this thread comes after them.
    void sync() {
        const std::uint64_t before = stub_->callCount("SetNotificationGroupPriority");
        {
            std::lock_guard lock(simCommandMutex);
            SimConnect_SetNotificationGroupPriority(hSimConnect, grpAiControl,
                                                    SIMCONNECT_GROUP_PRIORITY_HIGHEST);
        }
        ASSERT_TRUE(
            stub_->waitUntil([&] { return stub_->callCount("SetNotificationGroupPriority") > before; }));
    }

    // The calls the stand-in received that start with `prefix`, oldest first.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const std::string& call : stub_->calls())
            if (call.rfind(prefix, 0) == 0) found.push_back(call);
        return found;
    }

    std::string logText() const { return testing_support::logText(folder_); }

    std::size_t logCount(const std::string& text) const {
        const std::string log = logText();
        std::size_t n = 0;
        for (auto p = log.find(text); p != std::string::npos; p = log.find(text, p + text.size()))
            ++n;
        return n;
    }

    std::vector<std::string> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }

    std::vector<std::string> errors() const {
        std::lock_guard lock(mutex_);
        return errors_;
    }

    static std::vector<SimResult> takeResults() {
        std::lock_guard lock(simResultMutex);
        std::vector<SimResult> results;
        results.swap(simResults);
        return results;
    }

    static bool eventually(const std::function<bool()>& condition,
                           std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        return testing_support::eventually(condition, limit);
    }

    testing_support::TempFolder tempFolder_{"skyloom-simlink"};
    const std::filesystem::path folder_ = tempFolder_.path();
    std::unique_ptr<stub::SimStub> stub_;
    std::atomic<bool> chosen2020_{true};
    std::atomic<int> ticks_{0};
    std::atomic<int> repaints_{0};

private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    std::vector<std::string> errors_;
};

// A data reply as the dispatch receives it: the header followed by the block.
class DataReply {
public:
    DataReply(std::uint32_t recvId, std::uint32_t requestId, std::uint32_t objectId, const void* block,
              std::size_t size)
        : storage_((sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) + size + 7) / 8) {
        auto* m = reinterpret_cast<SIMCONNECT_RECV_SIMOBJECT_DATA*>(storage_.data());
        m->size = static_cast<std::uint32_t>(sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) + size);
        m->id = recvId;
        m->requestId = requestId;
        m->objectId = objectId;
        m->dataSize = static_cast<std::uint32_t>(size);
        std::memcpy(reinterpret_cast<char*>(m + 1), block, size);
    }

    static DataReply text(std::uint32_t requestId, const std::string& text, std::size_t size) {
        std::string block = text;
        block.resize(std::max(size, text.size() + 1), '\0');
        return DataReply(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, requestId, 1, block.data(), block.size());
    }

    void dispatch() {
        auto* m = reinterpret_cast<SIMCONNECT_RECV*>(storage_.data());
        lf_simDispatch(m, m->size, nullptr);
    }

private:
    std::vector<std::uint64_t> storage_;
};

} // namespace simtest
