#include "support/ProcessorHelpers.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

using namespace reso::test;
using reso::ResoProcessor;

float delayedError (const std::vector<float>& in, const std::vector<float>& out, int delay, int from = 0)
{
    float worst = 0.0f;
    for (size_t t = (size_t) std::max (from, delay); t < out.size(); ++t)
        worst = std::max (worst, std::abs (out[t] - in[t - (size_t) delay]));
    return worst;
}

TEST (AudioPath, ABlockOf3000EqualsChunksOf1024And1024And952)
{
    const auto input = noise (3000 * 4, 11);

    auto whole = makePrepared (48000.0, 2);
    auto pieces = makePrepared (48000.0, 2);

    auto a = render (*whole, { input, input }, 3000);

    // the same three chunks as separate host blocks
    std::vector<std::vector<float>> b { input, input };
    juce::MidiBuffer midi;
    int position = 0;
    while (position < (int) input.size())
        for (int piece : { 1024, 1024, 952 })
        {
            float* ptrs[] = { b[0].data() + position, b[1].data() + position };
            juce::AudioBuffer<float> buffer (ptrs, 2, piece);
            pieces->processBlock (buffer, midi);
            position += piece;
        }

    EXPECT_EQ (a, b);
}

TEST (AudioPath, OutputIsTheInputDelayedByTheLatencyAtEveryQuality)
{
    for (int quality : { 0, 1, 2 })
    {
        auto processor = std::make_unique<ResoProcessor>();
        setPlain (*processor, "quality", (float) quality);
        setPlain (*processor, "depth", 0.0f);
        processor->prepareToPlay (48000.0, 512);
        EXPECT_EQ (processor->getLatencySamples(), reso::qualityFftSizes[(size_t) quality]);

        const auto input = noise (20000, 3);
        const auto out = render (*processor, { input, input }, 512);
        EXPECT_LT (delayedError (input, out[0], processor->getLatencySamples()), 1e-5f) << quality;
        EXPECT_LT (delayedError (input, out[1], processor->getLatencySamples()), 1e-5f) << quality;
    }
}

TEST (AudioPath, CallsBeforePreparePassAudioThrough)
{
    ResoProcessor processor;
    juce::AudioBuffer<float> buffer (3, 256);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i)
            buffer.setSample (c, i, 0.001f * (float) (i + c));

    juce::MidiBuffer midi;
    processor.processBlock (buffer, midi);

    for (int i = 0; i < 256; ++i)
    {
        EXPECT_EQ (buffer.getSample (0, i), 0.001f * (float) i);
        EXPECT_EQ (buffer.getSample (1, i), 0.001f * (float) (i + 1));
        EXPECT_EQ (buffer.getSample (2, i), 0.0f);
    }
}

TEST (AudioPath, ChannelsBeyondTheSecondAreClearedAndTheFirstTwoProcessed)
{
    auto processor = makePrepared (48000.0, 2);
    setPlain (*processor, "depth", 0.0f); // nothing is cut: the output is the delayed input
    const auto input = noise (6000, 5);
    std::vector<std::vector<float>> signal { input, input, input, input };
    const auto out = render (*processor, signal, 1000);

    EXPECT_LT (delayedError (input, out[0], 2048), 1e-5f);
    EXPECT_LT (delayedError (input, out[1], 2048), 1e-5f);
    for (int c : { 2, 3 })
        for (float v : out[(size_t) c])
            ASSERT_EQ (v, 0.0f);
}

TEST (AudioPath, StereoPreparedProcessorGivenOneChannelProcessesItAsMono)
{
    auto processor = makePrepared (48000.0, 2);
    setPlain (*processor, "depth", 0.0f);
    const auto input = noise (8000, 6);
    const auto out = render (*processor, { input }, 700);
    EXPECT_LT (delayedError (input, out[0], 2048), 1e-5f);
}

TEST (AudioPath, EmptyBlocksChangeNothing)
{
    auto processor = makePrepared (48000.0, 2);
    auto reference = makePrepared (48000.0, 2);
    const auto input = noise (5000, 8);

    juce::MidiBuffer midi;
    juce::AudioBuffer<float> empty (2, 0);
    processor->processBlock (empty, midi);
    auto a = render (*processor, { input, input }, 500);
    processor->processBlock (empty, midi);
    auto b = render (*reference, { input, input }, 500);
    EXPECT_EQ (a, b);
}

