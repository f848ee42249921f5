#include "engine/BandGainComputer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace
{

using reso::BandGainComputer;
using reso::BlockControls;
using reso::EngineConfig;

struct Sine
{
    double hz, levelDb; // peak-bin level above 0 dB
};

// Level spectrum (dB per bin) of a flat noise floor plus sines, each spread over the main lobe and side lobes
// of the square-root Hann window (|W(m)| proportional to 1 / (1 - 4 m^2) for a sine centred on a bin).
std::vector<float> spectrum (int fftSize, double sampleRate, double floorDb, std::initializer_list<Sine> sines = {})
{
    const int bins = fftSize / 2 + 1;
    std::vector<float> level ((size_t) bins);
    for (int k = 0; k < bins; ++k)
    {
        double power = std::pow (10.0, floorDb / 10.0);
        for (const auto& s : sines)
        {
            const double m = k - s.hz * fftSize / sampleRate;
            if (std::abs (m) < 40.0)
                power += std::pow (10.0, s.levelDb / 10.0) / std::pow (1.0 - 4.0 * m * m, 2.0);
        }
        level[(size_t) k] = (float) (10.0 * std::log10 (power));
    }
    return level;
}

EngineConfig configFor (int fftSize)
{
    EngineConfig config;
    config.fftSize = fftSize;
    return config;
}

// Default framing: an analysis frame every second hop of N / 8.
int periodFor (int fftSize) { return 2 * fftSize / 8; }

BandGainComputer prepared (int fftSize = 2048, double sampleRate = 48000.0, EngineConfig config = configFor (2048))
{
    config.fftSize = fftSize;
    BandGainComputer computer;
    computer.prepare (fftSize, sampleRate, config, periodFor (fftSize));
    return computer;
}

void run (BandGainComputer& computer, const std::vector<float>& level, const BlockControls& controls, int frames,
    const float* curve = nullptr)
{
    for (int f = 0; f < frames; ++f)
        computer.compute (level.data(), controls, curve);
}

int binOf (double hz, int fftSize = 2048, double sampleRate = 48000.0)
{
    return (int) std::lround (hz * fftSize / sampleRate);
}

//==============================================================================
struct GridCase
{
    double sampleRate;
    int fftSize;
    int firstBin, lastBin;
    double erbLow, erbHigh;
    int bands;
};

class BandGrid : public ::testing::TestWithParam<GridCase>
{
};

TEST_P (BandGrid, CoversTheAnalysedRangeInQuarterErbSteps)
{
    const auto c = GetParam();
    const auto computer = prepared (c.fftSize, c.sampleRate);

    EXPECT_DOUBLE_EQ (computer.binWidth(), c.sampleRate / c.fftSize);
    EXPECT_EQ (computer.firstBin(), c.firstBin);
    EXPECT_EQ (computer.lastBin(), c.lastBin);
    ASSERT_EQ (computer.bandCount(), c.bands);
    EXPECT_NEAR (BandGainComputer::erbNumber (computer.bandHz (0)), c.erbLow, 1e-4);
    EXPECT_NEAR (BandGainComputer::erbNumber (computer.bandHz (c.bands - 1)), c.erbHigh, 1e-4);
    for (int i = 1; i < c.bands - 1; ++i)
        ASSERT_NEAR (
            BandGainComputer::erbNumber (computer.bandHz (i)) - BandGainComputer::erbNumber (computer.bandHz (i - 1)),
            0.25, 1e-9);
}

INSTANTIATE_TEST_SUITE_P (Rates, BandGrid,
    ::testing::Values (GridCase{ 48000.0, 2048, 18, 768, 1.2165, 41.6865, 163 },
        // binWidth 46.875 Hz lies above 0.8 x 40 Hz, so the grid starts at the first bin's frequency
        GridCase{ 48000.0, 1024, 9, 384, 1.7319, 41.6865, 161 },
        GridCase{ 44100.0, 2048, 19, 835, 1.2165, 41.6865, 163 },
        // at a low rate the top is limited by 0.45 x rate and by the band just below Nyquist
        GridCase{ 22050.0, 1024, 19, 460, 1.2165, 36.1685, 141 }));

TEST (BandGainComputer, PresenceWeightRisesFromNothingBelow400HzToFullInThePresenceRange)
{
    const auto computer = prepared();
    const float* presence = computer.presenceBin();
    const double binWidth = computer.binWidth();

    for (int k = 0; k * binWidth < 390.0; ++k)
        EXPECT_EQ (presence[k], 0.0f) << k;
    for (int k = binOf (400.0); k * binWidth < 3400.0; ++k)
        EXPECT_LE (presence[k], presence[k + 1]) << k;
    for (int k = binOf (3700.0); k * binWidth < 5800.0; ++k)
        EXPECT_NEAR (presence[k], 1.0f, 1e-6f) << k;
    for (int k = binOf (19000.0); k <= 1024; ++k)
        EXPECT_NEAR (presence[k], 0.7f, 1e-6f) << k;
}

//==============================================================================
struct DivisorCase
{
    double sampleRate;
    int fftSize;
    int divisor;
};

class UpdateRate : public ::testing::TestWithParam<DivisorCase>
{
};

TEST_P (UpdateRate, BandWorkRunsOnEveryDivisorthFrameOnly)
{
    const auto c = GetParam();
    auto computer = prepared (c.fftSize, c.sampleRate);
    ASSERT_EQ (computer.updateDivisor(), c.divisor);
    EXPECT_NEAR (computer.updateMs(), c.divisor * periodFor (c.fftSize) * 1000.0 / c.sampleRate, 1e-9);

    const BlockControls controls;
    const auto flat = spectrum (c.fftSize, c.sampleRate, 0.0);
    const auto peaked = spectrum (c.fftSize, c.sampleRate, 0.0, { { 3000.0, 50.0 } });
    const int peakBin = binOf (3000.0, c.fftSize, c.sampleRate);

    computer.compute (flat.data(), controls, nullptr);
    ASSERT_EQ (computer.gainBin()[peakBin], 0.0f);
    for (int f = 1; f < c.divisor; ++f)
    {
        computer.compute (peaked.data(), controls, nullptr);
        ASSERT_EQ (computer.gainBin()[peakBin], 0.0f) << "frame " << f;
    }
    computer.compute (peaked.data(), controls, nullptr);
    EXPECT_LT (computer.gainBin()[peakBin], -1.0f);
}

INSTANTIATE_TEST_SUITE_P (Rates, UpdateRate,
    ::testing::Values (DivisorCase{ 48000.0, 2048, 1 }, DivisorCase{ 48000.0, 1024, 2 },
        DivisorCase{ 96000.0, 1024, 4 }, DivisorCase{ 44100.0, 512, 3 }));

//==============================================================================
TEST (BandGainComputer, DepthZeroNeverCutsEvenAStrongNarrowPeak)
{
    auto computer = prepared();
    BlockControls controls;
    controls.depth = 0.0f;
    controls.hardMode = true;
    run (computer, spectrum (2048, 48000.0, 0.0, { { 3000.0, 60.0 }, { 6000.0, 60.0 } }), controls, 40);

    for (int i = 0; i < computer.bandCount(); ++i)
    {
        ASSERT_EQ (computer.bandAmount (i), 0.0f) << i;
        ASSERT_EQ (computer.bandCut (i), 0.0f) << i;
        ASSERT_EQ (computer.bandGainDb (i), 0.0f) << i;
    }
    for (int k = computer.firstBin(); k <= computer.lastBin(); ++k)
        ASSERT_EQ (computer.gainBin()[k], 0.0f) << k;
}

TEST (BandGainComputer, FloorThresholdDrops87Point7DbPerUnitOfDepth)
{
    // On a flat floor only the floor level and the threshold decide the amount: half a unit of depth
    // more must equal a floor 43.85 dB louder.
    auto atHalf = prepared();
    auto atFull = prepared();
    BlockControls half, full;
    half.depth = 0.5f;
    full.depth = 1.0f;
    run (atHalf, spectrum (2048, 48000.0, -18.5), half, 3);
    run (atFull, spectrum (2048, 48000.0, -18.5 - 43.85), full, 3);

    int midRange = 0;
    for (int i = 0; i < atHalf.bandCount(); ++i)
    {
        EXPECT_NEAR (atFull.bandAmount (i), atHalf.bandAmount (i), 2e-4f) << i;
        midRange += atHalf.bandAmount (i) > 0.2f && atHalf.bandAmount (i) < 0.8f;
    }
    EXPECT_GT (midRange, 50); // the comparison is made where the amount is sensitive to the threshold
}

TEST (BandGainComputer, SensitivityCurveCountsLikeALouderFloor)
{
    auto withCurve = prepared();
    auto louder = prepared();
    const BlockControls controls;
    const std::vector<float> curve (1025, 10.0f);
    run (withCurve, spectrum (2048, 48000.0, -40.0), controls, 3, curve.data());
    run (louder, spectrum (2048, 48000.0, -30.0), controls, 3);

    for (int k = 0; k <= 1024; ++k)
        ASSERT_NEAR (withCurve.amountBin()[k], louder.amountBin()[k], 2e-4f) << k;
}

//==============================================================================
struct GateCase
{
    float inputDb;
    float gate;
};

class LevelGate : public ::testing::TestWithParam<GateCase>
{
};

TEST_P (LevelGate, OpensAroundMinus49Point5DbAtDefaultDepth)
{
    const auto c = GetParam();
    const BlockControls controls; // depth 0.31: half open at -22.31 - 0.31 x 87.7 dB
    const auto level = spectrum (2048, 48000.0, 0.0);

    auto open = prepared();
    open.setInputLevelDb (0.0f);
    run (open, level, controls, 2);

    auto gated = prepared();
    gated.setInputLevelDb (c.inputDb);
    run (gated, level, controls, 2);

    EXPECT_NEAR (gated.levelGate(), c.gate, 1e-4f);
    for (int i = 0; i < gated.bandCount(); i += 10)
        EXPECT_NEAR (gated.bandAmount (i), open.bandAmount (i) * c.gate, 1e-4f) << i;
}

INSTANTIATE_TEST_SUITE_P (InputLevels, LevelGate,
    ::testing::Values (GateCase{ -49.497f, 0.5f }, GateCase{ -54.497f, 0.0f }, GateCase{ -60.0f, 0.0f },
        GateCase{ -51.997f, 0.15625f }, GateCase{ -44.497f, 1.0f }, GateCase{ -20.0f, 1.0f }));

//==============================================================================
struct PeakCase
{
    double hz;
    bool cut;
};

class NarrowPeak : public ::testing::TestWithParam<PeakCase>
{
};

TEST_P (NarrowPeak, IsCutAroundItsFrequencyAndNowhereElse)
{
    const auto c = GetParam();
    auto computer = prepared();
    const BlockControls controls;
    run (computer, spectrum (2048, 48000.0, 0.0, { { c.hz, 36.0 } }), controls, 40);

    const float* gain = computer.gainBin();
    const int peakBin = binOf (c.hz);
    if (c.cut)
    {
        EXPECT_LT (gain[peakBin], -3.0f);
    }

    for (int k = computer.firstBin(); k <= computer.lastBin(); ++k)
    {
        ASSERT_LE (gain[k], 0.0f) << k;
        const double hz = k * computer.binWidth();
        if (! c.cut || hz < c.hz / std::sqrt (2.0) || hz > c.hz * std::sqrt (2.0))
        {
            ASSERT_EQ (gain[k], 0.0f) << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P (Frequencies, NarrowPeak,
    ::testing::Values (PeakCase{ 2000.0, true }, PeakCase{ 3000.0, true }, PeakCase{ 6000.0, true },
        PeakCase{ 11000.0, true },
        // the presence weight is 0 below 400 Hz: the band computer leaves low resonances to the notches
        PeakCase{ 300.0, false }));

TEST (BandGainComputer, HardModeMultipliesEveryBandCutBy1Point45)
{
    auto soft = prepared();
    auto hard = prepared();
    BlockControls softControls, hardControls;
    hardControls.hardMode = true;
    const auto level = spectrum (2048, 48000.0, 0.0, { { 2500.0, 30.0 }, { 5000.0, 40.0 }, { 9000.0, 24.0 } });
    run (soft, level, softControls, 20);
    run (hard, level, hardControls, 20);

    int compared = 0;
    for (int i = 0; i < soft.bandCount(); ++i)
    {
        EXPECT_NEAR (hard.bandCut (i), std::min (soft.bandCut (i) * 1.45f, 30.0f), 1e-5f * (1.0f + hard.bandCut (i)));
        compared += soft.bandCut (i) > 1.0f;
    }
    EXPECT_GT (compared, 5);
}

TEST (BandGainComputer, NoBandCutExceeds30Db)
{
    auto computer = prepared();
    BlockControls controls;
    controls.depth = 1.0f;
    controls.hardMode = true;
    controls.selectivity = 0.0f;
    run (computer, spectrum (2048, 48000.0, -60.0, { { 2500.0, 150.0 }, { 7000.0, 150.0 } }), controls, 30);

    float deepest = 0.0f;
    for (int i = 0; i < computer.bandCount(); ++i)
    {
        ASSERT_TRUE (std::isfinite (computer.bandCut (i)));
        ASSERT_LE (computer.bandCut (i), 30.0f) << i;
        deepest = std::max (deepest, computer.bandCut (i));
    }
    EXPECT_EQ (deepest, 30.0f);
    for (int k = computer.firstBin(); k <= computer.lastBin(); ++k)
        ASSERT_GE (computer.gainBin()[k], -30.0f) << k;
}

TEST (BandGainComputer, SilenceGivesNoCutAndNoNaN)
{
    auto computer = prepared();
    BlockControls controls;
    controls.depth = 1.0f;
    computer.setInputLevelDb (-200.0f);
    run (computer, spectrum (2048, 48000.0, -100.0), controls, 10);
    for (int k = 0; k <= 1024; ++k)
    {
        ASSERT_TRUE (std::isfinite (computer.amountBin()[k])) << k;
        ASSERT_EQ (computer.gainBin()[k], 0.0f) << k;
    }
}

//==============================================================================
struct TimingCase
{
    float attackMs, releaseMs;
    double bandAttackMs, bandReleaseMs, holdMs;
};

class BandTiming : public ::testing::TestWithParam<TimingCase>
{
protected:
    static double timeConstant (float coefficient, double stepMs) { return -stepMs / std::log (1.0 - coefficient); }
};

TEST_P (BandTiming, FollowsTheAttackAndReleaseControls)
{
    const auto c = GetParam();
    auto computer = prepared();
    BlockControls controls;
    controls.attackScale = c.attackMs / 40.0f;
    controls.releaseScale = c.releaseMs / 220.0f;
    run (computer, spectrum (2048, 48000.0, 0.0), controls, 1);

    const double step = computer.updateMs();
    if (c.bandAttackMs > 0.1 * step)
        EXPECT_NEAR (timeConstant (computer.attackCoefficient(), step), c.bandAttackMs, 0.01 * c.bandAttackMs);
    else
        EXPECT_GT (computer.attackCoefficient(), 0.9999f); // instant within one update
    EXPECT_NEAR (timeConstant (computer.releaseCoefficient(), step), c.bandReleaseMs, 0.001 * c.bandReleaseMs);
    EXPECT_NEAR (computer.holdFrames() * step, c.holdMs, 0.5 * step);
}

TEST_P (BandTiming, HoldsAGrowingCutBeforeReleasing)
{
    const auto c = GetParam();
    auto computer = prepared();
    BlockControls controls;
    controls.attackScale = c.attackMs / 40.0f;
    controls.releaseScale = c.releaseMs / 220.0f;
    for (int f = 0; f < 40; ++f) // a resonance that keeps growing until it stops
        run (computer, spectrum (2048, 48000.0, 0.0, { { 4000.0, 16.0 + 0.4 * f } }), controls, 1);

    int band = 0;
    for (int i = 1; i < computer.bandCount(); ++i)
        if (computer.bandGainDb (i) < computer.bandGainDb (band))
            band = i;
    const float held = computer.bandGainDb (band);
    ASSERT_LT (held, -3.0f);

    const auto flat = spectrum (2048, 48000.0, 0.0);
    int heldFrames = 0;
    for (; heldFrames < 100; ++heldFrames)
    {
        computer.compute (flat.data(), controls, nullptr);
        if (computer.bandGainDb (band) != held)
            break;
    }
    EXPECT_EQ (heldFrames, computer.holdFrames());
    EXPECT_GT (computer.bandGainDb (band), held); // then it releases
}

INSTANTIATE_TEST_SUITE_P (Controls, BandTiming,
    ::testing::Values (TimingCase{ 40.0f, 220.0f, 1.0, 80.0, 120.0 }, TimingCase{ 40.0f, 440.0f, 1.0, 160.0, 240.0 },
        TimingCase{ 80.0f, 220.0f, std::pow (2.0, 2.4), 80.0, 120.0 },
        TimingCase{ 20.0f, 110.0f, std::pow (0.5, 2.4), 40.0, 60.0 }));

//==============================================================================
TEST (BandGainComputer, ResetBehavesLikeAFreshComputer)
{
    auto used = prepared();
    BlockControls other;
    other.sharpness = 0.8f;
    other.attackScale = 2.0f;
    other.depth = 0.9f;
    run (used, spectrum (2048, 48000.0, 10.0, { { 5000.0, 40.0 } }), other, 7);
    used.reset();

    auto fresh = prepared();
    const BlockControls controls;
    const auto level = spectrum (2048, 48000.0, 0.0, { { 3000.0, 36.0 } });
    run (used, level, controls, 5);
    run (fresh, level, controls, 5);

    for (int k = 0; k <= 1024; ++k)
    {
        ASSERT_EQ (used.amountBin()[k], fresh.amountBin()[k]) << k;
        ASSERT_EQ (used.gainBin()[k], fresh.gainBin()[k]) << k;
        ASSERT_EQ (used.excessBin()[k], fresh.excessBin()[k]) << k;
    }
}

TEST (BandGainComputer, DisabledComputerLeavesItsOutputsAtZero)
{
    EngineConfig config = configFor (2048);
    config.bandGainOn = 0;
    auto computer = prepared (2048, 48000.0, config);
    EXPECT_FALSE (computer.enabled());
    run (computer, spectrum (2048, 48000.0, 0.0, { { 3000.0, 50.0 } }), BlockControls(), 10);
    for (int k = 0; k <= 1024; ++k)
    {
        ASSERT_EQ (computer.amountBin()[k], 0.0f);
        ASSERT_EQ (computer.gainBin()[k], 0.0f);
    }
}

} // namespace
