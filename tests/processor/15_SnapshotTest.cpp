#include "support/ProcessorHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{

using namespace reso::test;

struct Frame
{
    std::vector<float> level = std::vector<float> (2049), reduction = std::vector<float> (2049);
    int bins = 0;
    float rate = 0.0f, reference = 0.0f;

    bool readFrom (const reso::ResoProcessor& p, int channel = 0)
    {
        return p.readAnalysisSnapshot (channel, level.data(), reduction.data(), &bins, &rate, &reference);
    }
};

void process (reso::ResoProcessor& p, int samples, unsigned seed = 1)
{
    render (p, { noise (samples, seed), noise (samples, seed + 1) }, 512);
}

TEST (Snapshot, NothingToReadRightAfterPrepare)
{
    auto p = makePrepared (48000.0, 2);
    p->openEditorCount = 1;
    Frame f;
    EXPECT_FALSE (f.readFrom (*p, 0));
    EXPECT_FALSE (f.readFrom (*p, 1));
}

TEST (Snapshot, PublishesOnlyWhileAnEditorIsOpen)
{
    auto p = makePrepared (48000.0, 2);
    process (*p, 48000);
    Frame f;
    EXPECT_FALSE (f.readFrom (*p)) << "no editor: the slots are never written";

    p->openEditorCount = 1;
    process (*p, 2048);
    ASSERT_TRUE (f.readFrom (*p, 1));
    EXPECT_EQ (f.bins, 1025);
    EXPECT_EQ (f.rate, 48000.0f);
    EXPECT_NEAR (f.reference, 56.284f, 0.001f);
    for (int k = 0; k < f.bins; ++k)
    {
        ASSERT_LE (f.reduction[(size_t) k], 0.0f);
        ASSERT_TRUE (std::isfinite (f.level[(size_t) k]));
    }
    EXPECT_TRUE (f.readFrom (*p, 7)) << "the channel is clamped";
}

TEST (Snapshot, AMonoProcessorPublishesChannelZeroOnly)
{
    auto p = makePrepared (48000.0, 1);
    p->openEditorCount = 1;
    render (*p, { noise (8192, 3) }, 512);
    Frame f;
    EXPECT_TRUE (f.readFrom (*p, 0));
    EXPECT_FALSE (f.readFrom (*p, 1));
}

TEST (Snapshot, ReadsFollowTheQualityOnceTheSwitchCompletes)
{
    auto p = makePrepared (48000.0, 2);
    p->openEditorCount = 1;
    process (*p, 8192);
    Frame f;
    ASSERT_TRUE (f.readFrom (*p));
    EXPECT_EQ (f.bins, 1025);

    setPlain (*p, "quality", 2.0f);
    process (*p, 4096); // warming up: still the NORMAL engine
    ASSERT_TRUE (f.readFrom (*p));
    EXPECT_EQ (f.bins, 1025);

    process (*p, 4096 + 512 + 2048);
    EXPECT_EQ (p->getPublishedQuality(), 2);
    process (*p, 4 * 512);
    ASSERT_TRUE (f.readFrom (*p));
    EXPECT_EQ (f.bins, 2049);
    EXPECT_NEAR (f.reference, 62.304f, 0.001f);
}

// The editor reads on its own thread while the audio thread publishes; every successful read is one whole
// frame of the heard engine.
TEST (Snapshot, ConcurrentReadsSeeWholeFrames)
{
    auto p = makePrepared (48000.0, 2);
    p->openEditorCount = 1;
    std::atomic<bool> stop { false };
    std::atomic<int> good { 0 }, bad { 0 };

    std::thread reader ([&] {
        Frame f;
        while (! stop.load())
            if (f.readFrom (*p))
            {
                bool sane = f.bins == 1025 && f.rate == 48000.0f;
                for (int k = 0; k < f.bins && sane; ++k)
                    sane = f.reduction[(size_t) k] <= 0.0f && std::isfinite (f.level[(size_t) k]);
                ++(sane ? good : bad);
            }
    });
    process (*p, 48000 * 2);
    stop = true;
    reader.join();
    EXPECT_EQ (bad.load(), 0);
    EXPECT_GT (good.load(), 0);
}

} // namespace
