#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "feed_test_support.h"

namespace {

class QnhDatagramTest : public FeedTest {
protected:
    QnhReader reader;
};

TEST_F(QnhDatagramTest, ConversionClampingAndRejects) {
    const struct {
        std::string datagram;
        std::optional<int> published;
        std::string logged; // the start of what is logged; empty: nothing
    } cases[] = {
        {R"({"QNH":1013.4})", 1013, ""},
        {R"({"QNH":1013.5})", 1014, ""},
        {R"({"QNH":1000})", 1000, ""},
        {R"({"QNH":2992})", 1013, ""},
        {R"({"QNH":29.92e2})", 1013, ""},
        {R"({"QNH":3100})", 1050, ""},
        {R"({"QNH":3300})", 1100, ""},
        {R"({"QNH":850})", 900, ""},
        {R"({"QNH":1101})", 900, ""},
        {R"({"QNH":"1020"})", 1020, ""},
        {R"({"QNH":"1020hPa"})", 1020, ""},
        {R"({"QNH":"abc"})", std::nullopt, R"(==> QNH string parse error: abc in {"QNH":"abc"})"},
        {R"({"QNH":" 1020"})", std::nullopt, "==> QNH string parse error:  1020 in "},
        {R"({"QNH":"99999999999"})", std::nullopt, "==> QNH string parse error: 99999999999 in "},
        {R"({"qnh":1020})", std::nullopt, R"(no QNH {"qnh":1020})"},
        {R"({})", std::nullopt, "no QNH {}"},
        {R"({"QNH":null})", std::nullopt, "no QNH "},
        {R"({"QNH":[]})", std::nullopt, "no QNH "},
        {R"({"QNH":{}})", std::nullopt, "no QNH "},
        {R"({"QNH":true})", std::nullopt, "no QNH "},
        {R"({"QNH":[1013]})", std::nullopt, "no QNH "},
        {R"(QNH=1013)", std::nullopt, "Exception [json.exception.parse_error"},
        {R"([1013])", std::nullopt, "Exception [json.exception.type_error"},
        {R"({"QNH":99999999999})", std::nullopt, "Exception narrowing_error, in "},
        {R"({"QNH":1e20})", std::nullopt, "Exception narrowing_error, in "},
        {R"({"QNH":-1e300})", std::nullopt, "Exception narrowing_error, in "}, // beyond float
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.datagram);
        reader.lastQnh.store(0);
        currentQnh.store(-1);
        feedStatus.qnh.store(-1);
        const std::string before = logText();
        reader.handle(c.datagram);
        if (c.published) {
            EXPECT_EQ(currentQnh.load(), *c.published);
            EXPECT_EQ(feedStatus.qnh.load(), *c.published);
            EXPECT_EQ(reader.lastQnh.load(), *c.published);
        } else {
            EXPECT_EQ(currentQnh.load(), -1);
            EXPECT_EQ(feedStatus.qnh.load(), -1);
        }
        const std::string logged = logText().substr(before.size());
        if (c.logged.empty()) {
            EXPECT_EQ(logged, "");
        } else {
            EXPECT_EQ(logged.rfind(c.logged, 0), 0u) << logged;
        }
    }
}

TEST_F(QnhDatagramTest, SameValueIsPublishedOnceExcept1013) {
    reader.handle(R"({"QNH":1020})");
    const int afterFirst = repaints();
    EXPECT_EQ(afterFirst, 1);
    reader.handle(R"({"QNH":1020})");
    EXPECT_EQ(repaints(), afterFirst);

    reader.handle(R"({"QNH":1013})");
    reader.handle(R"({"QNH":1013})");
    EXPECT_EQ(repaints(), afterFirst + 2);
}

TEST_F(QnhDatagramTest, PublishedValueEndsTheNoDataStatus) {
    feedStatus.qnhStatus.store(readerNoData);
    reader.handle(R"({"QNH":1005})");
    EXPECT_EQ(feedStatus.qnhStatus.load(), readerFlowing);

    feedStatus.qnhStatus.store(readerStopped);
    reader.handle(R"({"QNH":1006})");
    EXPECT_EQ(feedStatus.qnhStatus.load(), readerStopped);
}

} // namespace
