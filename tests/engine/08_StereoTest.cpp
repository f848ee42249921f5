#include "engine/ResoEngine.h"
#include "support/AllocationCounter.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace
{

using reso::BlockControls;
using reso::EngineConfig;
using reso::ResoEngine;
using namespace reso::test;

constexpr double rate = 48000.0;

struct Stereo
{
    std::vector<float> left, right;
};

BlockControls controlsFor (int mode, float depth)
{
    BlockControls c;
    c.stereoMode = mode;
    c.depth = depth;
    return c;
}

void prepareStereo (ResoEngine& engine, const BlockControls& controls, int fftSize = 2048)
{
    EngineConfig config;
    config.fftSize = fftSize;
    engine.loadBlockControls (controls);
    engine.prepare (rate, config, 2);
}

// Runs a stereo signal through the engine in blocks; changeAt / after switch the controls mid-way.
Stereo run (ResoEngine& engine, Stereo s, const BlockControls& controls, int changeAt = -1,
            const BlockControls* after = nullptr, int block = 700)
{
    for (int start = 0; start < (int) s.left.size(); start += block)
    {
        const int n = std::min (block, (int) s.left.size() - start);
        engine.loadBlockControls (after != nullptr && changeAt >= 0 && start >= changeAt ? *after : controls);
        engine.process (s.left.data() + start, s.right.data() + start, n);
    }
    return s;
}

float worstDelayedError (const std::vector<float>& in, const std::vector<float>& out, int delay)
{
    float worst = 0.0f;
    for (size_t t = (size_t) delay; t < out.size(); ++t)
        worst = std::max (worst, std::abs (out[t] - in[t - (size_t) delay]));
    return worst;
}

Stereo correlatedNoise (int length)
{
    auto l = pinkNoise (length, 31, 0.1f);
    auto r = pinkNoise (length, 32, 0.1f);
    for (size_t i = 0; i < r.size(); ++i)
        r[i] = 0.6f * l[i] + 0.8f * r[i];
    return { l, r };
}

double resonanceChangeDb (const std::vector<float>& in, const std::vector<float>& out)
{
    const std::vector<float> aligned (out.begin() + 2048, out.end());
    const auto a = powerSpectrum (in, (int) rate * 2, (int) aligned.size());
    const auto b = powerSpectrum (aligned, (int) rate * 2, (int) aligned.size());
    return bandLevelDb (b, rate, 2420.0, 2580.0) - bandLevelDb (a, rate, 2420.0, 2580.0);
}

// With nothing to cut every mode is a pure delay: the matrix and its inverse cancel.
class StereoTransparency : public ::testing::TestWithParam<int>
{
};

TEST_P (StereoTransparency, EveryModeIsTheDelayedInput)
{
    ResoEngine engine;
    prepareStereo (engine, controlsFor (GetParam(), 0.0f));
    const auto in = correlatedNoise (30000);
    const auto out = run (engine, in, controlsFor (GetParam(), 0.0f));
    EXPECT_LT (worstDelayedError (in.left, out.left, 2048), 1e-5f);
    EXPECT_LT (worstDelayedError (in.right, out.right, 2048), 1e-5f);
}

INSTANTIATE_TEST_SUITE_P (Modes, StereoTransparency, ::testing::Values (0, 1, 2));

TEST (MidSide, IdenticalChannelsLeaveTheSideSilentAndTreatBothSidesAlike)
{
    ResoEngine engine;
    const auto controls = controlsFor (2, 0.8f);
    prepareStereo (engine, controls);

    auto mono = pinkNoise ((int) rate * 3, 5, 0.1f);
    addResonance (mono, rate, 2500.0, 12.0, 8.0);
    const auto out = run (engine, { mono, mono }, controls);

    for (size_t t = 0; t < out.left.size(); ++t)
        ASSERT_NEAR (out.left[t], out.right[t], 1e-6f) << t;
    EXPECT_EQ (engine.channel (1).peaksFound(), 0) << "nothing stands out in a silent side channel";
    EXPECT_LT (resonanceChangeDb (mono, out.left), -3.0) << "the mid channel is cut";
}

TEST (Link, AResonanceInOneChannelIsCutOnBothAlike)
{
    auto base = pinkNoise ((int) rate * 4, 6, 0.1f);
    auto left = base;
    addResonance (left, rate, 2500.0, 12.0, 8.0);
    const Stereo in { left, base };

    for (int mode : { 0, 1 })
    {
        ResoEngine engine;
        const auto controls = controlsFor (mode, 0.6f);
        prepareStereo (engine, controls);
        const auto out = run (engine, in, controls);

        const double leftCut = resonanceChangeDb (in.left, out.left);
        const double rightCut = resonanceChangeDb (in.right, out.right);
        EXPECT_LT (leftCut, -3.0) << "mode " << mode;
        if (mode == 1)
        {
            EXPECT_LT (rightCut, -1.5) << "the right channel gets the same gains";
            const float* c0 = engine.channel (0).appliedCurve();
            const float* c1 = engine.channel (1).appliedCurve();
            for (int k = 0; k < 1025; ++k)
                ASSERT_EQ (c0[k], c1[k]) << "bin " << k;
        }
        else
        {
            EXPECT_GT (rightCut, -0.5) << "independent channels: the clean right side is left alone";
        }
    }
}

// A silent left channel must not close the level gate of the linked analysis: a resonance on the right alone
// is cut about as much as in independent mode, and both outputs get the same gains.
TEST (Link, ALoudRightChannelOpensTheLevelGate)
{
    auto right = pinkNoise ((int) rate * 4, 7, 0.1f);
    addResonance (right, rate, 2500.0, 12.0, 8.0);
    const Stereo in { std::vector<float> (right.size(), 0.0f), right };

    double cut[2] = {};
    for (int mode : { 0, 1 })
    {
        ResoEngine engine;
        const auto controls = controlsFor (mode, 0.6f);
        prepareStereo (engine, controls);
        const auto out = run (engine, in, controls);
        cut[mode] = resonanceChangeDb (in.right, out.right);
        if (mode == 1)
        {
            const float* c0 = engine.channel (0).appliedCurve();
            const float* c1 = engine.channel (1).appliedCurve();
            for (int k = 0; k < 1025; ++k)
                ASSERT_EQ (c0[k], c1[k]) << "bin " << k;
        }
    }
    EXPECT_LT (cut[0], -3.0);
    EXPECT_NEAR (cut[1], cut[0], 1.5) << "independent " << cut[0] << " dB, linked " << cut[1] << " dB";
}

// The matrix turns gradually and every output sample is un-rotated with the angle its own input was rotated
// with: with nothing cut the switch is invisible, and with cutting it makes no jump.
TEST (ModeSwitch, LeftRightToMidSideIsSeamless)
{
    const auto in = correlatedNoise ((int) rate * 2);
    const int switchAt = 30000;

    {
        ResoEngine engine;
        const auto before = controlsFor (0, 0.0f), after = controlsFor (2, 0.0f);
        prepareStereo (engine, before);
        const auto out = run (engine, in, before, switchAt, &after);
        EXPECT_LT (worstDelayedError (in.left, out.left, 2048), 1e-5f);
        EXPECT_LT (worstDelayedError (in.right, out.right, 2048), 1e-5f);
    }

    auto jumps = [&] (bool doSwitch) {
        ResoEngine engine;
        const auto before = controlsFor (0, 0.8f), after = controlsFor (2, 0.8f);
        prepareStereo (engine, before);
        const auto out = run (engine, in, before, doSwitch ? switchAt : -1, &after);
        float largest = 0.0f;
        for (size_t t = (size_t) switchAt; t < (size_t) switchAt + 4096 + 2048 + 4000; ++t)
            largest = std::max ({ largest, std::abs (out.left[t] - out.left[t - 1]), std::abs (out.right[t] - out.right[t - 1]) });
        return largest;
    };
    EXPECT_LT (jumps (true), jumps (false) * 1.2f);
}

// A bad sample in one channel is cleaned before the matrix: the other channel keeps its sample.
TEST (MidSide, ABadSampleInOneChannelLeavesTheOtherIntact)
{
    const auto controls = controlsFor (2, 0.5f);
    auto in = correlatedNoise (20000);
    auto dirty = in;
    dirty.left[7000] = std::numeric_limits<float>::quiet_NaN();
    dirty.left[7001] = std::numeric_limits<float>::infinity();
    dirty.left[7002] = 2.0e9f;
    in.left[7000] = in.left[7001] = in.left[7002] = 0.0f;

    ResoEngine a, b;
    prepareStereo (a, controls);
    prepareStereo (b, controls);
    const auto outDirty = run (a, dirty, controls);
    const auto outClean = run (b, in, controls);
    EXPECT_EQ (outDirty.left, outClean.left);
    EXPECT_EQ (outDirty.right, outClean.right);
}

TEST (Stereo, ANullRightPointerTakesTheMonoPath)
{
    ResoEngine engine;
    const auto controls = controlsFor (2, 0.0f);
    prepareStereo (engine, controls);
    auto x = pinkNoise (10000, 9, 0.1f);
    auto out = x;
    for (int start = 0; start < 10000; start += 1000)
    {
        engine.loadBlockControls (controls);
        engine.process (out.data() + start, nullptr, 1000);
    }
    EXPECT_LT (worstDelayedError (x, out, 2048), 1e-5f);
}

TEST (Stereo, NoAllocationInAnyModeOrSwitch)
{
    ResoEngine engine;
    prepareStereo (engine, controlsFor (0, 0.5f));
    auto in = correlatedNoise ((int) rate * 2);
    std::size_t allocations = 0;
    int step = 0;
    for (int start = 0; start + 1024 <= (int) in.left.size(); start += 1024, ++step)
    {
        const auto controls = controlsFor ((step / 10) % 3, 0.5f);
        AllocationScope scope;
        engine.loadBlockControls (controls);
        engine.process (in.left.data() + start, in.right.data() + start, 1024);
        allocations += scope.count();
    }
    EXPECT_EQ (allocations, 0u);
}

} // namespace
