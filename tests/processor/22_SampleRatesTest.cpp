#include "support/ProcessorHelpers.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

// At every common sample rate the processor prepares, processes and switches quality, and its latency is
// exactly the FFT size of the quality: as reported to the host and in the audio itself.

namespace
{

using namespace reso::test;

class SampleRates : public ::testing::TestWithParam<double>
{
protected:
    // Runs host blocks of 512 samples of the seeded input through the processor, keeping the output.
    void run (reso::ResoProcessor& processor, int blocks)
    {
        juce::MidiBuffer midi;
        for (int b = 0; b < blocks; ++b)
        {
            if (position + 512 > (int) out[0].size())
                grow();
            float* channels[] = { out[0].data() + position, out[1].data() + position };
            juce::AudioBuffer<float> buffer (channels, 2, 512);
            processor.processBlock (buffer, midi);
            position += 512;
        }
    }

    void grow()
    {
        const int more = 1 << 16;
        for (int c = 0; c < 2; ++c)
        {
            const auto fresh = noise (more, (unsigned) (in[(size_t) c].size() + (size_t) c), 0.3f);
            in[(size_t) c].insert (in[(size_t) c].end(), fresh.begin(), fresh.end());
            out[(size_t) c].insert (out[(size_t) c].end(), fresh.begin(), fresh.end());
        }
    }

    // Worst difference between output and input delayed by delay samples over [from, position).
    float delayedError (int delay, int from) const
    {
        float worst = 0.0f;
        for (int c = 0; c < 2; ++c)
            for (int t = from; t < position; ++t)
                worst = std::max (worst, std::abs (out[(size_t) c][(size_t) t] - in[(size_t) c][(size_t) (t - delay)]));
        return worst;
    }

    std::vector<float> in[2], out[2];
    int position = 0;
};

TEST_P (SampleRates, EveryQualitySwitchesInAndItsLatencyIsTheFftSize)
{
    const double rate = GetParam();
    auto processor = makePrepared (rate, 2);
    setPlain (*processor, "depth", 0.0f); // nothing is cut: each engine is a pure delay of its FFT size
    EXPECT_EQ (processor->getLatencySamples(), 2048);
    EXPECT_EQ (processor->getPreparedSampleRate(), rate);

    run (*processor, 16);
    EXPECT_LT (delayedError (2048, 2048), 1e-5f);

    for (int quality : { 2, 0, 1 })
    {
        const int size = reso::qualityFftSizes[(size_t) quality];
        setPlain (*processor, "quality", (float) quality);
        processor->handleUpdateNowIfNeeded();
        EXPECT_EQ (processor->getLatencySamples(), size) << "quality " << quality;

        run (*processor, 1);
        ASSERT_TRUE (processor->isQualitySwitchRunning());
        for (int guard = 0; processor->isQualitySwitchRunning() && guard < 100; ++guard)
            run (*processor, 1);
        ASSERT_FALSE (processor->isQualitySwitchRunning());
        EXPECT_EQ (processor->getPublishedQuality(), quality);

        const int switched = position;
        run (*processor, 12);
        EXPECT_LT (delayedError (size, switched), 1e-5f) << "quality " << quality;
    }
}

// The analysis works at every rate: a narrow resonance on pink noise is cut at its frequency only.
TEST_P (SampleRates, AResonanceIsCut)
{
    const double rate = GetParam();
    const int length = (int) (rate * 4);
    auto input = pinkNoise (length, 5, 0.1f);
    addResonance (input, rate, 2500.0, 12.0, 8.0);

    auto processor = makePrepared (rate, 1);
    setPlain (*processor, "depth", 0.5f);
    const auto output = render (*processor, { input }, 512)[0];
    for (float v : output)
        ASSERT_TRUE (std::isfinite (v));

    const std::vector<float> aligned (output.begin() + 2048, output.end());
    const auto before = powerSpectrum (input, length / 2, length - 2048);
    const auto after = powerSpectrum (aligned, length / 2, length - 2048);
    EXPECT_LT (bandLevelDb (after, rate, 2420.0, 2580.0) - bandLevelDb (before, rate, 2420.0, 2580.0), -2.0);
    EXPECT_LT (std::abs (thirdOctaveChangeDb (before, after, rate, 630.0)), 0.5);
}

INSTANTIATE_TEST_SUITE_P (Rates, SampleRates, ::testing::Values (22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0),
                          [] (const ::testing::TestParamInfo<double>& param) { return std::to_string ((int) param.param) + "Hz"; });

} // namespace
