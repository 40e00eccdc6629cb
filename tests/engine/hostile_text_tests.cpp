// Texts of the feed that try to forge log lines: hostile callsigns, registrations, types and airport
// codes come in through the real intake, and Log.txt keeps one line per event.

#include "core/settings.h"
#include "engine/live/live_update.h"
#include "engine/live/no_match.h"
#include "feed/udp_readers.h"
#include "liveries/livery_choice.h"
#include "liveries/livery_data.h"

#include "tests/engine/engine_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace enginetest {
namespace {

class HostileTextTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        scannedLiveries = {{"SWR", "A320", "Stub Swiss", "", 1, false}};
        gf_sortLiveries(scannedLiveries);
        gf_buildLiveryTables({});
        scannedLiveries.clear();
        GUID_CHANGES.value = true;
        gf_setAddingStackOpen(true);
        RANGE.value = 40;
        trafficRadiusNm = 40.0;
        trafficReader.setReferencePosition(Lalo{47.45, 8.55});
    }

    static std::vector<std::string> lines(const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    }
};

TEST_F(HostileTextTest, FeedTextNeverForgesALogLine) {
    struct Row {
        const char* what;
        std::string cs, reg, type, orig, dest;
        std::string shown; // how the respawn line shows the hostile text ("": the intake drops the flight)
    };
    const Row rows[] = {
        {"callsign", "SWR1\n==>", "HB-JXF", "A320", "ZRH", "LHR", "SWR1\\n==>Z"},
        {"registration", "SWR2", "HB\n==>Exit", "A320", "ZRH", "LHR", "HB\\n==>ExitZ respawns"},
        {"type", "SWR3", "HB-JXC", "A3\r\n==> Ex", "ZRH", "LHR", ""},
        {"origin", "SWR4", "HB-JXD", "A320", "Z\n          Ex", "LHR", "Z\\n          Ex->LHR"},
        {"destination", "SWR5", "HB-JXE", "A320", "ZRH", "L\x1b[2K\n==> Ex", "ZRH->L\\x1B[2K\\n==> Ex"},
    };
    std::uint32_t hexid = 0x4B0100;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ++hexid;
        const std::size_t before = lines(logText()).size();
        // A new flight: two records, created when due.
        for (int k = 0; k < 2; ++k) {
            TrafficRecord r = record(hexid, row.cs, row.type, 100 + 5 * k);
            r.reg = row.reg;
            r.orig = row.orig;
            r.dest = row.dest;
            r.pos.lon += 0.0086 * k; // 5 s east at 250 kn
            r.pos.duePass = enginePassCount.load() + 150 + 10 * k;
            queue(r);
        }
        pass(60);
        // An active flight whose next record changes its identity: it respawns.
        if (LiveAc* ac = gf_findLiveByHexid(hexid)) {
            ac->simState = SimState::active;
            gf_setObjectId(*ac, 900 + (hexid & 0xFF));
            TrafficRecord r = record(hexid, row.cs + "Z", row.type, 120);
            r.pos.lon += 0.0086 * 4;
            r.reg = row.reg + "Z";
            r.orig = row.orig;
            r.dest = row.dest;
            queue(r);
            pass();
        }
        gf_logNoMatchList();
        gf_clearNoMatchList();

        const auto all = lines(logText());
        ASSERT_GT(all.size(), before) << "the events were logged";
        if (!row.shown.empty()) {
            // The respawn is one line: it shows the text escaped and ends as the program wrote it.
            const auto respawns =
                std::count_if(all.begin() + static_cast<std::ptrdiff_t>(before), all.end(),
                              [](const std::string& l) { return l.ends_with(" respawns"); });
            EXPECT_EQ(respawns, 1);
            const auto shown = std::find_if(
                all.begin() + static_cast<std::ptrdiff_t>(before), all.end(), [&](const std::string& l) {
                    return l.ends_with(" respawns") && l.find(row.shown) != std::string::npos;
                });
            EXPECT_NE(shown, all.end()) << logText();
        }
        for (std::size_t i = before; i < all.size(); ++i) {
            const std::string& line = all[i];
            // No error line and no line under another one is written here: such a start is forged.
            EXPECT_FALSE(line.starts_with("==>") || line.starts_with("          Ex")) << "forged: " << line;
            EXPECT_EQ(line.find('\r'), std::string::npos) << line;
            EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
        }
    }
}

} // namespace
} // namespace enginetest
