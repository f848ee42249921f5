#include "engine/ResoEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

namespace
{

using reso::BlockControls;
using reso::EngineConfig;
using reso::ResoEngine;

constexpr double pi = 3.14159265358979323846;

std::vector<float> testSignal (int length, double sampleRate, unsigned seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> dist (-0.2f, 0.2f);
    std::vector<float> x ((size_t) length);
    for (int t = 0; t < length; ++t)
        x[(size_t) t] = dist (rng) + 0.3f * (float) std::sin (2.0 * pi * 2500.0 * t / sampleRate)
                        + 0.2f * (float) std::sin (2.0 * pi * 180.0 * t / sampleRate);
    return x;
}

// Runs x through a mono engine in blocks of at most 1024 samples, as the processor does.
std::vector<float> runMono (ResoEngine& engine, std::vector<float> x, const BlockControls& controls, int block = 1000)
{
    for (int start = 0; start < (int) x.size(); start += block)
    {
        engine.loadBlockControls (controls);
        engine.process (x.data() + start, nullptr, std::min (block, (int) x.size() - start));
    }
    return x;
}

void prepareMono (ResoEngine& engine, double sampleRate, int fftSize, const BlockControls& controls)
{
    EngineConfig config;
    config.fftSize = fftSize;
    engine.loadBlockControls (controls);
    engine.prepare (sampleRate, config, 1);
}

float worstDelayedError (const std::vector<float>& in, const std::vector<float>& out, int delay)
{
    float worst = 0.0f;
    for (size_t t = (size_t) delay; t < out.size(); ++t)
        worst = std::max (worst, std::abs (out[t] - in[t - (size_t) delay]));
    for (size_t t = 0; t < std::min ((size_t) delay, out.size()); ++t)
        worst = std::max (worst, std::abs (out[t]));
    return worst;
}

BlockControls nothingCut()
{
    BlockControls c;
    c.depth = 0.0f;
    return c;
}

// With nothing cut, analysis and resynthesis sum to unity: the output is the input delayed by exactly N.
class Transparency : public ::testing::TestWithParam<std::tuple<int, double>>
{
};

TEST_P (Transparency, OutputIsTheInputDelayedByTheFftSize)
{
    const auto [fftSize, sampleRate] = GetParam();
    ResoEngine engine;
    prepareMono (engine, sampleRate, fftSize, nothingCut());
    EXPECT_EQ (engine.latencySamples(), fftSize);

    const auto input = testSignal (3 * fftSize + 20000, sampleRate, 5);
    const auto output = runMono (engine, input, nothingCut());
    EXPECT_LT (worstDelayedError (input, output, fftSize), 1e-5f);
}

INSTANTIATE_TEST_SUITE_P (SizesAndRates, Transparency,
                          ::testing::Combine (::testing::Values (1024, 2048, 4096),
                                              ::testing::Values (44100.0, 48000.0, 96000.0)));

TEST (MonoEngine, ReferenceLevelIsThePeakBinOfAFullScaleSine)
{
    const std::pair<int, float> expected[] = { { 1024, 50.263f }, { 2048, 56.284f }, { 4096, 62.304f } };
    for (auto [fftSize, level] : expected)
    {
        ResoEngine engine;
        prepareMono (engine, 48000.0, fftSize, BlockControls {});
        EXPECT_NEAR (engine.channel (0).referenceLevelDb(), level, 0.001f) << fftSize;
    }
}

TEST (MonoEngine, MixZeroGivesTheExactDelayedDryEvenWhileCutting)
{
    BlockControls controls;
    controls.depth = 1.0f;
    controls.mix = 0.0f;
    ResoEngine engine;
    prepareMono (engine, 48000.0, 2048, controls);

    const auto input = testSignal (48000, 48000.0, 7);
    const auto output = runMono (engine, input, controls);
    EXPECT_EQ (worstDelayedError (input, output, 2048), 0.0f);
}

TEST (MonoEngine, DeltaWithNothingCutIsNearSilence)
{
    BlockControls controls = nothingCut();
    controls.delta = true;
    ResoEngine engine;
    prepareMono (engine, 48000.0, 2048, controls);

    const auto output = runMono (engine, testSignal (30000, 48000.0, 8), controls);
    for (float v : output)
        ASSERT_LT (std::abs (v), 1e-5f);
}

TEST (MonoEngine, DeltaPlaysExactlyWhatTheWetSignalLost)
{
    BlockControls wetControls;
    wetControls.depth = 1.0f;
    wetControls.mix = 0.3f; // delta ignores mix
    BlockControls deltaControls = wetControls;
    deltaControls.delta = true;
    wetControls.mix = 1.0f;

    ResoEngine wetEngine, deltaEngine;
    prepareMono (wetEngine, 48000.0, 2048, wetControls);
    prepareMono (deltaEngine, 48000.0, 2048, deltaControls);

    const auto input = testSignal (48000, 48000.0, 9);
    const auto wet = runMono (wetEngine, input, wetControls);
    const auto removed = runMono (deltaEngine, input, deltaControls);

    double removedEnergy = 0.0;
    for (size_t t = 2048; t < input.size(); ++t)
    {
        ASSERT_NEAR (wet[t] + removed[t], input[t - 2048], 1e-6f) << t;
        removedEnergy += (double) removed[t] * removed[t];
    }
    EXPECT_GT (removedEnergy, 1e-3) << "something was cut";
}

TEST (MonoEngine, SilenceInGivesSilenceOut)
{
    BlockControls controls;
    controls.depth = 1.0f;
    controls.trimDb = 6.0f;
    ResoEngine engine;
    prepareMono (engine, 48000.0, 2048, controls);
    const auto output = runMono (engine, std::vector<float> (48000, 0.0f), controls);
    for (float v : output)
        ASSERT_EQ (v, 0.0f);
}

TEST (MonoEngine, ANaNSampleBecomesOneZeroNSamplesLaterAndNothingElse)
{
    BlockControls controls;
    controls.depth = 0.0f;
    ResoEngine engine;
    prepareMono (engine, 48000.0, 2048, controls);

    auto input = testSignal (20000, 48000.0, 10);
    input[5000] = std::numeric_limits<float>::quiet_NaN();
    const auto output = runMono (engine, input, controls);

    input[5000] = 0.0f;
    EXPECT_NEAR (output[5000 + 2048], 0.0f, 1e-5f);
    EXPECT_LT (worstDelayedError (input, output, 2048), 1e-5f);
}

TEST (MonoEngine, BypassFadesToTheDelayedDryWithoutAJump)
{
    BlockControls controls;
    controls.depth = 1.0f;
    ResoEngine engine;
    prepareMono (engine, 48000.0, 2048, controls);

    const auto input = testSignal (96000, 48000.0, 11);
    auto output = input;
    const int switchAt = 48000;
    engine.loadBlockControls (controls);
    engine.process (output.data(), nullptr, switchAt);

    controls.bypassed = true;
    for (int start = switchAt; start < (int) output.size(); start += 512)
    {
        engine.loadBlockControls (controls);
        engine.process (output.data() + start, nullptr, std::min (512, (int) output.size() - start));
    }

    // 8 ms time constant: within 1e-4 of the dry signal after 80 ms, and each step is a smooth blend
    const int settled = switchAt + (int) (0.08 * 48000);
    for (int t = settled; t < (int) output.size(); ++t)
        ASSERT_NEAR (output[(size_t) t], input[(size_t) (t - 2048)], 1e-4f * 0.6f) << t;

    float largestJump = 0.0f, largestInputJump = 0.0f;
    for (int t = switchAt - 200; t < switchAt + 2000; ++t)
    {
        largestJump = std::max (largestJump, std::abs (output[(size_t) t] - output[(size_t) t - 1]));
        largestInputJump = std::max (largestInputJump, std::abs (input[(size_t) (t - 2048)] - input[(size_t) (t - 2049)]));
    }
    EXPECT_LT (largestJump, largestInputJump * 1.1f);
}

TEST (MonoEngine, TrimIsSmoothedWithItsTimeConstantAndSnapsExactly)
{
    BlockControls controls = nothingCut();
    controls.mix = 0.0f; // the exact delayed dry signal, so the gain itself shows
    ResoEngine engine;
    prepareMono (engine, 48000.0, 2048, controls);
    std::vector<float> ones (48000, 1.0f);

    // trim 0: the trim stage multiplies nothing
    auto out = runMono (engine, ones, controls);
    EXPECT_EQ (out.back(), 1.0f);

    controls.trimDb = 6.0f;
    out = runMono (engine, ones, controls, 1024);
    const float target = std::pow (10.0f, 6.0f / 20.0f);
    const int tau = (int) std::lround (0.008 * 48000); // 8 ms
    EXPECT_NEAR (out[(size_t) tau], 1.0f + (target - 1.0f) * (1.0f - std::exp (-1.0f)), 2e-3f);
    EXPECT_EQ (out.back(), target) << "arrives exactly";
}

// In single precision a one-pole step of 0.26 % stalls about 2e-5 short of unity; the smoothing must still
// arrive, or mix never reaches the pure wet path and delta never the pure removed signal.
class SmoothingArrives : public ::testing::TestWithParam<double>
{
};

TEST_P (SmoothingArrives, MixAndDeltaReachTheirTargetsExactly)
{
    const double sampleRate = GetParam();
    BlockControls controls = nothingCut();
    controls.mix = 0.5f;
    ResoEngine wet;
    prepareMono (wet, sampleRate, 2048, controls);
    auto input = testSignal (20000, sampleRate, 4);
    runMono (wet, input, controls);

    controls.mix = 1.0f; // from half to fully wet
    controls.delta = true;
    const auto out = runMono (wet, input, controls);

    // fully removed-only now: with nothing cut, exactly dry - wet of the resynthesis, i.e. (near) silence
    for (size_t t = out.size() - 1000; t < out.size(); ++t)
        ASSERT_LT (std::abs (out[t]), 1e-6f);
}

INSTANTIATE_TEST_SUITE_P (Rates, SmoothingArrives, ::testing::Values (44100.0, 96000.0, 192000.0));

TEST (MonoEngine, AZeroLengthCallOnlyTakesAPendingTrimSnap)
{
    BlockControls controls = nothingCut();
    controls.trimDb = -6.0f;
    ResoEngine engine;
    prepareMono (engine, 48000.0, 2048, controls);
    float nothing = 0.0f;
    engine.process (&nothing, nullptr, 0); // takes the snap: the first samples are already at -6 dB

    std::vector<float> ones (4096, 1.0f);
    engine.process (ones.data(), nullptr, (int) ones.size());
    EXPECT_EQ (ones.front(), 0.0f) << "still the delay";
    EXPECT_NEAR (ones.back(), std::pow (10.0f, -6.0f / 20.0f), 1e-6f);
}

TEST (MonoEngine, OneChannelEngineIgnoresTheRightPointer)
{
    BlockControls controls = nothingCut();
    ResoEngine engine;
    prepareMono (engine, 48000.0, 1024, controls);
    auto left = testSignal (8000, 48000.0, 12);
    auto right = left;
    const auto untouched = right;
    engine.loadBlockControls (controls);
    engine.process (left.data(), right.data(), 8000);
    EXPECT_EQ (right, untouched);
    EXPECT_NE (left, untouched);
}

// Outside the focus range the cut fades out within a third of an octave.
TEST (MonoEngine, FocusRangeLimitsTheAppliedCurve)
{
    BlockControls controls;
    controls.depth = 1.0f;
    controls.hardMode = true;
    controls.focusLow = 1000.0f;
    controls.focusHigh = 4000.0f;

    ResoEngine engine;
    prepareMono (engine, 48000.0, 2048, controls);

    std::mt19937 rng (3);
    std::uniform_real_distribution<float> dist (-0.05f, 0.05f);
    std::vector<float> x (48000 * 2);
    for (size_t t = 0; t < x.size(); ++t)
    {
        x[t] = dist (rng);
        for (double hz : { 600.0, 750.0, 1500.0, 2500.0, 3500.0, 5500.0, 7000.0, 9000.0 })
            x[t] += 0.1f * (float) std::sin (2.0 * pi * hz * (double) t / 48000.0);
    }
    runMono (engine, x, controls);

    const float* curve = engine.channel (0).appliedCurve();
    const double binHz = 48000.0 / 2048.0;
    float inside = 0.0f;
    for (int k = 0; k < 1025; ++k)
    {
        const double f = k * binHz;
        if (f < 790.0 || f > 5050.0)
            ASSERT_EQ (curve[k], 0.0f) << f << " Hz";
        else if (f > 1000.0 && f < 4000.0)
            inside = std::min (inside, curve[k]);
    }
    EXPECT_LT (inside, -3.0f) << "the resonances inside the range are cut";
}

} // namespace
