// The drive's oscilloscope on known signals: where its records start, what they hold, when it stops, re-arms.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "drive/Scope.h"

namespace {

using namespace vdrive;

// A record as the frames carried it: points by index, the trigger index, the last frame's flags.
struct Record {
    int triggerPoint = -1;
    std::vector<std::int64_t> values;  // channel 0, by point index
    bool ended = false;
};

// Decodes one channel of Int16 points from the frames, record by record.
std::vector<Record> Records(const std::vector<std::vector<std::uint16_t>>& messages, bool& stopped) {
    std::vector<Record> records;
    stopped = false;
    for (const auto& m : messages) {
        EXPECT_EQ(m[2], kScopeFrameCode);
        EXPECT_EQ(m[0], m.size() - kMessageHeaderWords);
        const std::uint16_t* h = m.data() + kMessageHeaderWords;
        stopped = stopped || (h[kFrameFlags] & kFrameScopeStopped);
        if (h[kFramePointCount] == 0) continue;
        if (records.size() <= h[kFrameRecord]) records.resize(h[kFrameRecord] + 1u);
        Record& r = records[h[kFrameRecord]];
        r.triggerPoint = h[kFrameTriggerPoint];
        EXPECT_EQ(static_cast<int>(r.values.size()), h[kFrameFirstPoint]) << "frames in order, no gap";
        for (int k = 0; k < h[kFramePointCount]; ++k)
            r.values.push_back(static_cast<std::int16_t>(h[kFrameHeaderWords + k]));
        r.ended = r.ended || (h[kFrameFlags] & kFrameRecordEnd);
    }
    return records;
}

// A triangle 0, 1, … 49, 50, 49, … 1, repeated: rising through a level at one sample, falling at another.
std::int64_t Triangle(int n) { return 50 - std::abs(n % 100 - 50); }

// A record holds the pretrigger's share of points before the trigger, or as many as came before a sooner one.
TEST(Scope, RecordsStartAtTheTriggerWithThePretriggerBeforeIt) {
    // The pretrigger in %, the points of a record (the time base in slow periods), the samples fed in, the
    // complete records and their trigger point.
    struct Case {
        const char* what;
        ScopeMode mode;
        bool rising, stops;
        std::int64_t level;
        int pretrigger, points, samples, records, triggerPoint;
    } const cases[] = {
        {"repeating re-arms every cycle, falling, none before", ScopeMode::Repeating, false, false, 10, 0, 20,
         250, 2, 0},
        // Only 0, 1 and 2 come before 3: the record starts early.
        {"trigger before the pretrigger is full", ScopeMode::SingleShot, true, true, 3, 50, 10, 40, 1, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scope scope;
        scope.Arm({.timeBase = c.points * 1e-3,
                   .mode = c.mode,
                   .triggered = true,
                   .trigger = {0, 1},
                   .level = c.level,
                   .rising = c.rising,
                   .pretrigger = c.pretrigger,
                   .channels = {{0, 1}}});
        // Both loops at 1 ms, so that a point is a sample whatever the loop.
        ASSERT_TRUE(scope.Start(1e-3, 1e-3));
        ASSERT_EQ(scope.Timing().points, c.points);
        for (int n = 0; n < c.samples; ++n) {
            const std::int64_t v = Triangle(n);
            scope.Sample(&v, v);
        }
        bool stopped = false;
        const auto records = Records(scope.Take(), stopped);
        int complete = 0;
        for (const Record& r : records) {
            if (!r.ended) continue;
            ++complete;
            ASSERT_EQ(r.values.size(), static_cast<std::size_t>(c.points));
            EXPECT_EQ(r.triggerPoint, c.triggerPoint);
            EXPECT_EQ(r.values[static_cast<std::size_t>(r.triggerPoint)], c.level);
            // The samples are consecutive: the triangle's slope on either side.
            const std::int64_t slope = c.rising ? 1 : -1;
            for (int i = 1; i <= r.triggerPoint; ++i)
                EXPECT_EQ(r.values[static_cast<std::size_t>(i)] - r.values[static_cast<std::size_t>(i - 1)],
                          slope);
        }
        EXPECT_EQ(complete, c.records);
        EXPECT_EQ(stopped, c.stops);
        EXPECT_EQ(scope.Running(), !c.stops);
    }
}

// Fast loop 100 µs, slow loop 1 ms, at most 1000 points: 10 ms gives only 10 slow samples, so the fast loop;
// 1 s just fits in the slow loop's.
TEST(Scope, TheTimeBaseChoosesTheLoopAndTheRecordLength) {
    for (const auto& [timeBase, fast, points] : {std::tuple{0.01, true, 100}, {1.0, false, 1000}}) {
        SCOPED_TRACE(timeBase);
        const ScopeTiming t = ChooseScopeTiming(timeBase, 1000, 1e-4, 1e-3);
        EXPECT_EQ(t.fastLoop, fast);
        EXPECT_EQ(t.every, 1);
        EXPECT_EQ(t.points, points);
        EXPECT_NEAR(t.period * t.points, timeBase, 1e-9);
    }
}

TEST(Scope, StopEndsTheStreamWithAStoppedFrameAndFramesKeepToTheirSize) {
    Scope scope;
    // 1000 points of 4 channels, two of them 32-bit.
    scope.Arm({.timeBase = 2.0, .trigger = {}, .channels = {{0, 1}, {0, 5}, {0, 3}, {0, 2}}});
    ASSERT_TRUE(scope.Start(1e-4, 1e-3));
    const std::int64_t values[4] = {-2, -65536 * 3 - 1, 123456789, 65535};
    for (int n = 0; n < 700; ++n) scope.Sample(values, 0);
    scope.Stop();
    EXPECT_FALSE(scope.Running());
    const auto messages = scope.Take();
    ASSERT_FALSE(messages.empty());
    int points = 0;
    std::uint16_t sequence = 0;
    for (const auto& m : messages) {
        EXPECT_LE(m[0], kMaxFramePayloadWords);
        EXPECT_EQ(m[kMessageHeaderWords + kFrameSequence], sequence++);
        points += m[kMessageHeaderWords + kFramePointCount];
    }
    EXPECT_EQ(points, 350);  // every second slow sample for 2 s in 1000 points
    EXPECT_TRUE(messages.back()[kMessageHeaderWords + kFrameFlags] & kFrameScopeStopped);
    // One point's words: 1 + 2 + 2 + 1, low word first.
    const std::uint16_t* p = messages.front().data() + kMessageHeaderWords + kFrameHeaderWords;
    EXPECT_EQ(p[0], 0xFFFE);
    EXPECT_EQ(p[1] | (p[2] << 16), static_cast<std::uint32_t>(-65536 * 3 - 1));
    EXPECT_EQ(p[3] | (p[4] << 16), 123456789u);
    EXPECT_EQ(p[5], 65535);
}

}  // namespace
