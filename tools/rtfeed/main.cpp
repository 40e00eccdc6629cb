// skyloom-rtfeed: the RealTraffic stand-in (see rtfeed.h).

#include <atomic>
#include <string>
#include <vector>

#include "tools/rtfeed/rtfeed.h"

int main(int argc, char** argv) {
    static const std::atomic<bool> neverStop{false};
    return rtfeed::runCommandLine(std::vector<std::string>(argv + 1, argv + argc), neverStop);
}
