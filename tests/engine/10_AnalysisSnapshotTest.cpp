#include "engine/AnalysisSnapshot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace
{

using reso::SnapshotSlot;

TEST (SnapshotSlot, EmptyUntilTheFirstPublication)
{
    auto slot = std::make_unique<SnapshotSlot>();
    std::vector<float> level (SnapshotSlot::capacity), reduction (SnapshotSlot::capacity);
    int bins = -1;
    float rate = -1.0f, reference = -1.0f;
    EXPECT_FALSE (slot->read (level.data(), reduction.data(), &bins, &rate, &reference));

    slot->clear (48000.0f, 56.284f);
    EXPECT_FALSE (slot->read (level.data(), reduction.data(), &bins, &rate, &reference));
    EXPECT_EQ (bins, -1) << "outputs untouched on failure";

    std::vector<float> l (1025, -20.0f), r (1025, -3.0f);
    slot->publish (l.data(), r.data(), 1025, 48000.0f, 56.284f);
    ASSERT_TRUE (slot->read (level.data(), reduction.data(), &bins, &rate, &reference));
    EXPECT_EQ (bins, 1025);
    EXPECT_EQ (rate, 48000.0f);
    EXPECT_EQ (reference, 56.284f);
    EXPECT_EQ (level[1024], -20.0f);
    EXPECT_EQ (reduction[0], -3.0f);
    EXPECT_EQ (slot->sequence.load() % 2, 0);
}

TEST (SnapshotSlot, NeverCopiesMoreThanItHolds)
{
    auto slot = std::make_unique<SnapshotSlot>();
    std::vector<float> big (5000, 1.0f);
    slot->publish (big.data(), big.data(), 5000, 96000.0f, 0.0f);
    std::vector<float> level (SnapshotSlot::capacity), reduction (SnapshotSlot::capacity);
    int bins = 0;
    float rate = 0, reference = 0;
    ASSERT_TRUE (slot->read (level.data(), reduction.data(), &bins, &rate, &reference));
    EXPECT_EQ (bins, SnapshotSlot::capacity);
}

// One writer publishes frames whose every value names the frame; readers on other threads must only ever see
// whole frames: all level values equal, and the reduction values their negatives.
TEST (SnapshotSlot, AReadOverlappingAPublicationNeverMixesFrames)
{
    auto slot = std::make_unique<SnapshotSlot>();
    std::atomic<bool> stop { false };
    std::atomic<long> reads { 0 }, mixed { 0 }, failed { 0 };

    auto reader = [&] {
        std::vector<float> level (SnapshotSlot::capacity), reduction (SnapshotSlot::capacity);
        while (! stop.load())
        {
            int bins = 0;
            float rate = 0, reference = 0;
            if (! slot->read (level.data(), reduction.data(), &bins, &rate, &reference))
            {
                ++failed;
                continue;
            }
            ++reads;
            const float id = level[0];
            bool whole = rate == id && reference == -id;
            for (int i = 0; i < bins && whole; ++i)
                whole = level[(size_t) i] == id && reduction[(size_t) i] == -id;
            if (! whole)
                ++mixed;
        }
    };

    std::thread a (reader), b (reader);
    std::vector<float> level (SnapshotSlot::capacity), reduction (SnapshotSlot::capacity);
    for (int frame = 1; frame <= 20000; ++frame)
    {
        std::fill (level.begin(), level.end(), (float) frame);
        std::fill (reduction.begin(), reduction.end(), (float) -frame);
        const int bins = frame % 2 == 0 ? 2049 : 1025;
        slot->publish (level.data(), reduction.data(), bins, (float) frame, (float) -frame);
    }
    stop = true;
    a.join();
    b.join();

    EXPECT_EQ (mixed.load(), 0);
    EXPECT_GT (reads.load(), 0);
}

} // namespace