// Bad samples are replaced by silence before they reach any history: a single one comes out as one zero,
// N samples later, and nothing else changes.
class BadSamples : public ::testing::TestWithParam<float>
{
};

TEST_P (BadSamples, NeverReachTheOutput)
{
    auto processor = makePrepared (48000.0, 2);
    auto clean = makePrepared (48000.0, 2);

    auto input = noise (12000, 9);
    auto dirty = input;
    dirty[3000] = GetParam();
    dirty[3001] = -GetParam();
    input[3000] = input[3001] = 0.0f;

    const auto a = render (*processor, { dirty, input }, 512);
    const auto b = render (*clean, { input, input }, 512);
    for (int c = 0; c < 2; ++c)
        for (size_t i = 0; i < a[0].size(); ++i)
        {
            ASSERT_TRUE (std::isfinite (a[(size_t) c][i]));
            ASSERT_EQ (a[(size_t) c][i], b[(size_t) c][i]) << "channel " << c << " sample " << i;
        }
}

INSTANTIATE_TEST_SUITE_P (Values, BadSamples,
                          ::testing::Values (std::numeric_limits<float>::quiet_NaN(),
                                             std::numeric_limits<float>::infinity(), 1.0e9f, 3.0e38f));

// The timeline of a quality change from NORMAL to HIGH at 48 kHz with 512-sample blocks: the old engine is
// heard for 4096 + 512 samples, then a 2048-sample raised-cosine crossfade, then the new engine alone.
TEST (QualitySwitch, WarmsUpThenCrossfadesThenPublishesTheNewQuality)
{
    auto processor = makePrepared (48000.0, 1);
    setPlain (*processor, "depth", 0.0f); // nothing is cut: each engine is a pure delay

    const int block = 512, start = 20 * block;
    std::vector<float> input ((size_t) (start + 12 * 1024));
    for (size_t t = 0; t < input.size(); ++t)
        input[t] = 0.5f * std::sin (0.0021f * (float) t) + 0.3f * std::sin (0.017f * (float) t);

    std::vector<float> out = input;
    juce::MidiBuffer midi;
    int switchCompletedAt = -1;
    for (int pos = 0; pos < (int) input.size(); pos += block)
    {
        if (pos == start)
            setPlain (*processor, "quality", 2.0f);
        float* ptr = out.data() + pos;
        juce::AudioBuffer<float> buffer (&ptr, 1, block);
        processor->processBlock (buffer, midi);
        if (switchCompletedAt < 0 && processor->getPublishedQuality() == 2)
            switchCompletedAt = pos + block;
    }

    const int fadeStart = start + 4096 + 512;
    EXPECT_EQ (switchCompletedAt, fadeStart + 2048);

    for (int t = start; t < (int) out.size(); ++t)
    {
        const float oldOut = input[(size_t) (t - 2048)];
        const float newOut = input[(size_t) (t - 4096)];
        float expected = oldOut;
        if (t >= fadeStart + 2048)
            expected = newOut;
        else if (t >= fadeStart)
        {
            const float w = (1.0f - std::cos (juce::MathConstants<float>::pi * (float) (t - fadeStart) / 2048.0f)) / 2.0f;
            expected = oldOut + (newOut - oldOut) * w;
        }
        ASSERT_NEAR (out[(size_t) t], expected, 1e-5f) << "sample " << t - start << " after the change";
    }
}

