// The adding stack's queue: first in, first out across the wrap of its slots and across its growth.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "feed/traffic_record.h"

namespace {

TrafficRecord record(std::uint32_t hexid) {
    TrafficRecord r;
    r.hexid = hexid;
    r.cs = "CS" + std::to_string(hexid);
    r.type = "A320";
    return r;
}

std::vector<std::uint32_t> contents(const TrafficRecordQueue& queue) {
    std::vector<std::uint32_t> out;
    for (const TrafficRecord& r : queue)
        out.push_back(r.hexid);
    return out;
}

TEST(TrafficRecordQueue, KeepsArrivalOrderAcrossWrapAndGrowthAndReusesItsSlots) {
    TrafficRecordQueue queue;
    EXPECT_TRUE(queue.empty());
    EXPECT_TRUE(contents(queue).empty());
    std::uint32_t nextIn = 1;
    std::uint32_t nextOut = 1;
    // A steady feed: many more records than slots pass through, taken out as the engine takes them.
    for (int round = 0; round < 50; ++round) {
        for (int i = 0; i < 100; ++i)
            queue.push_back(record(nextIn++));
        for (int i = 0; i < 100; ++i) {
            ASSERT_EQ(queue.front().hexid, nextOut);
            const TrafficRecord taken = std::move(queue.front());
            queue.pop_front();
            EXPECT_EQ(taken.cs, "CS" + std::to_string(nextOut));
            ++nextOut;
        }
    }
    EXPECT_TRUE(queue.empty());
    const std::size_t steadyCapacity = queue.capacity();
    EXPECT_GT(steadyCapacity, 0u);

    // Half taken, so that the records wrap round the end of the slots, then a pile-up that makes the
    // queue grow: order and contents survive both.
    for (int i = 0; i < 200; ++i)
        queue.push_back(record(nextIn++));
    for (int i = 0; i < 150; ++i) {
        EXPECT_EQ(queue.front().hexid, nextOut++);
        queue.pop_front();
    }
    const TrafficRecord kept = record(nextIn++);
    queue.push_back(kept); // a copy, the original stays as it was
    EXPECT_EQ(kept.cs, "CS" + std::to_string(nextIn - 1));
    for (int i = 0; i < 3 * static_cast<int>(steadyCapacity); ++i)
        queue.push_back(record(nextIn++));
    EXPECT_GT(queue.capacity(), steadyCapacity);
    EXPECT_EQ(queue.size(), nextIn - nextOut);
    EXPECT_EQ(queue.back().hexid, nextIn - 1);
    std::vector<std::uint32_t> expected;
    for (std::uint32_t h = nextOut; h < nextIn; ++h)
        expected.push_back(h);
    EXPECT_EQ(contents(queue), expected);
    for (const TrafficRecord& r : queue)
        ASSERT_EQ(r.cs, "CS" + std::to_string(r.hexid));

    queue.clear();
    EXPECT_TRUE(queue.empty());
    EXPECT_EQ(queue.size(), 0u);
    queue.push_back(record(7));
    EXPECT_EQ(contents(queue), std::vector<std::uint32_t>{7});
}

} // namespace
