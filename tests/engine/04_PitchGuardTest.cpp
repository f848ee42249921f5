#include "engine/PitchGuard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace
{

constexpr double twoPi = 6.283185307179586476925;

reso::EngineConfig configWithFft (int fftSize)
{
    reso::EngineConfig config;
    config.fftSize = fftSize;
    return config;
}

// Sum of sines (frequency, amplitude) plus uniform white noise with a fixed seed.
class TestSignal
{
public:
    TestSignal (double sampleRate, std::vector<std::pair<double, double>> sines, float noiseAmplitude = 0.0f,
        unsigned seed = 1u)
        : rate (sampleRate)
        , partials (std::move (sines))
        , noise (-noiseAmplitude, noiseAmplitude)
        , rng (seed)
    {
    }

    float next()
    {
        double x = 0.0;
        for (const auto& [freq, amp] : partials)
            x += amp * std::sin (twoPi * freq * (double) index / rate);
        ++index;
        return (float) x + noise (rng);
    }

private:
    double rate;
    std::vector<std::pair<double, double>> partials;
    std::uniform_real_distribution<float> noise;
    std::mt19937 rng;
    long long index = 0;
};

// Pushes samples until an analysis runs; returns how many were pushed (or -1 after limit samples).
long long pushUntilAnalysis (reso::PitchGuard& guard, TestSignal& signal, long long limit = 1 << 22)
{
    for (long long n = 1; n <= limit; ++n)
        if (guard.push (signal.next()))
            return n;
    return -1;
}

//==============================================================================
struct RateCase
{
    double sampleRate;
    int decimation;
    double decimatedRate;
    int firstBin, lastBin;
};

class PitchGuardRates : public ::testing::TestWithParam<RateCase>
{
};

TEST_P (PitchGuardRates, DerivesDecimationAndLongFftGeometry)
{
    const auto c = GetParam();
    reso::PitchGuard guard;
    guard.prepare (c.sampleRate, configWithFft (2048));

    ASSERT_TRUE (guard.enabled());
    EXPECT_EQ (guard.decimation(), c.decimation);
    EXPECT_DOUBLE_EQ (guard.decimatedRate(), c.decimatedRate);
    EXPECT_EQ (guard.fftLength(), 8192);
    EXPECT_EQ (guard.hop(), 1024);
    EXPECT_NEAR (guard.binWidth(), c.decimatedRate / 8192.0, 1e-12);
    EXPECT_EQ (guard.firstBin(), c.firstBin);
    EXPECT_EQ (guard.lastBin(), c.lastBin);
    EXPECT_EQ (guard.holdFrames(), 2);
}

TEST_P (PitchGuardRates, AnalysesAfterFullWindowThenEveryHopAndReportsPeaksFromWarmup)
{
    const auto c = GetParam();
    reso::PitchGuard guard;
    guard.prepare (c.sampleRate, configWithFft (2048));
    TestSignal signal (c.sampleRate, { { 120.0, 0.1 } }, 0.01f, 5u);

    // decimated sample n is taken at input sample n x decimation, the first one at input sample 0
    const long long firstAnalysisAt = (long long) c.decimation * (guard.fftLength() - 1) + 1;
    const long long hopInInput = (long long) c.decimation * guard.hop();

    for (int run = 0; run < 2; ++run)
    {
        EXPECT_EQ (pushUntilAnalysis (guard, signal), firstAnalysisAt);
        EXPECT_EQ (guard.analyses(), 1);
        for (int analysis = 2; analysis <= 6; ++analysis)
        {
            EXPECT_EQ (guard.peakCount(), 0) << "analysis " << analysis - 1;
            EXPECT_EQ (pushUntilAnalysis (guard, signal), hopInInput);
            EXPECT_EQ (guard.analyses(), analysis);
        }
        EXPECT_GT (guard.peakCount(), 0);

        guard.reset();
        EXPECT_EQ (guard.analyses(), 0);
        EXPECT_EQ (guard.peakCount(), 0);
        EXPECT_FLOAT_EQ (guard.decimatedSample (0), 0.0f);
    }
}

INSTANTIATE_TEST_SUITE_P (SampleRates, PitchGuardRates,
    ::testing::Values (RateCase{ 22050.0, 4, 5512.5, 60, 1783 }, RateCase{ 44100.0, 8, 5512.5, 60, 1783 },
        RateCase{ 48000.0, 8, 6000.0, 55, 1638 }, RateCase{ 96000.0, 16, 6000.0, 55, 1638 },
        RateCase{ 192000.0, 32, 6000.0, 55, 1638 }));

//==============================================================================
struct DisabledCase
{
    int fftSize;
    int pitchGuardOn;
};

class PitchGuardDisabled : public ::testing::TestWithParam<DisabledCase>
{
};

TEST_P (PitchGuardDisabled, NeverAnalysesReportsOrHolds)
{
    auto config = configWithFft (GetParam().fftSize);
    config.pitchGuardOn = GetParam().pitchGuardOn;
    reso::PitchGuard guard;
    guard.prepare (48000.0, config);
    EXPECT_FALSE (guard.enabled());

    TestSignal signal (48000.0, { { 55.0, 0.3 }, { 110.0, 0.3 }, { 165.0, 0.3 }, { 220.0, 0.3 } });
    EXPECT_EQ (pushUntilAnalysis (guard, signal, 200000), -1);
    EXPECT_EQ (guard.analyses(), 0);
    EXPECT_EQ (guard.peakCount(), 0);
    EXPECT_FALSE (guard.holdNear (110.0f, 50.0f));
    EXPECT_FLOAT_EQ (guard.decimatedSample (0), 0.0f);
    guard.reset();
    EXPECT_FALSE (guard.push (1.0f));
}

INSTANTIATE_TEST_SUITE_P (
    LowLatencyOrSwitchedOff, PitchGuardDisabled, ::testing::Values (DisabledCase{ 1024, 1 }, DisabledCase{ 4096, 0 }));

//==============================================================================
struct DecimatorCase
{
    double sampleRate;
    double toneHz;
    double minGainDb, maxGainDb;
};

class PitchGuardDecimator : public ::testing::TestWithParam<DecimatorCase>
{
};

TEST_P (PitchGuardDecimator, PassesLowToneAndRejectsAliasingTones)
{
    const auto c = GetParam();
    reso::PitchGuard guard;
    guard.prepare (c.sampleRate, configWithFft (2048));
    TestSignal signal (c.sampleRate, { { c.toneHz, 1.0 } });

    // settle the filters, then measure the RMS of the newest decimated samples
    const int settle = 2000 * guard.decimation();
    for (int n = 0; n < settle; ++n)
        guard.push (signal.next());

    double power = 0.0;
    const int count = 1500;
    for (int age = 0; age < count; ++age)
        power += (double) guard.decimatedSample (age) * guard.decimatedSample (age);
    const double gainDb = 10.0 * std::log10 (power / count / 0.5 + 1e-30);
    EXPECT_GE (gainDb, c.minGainDb);
    EXPECT_LE (gainDb, c.maxGainDb);
}

// Low tones pass at unity (1200 Hz, the top of the analysed band, sits on the short stages' slight droop);
// tones that would fold into the analysed band (at or above the decimated rate minus 1200 Hz) are removed.
INSTANTIATE_TEST_SUITE_P (Tones, PitchGuardDecimator,
    ::testing::Values (DecimatorCase{ 48000.0, 200.0, -0.05, 0.05 }, DecimatorCase{ 48000.0, 1200.0, -1.0, 0.0 },
        DecimatorCase{ 48000.0, 20000.0, -300.0, -60.0 }, DecimatorCase{ 48000.0, 4800.0, -300.0, -60.0 },
        DecimatorCase{ 44100.0, 4500.0, -300.0, -60.0 }, DecimatorCase{ 96000.0, 200.0, -0.05, 0.05 },
        DecimatorCase{ 96000.0, 20000.0, -300.0, -60.0 }, DecimatorCase{ 22050.0, 200.0, -0.05, 0.05 },
        DecimatorCase{ 22050.0, 7000.0, -300.0, -60.0 }));

//==============================================================================
// A 55 Hz tone with partials at 110, 165 and 220 Hz, optionally with a second series on 200 Hz whose
// only sub-bass reading (66.7 Hz) is too sparse to be consumed by the sub-bass pass.
struct SeriesCase
{
    bool lowProtectOff;
    bool withSeriesAt200;
    bool bassPartialsHeld, series200Held;
};

class PitchGuardSeries : public ::testing::TestWithParam<SeriesCase>
{
};

TEST_P (PitchGuardSeries, HoldsPartialsUnlessTheSubBassPassConsumesThem)
{
    const auto c = GetParam();
    std::vector<std::pair<double, double>> sines{ { 55.0, 0.2 }, { 110.0, 0.2 }, { 165.0, 0.2 }, { 220.0, 0.2 } };
    if (c.withSeriesAt200)
        for (double f : { 200.0, 400.0, 600.0, 800.0 })
            sines.push_back ({ f, 0.1 });
    TestSignal signal (48000.0, sines, 0.001f, 11u);

    reso::PitchGuard guard;
    guard.prepare (48000.0, configWithFft (2048));
    guard.setLowProtectOff (c.lowProtectOff);
    for (int analysis = 0; analysis < 3; ++analysis)
        ASSERT_GT (pushUntilAnalysis (guard, signal), 0);

    for (float f : { 55.0f, 110.0f, 165.0f, 220.0f })
        EXPECT_EQ (guard.holdNear (f, 1.0f), c.bassPartialsHeld) << f << " Hz";
    for (float f : { 200.0f, 400.0f, 600.0f, 800.0f })
        EXPECT_EQ (guard.holdNear (f, 1.0f), c.series200Held) << f << " Hz";
    EXPECT_FALSE (guard.holdNear (700.0f, 3.0f));

    // a held partial covers its bin +-2 and nothing further
    if (c.bassPartialsHeld)
    {
        const int bin = (int) std::lround (110.0 / guard.binWidth());
        EXPECT_GT (guard.holds()[bin], 0);
        EXPECT_EQ (guard.holds()[bin + 5], 0);
        EXPECT_EQ (guard.holds()[bin - 5], 0);
        EXPECT_TRUE (guard.holdNear (5000.0f, 1.0e9f)); // a huge reach is clamped to the spectrum
    }

    // queries outside the spectrum or with a negative reach find nothing and read nothing out of range
    EXPECT_FALSE (guard.holdNear (std::nanf (""), 10.0f));
    EXPECT_FALSE (guard.holdNear (-1.0e12f, 10.0f));
    EXPECT_FALSE (guard.holdNear (1.0e12f, 10.0f));
    EXPECT_FALSE (guard.holdNear (110.0f, -5.0f));
}

INSTANTIATE_TEST_SUITE_P (LowProtect, PitchGuardSeries,
    ::testing::Values (SeriesCase{ false, false, true, false }, SeriesCase{ true, false, false, false },
        SeriesCase{ true, true, false, true }, SeriesCase{ false, true, true, true }));

//==============================================================================
TEST (PitchGuard, ReportsNarrowSteadyResonanceWithFineFrequencyAndWidth)
{
    TestSignal signal (48000.0, { { 120.0, 0.1 } }, 0.01f, 3u);
    reso::PitchGuard guard;
    guard.prepare (48000.0, configWithFft (2048));
    while (guard.analyses() < 6)
        ASSERT_GT (pushUntilAnalysis (guard, signal), 0);

    ASSERT_GT (guard.peakCount(), 0);
    int strongest = 0;
    for (int i = 1; i < guard.peakCount(); ++i)
        if (guard.peaks()[i].levelDb > guard.peaks()[strongest].levelDb)
            strongest = i;
    const auto& peak = guard.peaks()[strongest];

    // 120 Hz lies 0.16 bin off a bin centre: the parabola brings the estimate far inside one bin
    EXPECT_NEAR (peak.freqHz, 120.0f, 0.05f);
    EXPECT_GT (peak.levelDb, 30.0f);
    EXPECT_GE (peak.widthHz, guard.binWidth());
    EXPECT_LE (peak.widthHz, 5.0 * guard.binWidth());
    EXPECT_FALSE (peak.isProtected);

    for (int i = 0; i < guard.peakCount(); ++i)
    {
        if (i == strongest)
            continue;
        EXPECT_GT (std::abs (guard.peaks()[i].freqHz - 120.0f), 5.0f) << "second peak on the same resonance";
    }
}

} // namespace