TEST (QualitySwitch, AChangeDuringASwitchWaitsForItToComplete)
{
    auto processor = makePrepared (48000.0, 1);
    std::vector<float> silence (512, 0.0f);
    juce::MidiBuffer midi;
    auto runBlocks = [&] (int count) {
        for (int i = 0; i < count; ++i)
        {
            float* ptr = silence.data();
            juce::AudioBuffer<float> buffer (&ptr, 1, 512);
            processor->processBlock (buffer, midi);
        }
    };

    setPlain (*processor, "quality", 2.0f);
    runBlocks (2);
    EXPECT_TRUE (processor->isQualitySwitchRunning());
    setPlain (*processor, "quality", 1.0f); // back to the heard quality while warming up
    runBlocks (11);                          // 4608 warm-up + 2048 fade = 13 blocks in all
    EXPECT_EQ (processor->getPublishedQuality(), 2);
    EXPECT_FALSE (processor->isQualitySwitchRunning());
    runBlocks (1);
    EXPECT_TRUE (processor->isQualitySwitchRunning()) << "a new switch back to NORMAL starts";
    runBlocks (2048 / 512 + 2560 / 512);
    EXPECT_EQ (processor->getPublishedQuality(), 1);
}

TEST (QualitySwitch, ResetAndPrepareForceTheParameterQuality)
{
    auto processor = makePrepared (48000.0, 2);
    setPlain (*processor, "quality", 0.0f);
    std::vector<float> l (512), r (512);
    float* ptrs[] = { l.data(), r.data() };
    juce::AudioBuffer<float> buffer (ptrs, 2, 512);
    juce::MidiBuffer midi;
    processor->processBlock (buffer, midi);
    EXPECT_TRUE (processor->isQualitySwitchRunning());

    processor->reset();
    EXPECT_FALSE (processor->isQualitySwitchRunning());
    EXPECT_EQ (processor->getPublishedQuality(), 0);
}

TEST (Latency, FollowsTheQualityOnTheMessageThread)
{
    auto processor = makePrepared (48000.0, 2);
    EXPECT_EQ (processor->getLatencySamples(), 2048);

    setPlain (*processor, "quality", 2.0f);
    processor->handleUpdateNowIfNeeded();
    EXPECT_EQ (processor->getLatencySamples(), 4096);
    EXPECT_EQ (processor->getReportedLatency(), 4096);
    EXPECT_EQ (processor->getPublishedQuality(), 1) << "the audio switch completes later";

    setPlain (*processor, "quality", 0.0f);
    processor->handleUpdateNowIfNeeded();
    EXPECT_EQ (processor->getLatencySamples(), 1024);
}

// A host thread may change the parameter while the message thread runs the update before the tree has
// refreshed its raw value: the update reads the parameter itself.
TEST (Latency, FollowsTheParameterEvenBeforeTheTreeCatchesUp)
{
    auto processor = makePrepared (48000.0, 2);
    processor->getParameters().getParameter ("quality")->setValue (1.0f); // no listener has run yet
    EXPECT_EQ (processor->getParameters().getRawParameterValue ("quality")->load(), 1.0f);
    processor->handleAsyncUpdate();
    EXPECT_EQ (processor->getLatencySamples(), 4096);
}

TEST (Buses, MonoAndStereoOnlyWithInputEqualToOutput)
{
    ResoProcessor processor;
    auto layout = [] (juce::AudioChannelSet in, juce::AudioChannelSet out) {
        juce::AudioProcessor::BusesLayout l;
        l.inputBuses.add (in);
        l.outputBuses.add (out);
        return l;
    };
    using Set = juce::AudioChannelSet;
    EXPECT_TRUE (processor.checkBusesLayoutSupported (layout (Set::mono(), Set::mono())));
    EXPECT_TRUE (processor.checkBusesLayoutSupported (layout (Set::stereo(), Set::stereo())));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layout (Set::mono(), Set::stereo())));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layout (Set::stereo(), Set::mono())));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layout (Set::create5point1(), Set::create5point1())));
    EXPECT_FALSE (processor.checkBusesLayoutSupported (layout (Set::disabled(), Set::disabled())));
}

TEST (Snapshot, PublishDivisorGivesAboutSixtyFramesPerSecond)
{
    auto processor = makePrepared (48000.0, 2);
    EXPECT_EQ (processor->getPublishDivisor (0), 6);
    EXPECT_EQ (processor->getPublishDivisor (1), 3);
    EXPECT_EQ (processor->getPublishDivisor (2), 2);
    processor->prepareToPlay (192000.0, 512);
    EXPECT_EQ (processor->getPublishDivisor (1), 13);
}

} // namespace
