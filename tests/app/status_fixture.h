#pragma once
// The status that the window's view reads from the engine, the feed and the simulator link, back to the
// start of the process.

#include "engine/base/engine_status.h"
#include "feed/feed_state.h"
#include "simlink/sim_link.h"

inline void resetModuleStatusForTests() {
    engineStatus.reset();
    feedStatus.realTrafficConnected = false;
    feedStatus.waitingForRealTraffic = true;
    feedStatus.trafficStatus = readerStopped;
    feedStatus.qnhStatus = readerStopped;
    feedStatus.qnh = 0;
    feedStatus.setRealTrafficText({});
    simLinkStatus.simConnected = false;
    simLinkStatus.simRunning = false;
    simLinkStatus.wingSpanKnown = false;
    simLinkStatus.clearTexts();
}
