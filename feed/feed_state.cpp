#include "feed/feed_state.h"

#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "core/hooks.h"
#include "core/run_control.h"
#include "core/settings.h"
#include "feed/rt_link.h"
#include "feed/udp_readers.h"
#include "platform/os/folders.h"

std::mutex addingStackMutex;
TrafficRecordQueue addingStack;
bool addingStackOpen = false;
std::atomic<std::int64_t> enginePassCount{0};

// RANGE's default (a constant here: the setting objects of other files may not be built yet).
std::atomic<double> trafficRadiusNm{40.0};
std::atomic<std::int32_t> currentQnh{1013};
std::atomic<bool> realTrafficLocal{false};

FeedStatus feedStatus;

void gf_setAddingStackOpen(bool open) {
    std::lock_guard lock(addingStackMutex);
    addingStackOpen = open;
}

bool gf_detectLocalRealTraffic() {
    bool found = false;
    if (const auto roaming = os::roamingAppDataFolder()) {
        std::error_code ec;
        found = std::filesystem::exists(*roaming / "InsideSystems" / "RealTraffic.jar", ec);
    }
    realTrafficLocal.store(found);
    return found;
}

std::string FeedStatus::realTrafficText() const {
    std::lock_guard lock(mutex_);
    return realTrafficText_;
}

void FeedStatus::setRealTrafficText(std::string text) {
    std::lock_guard lock(mutex_);
    realTrafficText_ = std::move(text);
}

FeedStatusValue FeedStatus::value() const {
    std::lock_guard lock(mutex_);
    return FeedStatusValue{realTrafficConnected.load(),
                           waitingForRealTraffic.load(),
                           static_cast<ReaderStatus>(trafficStatus.load()),
                           static_cast<ReaderStatus>(qnhStatus.load()),
                           qnh.load(),
                           realTrafficText_};
}

namespace {

FeedHooks defaultFeedHooks() {
    FeedHooks h;
    h.repaintCounts = [] {};
    h.removeLiveTraffic = [] {};
    h.userState = [] { return RtUserState{}; };
    h.reportThreadError = [](std::string_view threadName, std::string_view error) {
        gf_showMessage(fmt::format("The {} has stopped with error: {}", threadName, error), true);
        gf_requestStop(StopReason::ReaderError, 15);
    };
    return h;
}

FeedHooks g_hooks = defaultFeedHooks();

} // namespace

FeedHooks& gf_feedHooks() {
    return g_hooks;
}
void gf_resetFeedHooks() {
    g_hooks = defaultFeedHooks();
}

void gf_installFeedCoreHooks() {
    gf_coreHooks().feedTime = [] { return trafficReader.feedTimestamp.load(); };
    gf_coreHooks().professionalPeer = [] { return realTrafficLink.rtProfessional.load(); };
}

void gf_feedReset() {
    trafficReader.feedTimestamp.store(0.0);
    trafficReader.clearCallsigns();
    trafficReader.stopFlag.store(false);
    qnhReader.stopFlag.store(false);
    trafficFlowLatch.store(true);
    qnhFlowLatch.store(true);
    qnhReader.lastQnh.store(1013);
    qnhReader.datagramCount.store(0);
    qnhReader.counterSeen.store(0);
}

void gf_resetFeedRunState() {
    gf_feedReset();
    currentQnh.store(1013);
    feedStatus.qnh.store(0);
    feedStatus.trafficStatus.store(readerStopped);
    feedStatus.qnhStatus.store(readerStopped);
    feedStatus.realTrafficConnected.store(false);
    feedStatus.waitingForRealTraffic.store(true);
    feedStatus.setRealTrafficText({});
    realTrafficLink.rtProfessional.store(false);
}

void gf_resetFeedForTests() {
    realTrafficLink.close();
    {
        std::lock_guard lock(addingStackMutex);
        addingStack.clear();
        addingStackOpen = false;
    }
    enginePassCount.store(0);
    trafficRadiusNm.store(static_cast<double>(RANGE.defaultValue));
    realTrafficLocal.store(false);
    gf_resetFeedRunState();
    qnhReader.lastQnh.store(0);
    trafficReader.datagramCount.store(0);
    trafficReader.counterSeen.store(0);
    trafficReader.setReferencePosition({});
    trafficReader.setParkAirportElevation(std::nullopt);
    trafficReader.clearParkAirport();
    trafficReader.resetLogStateForTests();
    qnhReader.resetLogStateForTests();
    gf_resetFeedHooks();
}
