#include "support/ProcessorHelpers.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

namespace
{

using namespace reso::test;

constexpr double rate = 48000.0;

// Pink noise with one narrow resonance (+12 dB, Q 8 at 2.5 kHz), rendered through a mono processor at
// NORMAL quality; spectra compared after the latency, once the analysis has settled.
class ResonanceOnPinkNoise : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        input = pinkNoise ((int) rate * 6, 1, 0.1f);
        addResonance (input, rate, 2500.0, 12.0, 8.0);
        inputSpectrum = powerSpectrum (input, (int) rate * 2, (int) input.size() - 2048);
    }

    static std::vector<double> outputSpectrum (float depth, bool hard)
    {
        auto processor = makePrepared (rate, 1);
        setPlain (*processor, "depth", depth);
        setPlain (*processor, "mode", hard ? 1.0f : 0.0f);
        const auto out = render (*processor, { input }, 512)[0];
        const std::vector<float> aligned (out.begin() + 2048, out.end());
        return powerSpectrum (aligned, (int) rate * 2, (int) aligned.size());
    }

    static double resonanceChangeDb (const std::vector<double>& out)
    {
        return bandLevelDb (out, rate, 2420.0, 2580.0) - bandLevelDb (inputSpectrum, rate, 2420.0, 2580.0);
    }

    static inline std::vector<float> input;
    static inline std::vector<double> inputSpectrum;
};

TEST_F (ResonanceOnPinkNoise, IsCutAtItsFrequencyAndNowhereElse)
{
    const auto out = outputSpectrum (0.5f, false);
    EXPECT_LT (resonanceChangeDb (out), -3.0);
    for (double hz : { 315.0, 630.0, 1250.0, 5000.0, 10000.0 })
        EXPECT_LT (std::abs (thirdOctaveChangeDb (inputSpectrum, out, rate, hz)), 0.25) << hz << " Hz";
}

TEST_F (ResonanceOnPinkNoise, MoreDepthAndHardModeCutMore)
{
    const double light = resonanceChangeDb (outputSpectrum (0.15f, false));
    const double medium = resonanceChangeDb (outputSpectrum (0.5f, false));
    const double hard = resonanceChangeDb (outputSpectrum (0.5f, true));
    EXPECT_LT (medium, light - 1.0);
    EXPECT_LT (hard, medium - 1.0);
    EXPECT_NEAR (resonanceChangeDb (outputSpectrum (0.0f, false)), 0.0, 1e-3) << "depth 0 cuts nothing";
}

} // namespace
