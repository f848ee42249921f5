#include "engine/ResoEngine.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{

using reso::BlockControls;
using reso::EngineConfig;
using reso::ResoChannel;
using reso::ResoEngine;
using namespace reso::test;

constexpr double rate = 48000.0;
constexpr double pi = 3.14159265358979323846;

const ResoChannel& runMono (ResoEngine& engine, std::vector<float> x, const BlockControls& controls,
                            const EngineConfig& config)
{
    engine.loadBlockControls (controls);
    engine.prepare (rate, config, 1);
    for (size_t start = 0; start < x.size(); start += 512)
    {
        engine.loadBlockControls (controls);
        engine.process (x.data() + start, nullptr, (int) std::min<size_t> (512, x.size() - start));
    }
    return engine.channel (0);
}

// A steady bass note: 55 Hz with seven overtones over a quiet noise floor.
std::vector<float> bassTone()
{
    auto x = pinkNoise ((int) rate * 5, 3, 0.01f);
    for (size_t t = 0; t < x.size(); ++t)
        for (int h = 1; h <= 8; ++h)
            x[t] += 0.3f / (float) h * (float) std::sin (2.0 * pi * 55.0 * h * (double) t / rate);
    return x;
}

// Peaks of the list that sit within 3 Hz of a partial of 55 Hz between 100 and 450 Hz.
std::vector<reso::PeakRecord> peaksOnPartials (const ResoChannel& ch)
{
    std::vector<reso::PeakRecord> found;
    for (int i = 0; i < ch.peaksFound(); ++i)
    {
        const auto& p = ch.peakList()[i];
        const double h = std::round (p.freqHz / 55.0);
        if (h >= 2 && h <= 8 && std::abs (p.freqHz - 55.0 * h) < 3.0)
            found.push_back (p);
    }
    return found;
}

BlockControls deep()
{
    BlockControls c;
    c.depth = 1.0f;
    return c;
}

TEST (PitchGuardInChannel, HarmonicBassPartialsAreFoundFinelyButProtectedFromNotches)
{
    EngineConfig config; // NORMAL
    ResoEngine engine;
    const auto& ch = runMono (engine, bassTone(), deep(), config);
    ASSERT_TRUE (ch.pitchAnalyser().enabled());

    const auto partials = peaksOnPartials (ch);
    EXPECT_GE (partials.size(), 4u) << "the guard resolves the partials the main transform cannot";
    for (const auto& p : partials)
    {
        EXPECT_TRUE (p.isProtected) << p.freqHz << " Hz";
        EXPECT_EQ (ch.notches().raw()[p.bin], 0.0f) << p.freqHz << " Hz";
    }

    // the same tone without the guard's harmonic tracking: its partials are narrow steady peaks and get notched
    config.pitchHarmonicsOn = 0;
    ResoEngine unprotected;
    const auto& bare = runMono (unprotected, bassTone(), deep(), config);
    int notched = 0;
    for (const auto& p : peaksOnPartials (bare))
        if (! p.isProtected && bare.notches().raw()[p.bin] < -1.0f)
            ++notched;
    EXPECT_GE (notched, 2);
}

TEST (PitchGuardInChannel, LowLatencyHasNoGuardAndNoImports)
{
    EngineConfig config;
    config.fftSize = 1024;
    ResoEngine engine;
    const auto& ch = runMono (engine, bassTone(), deep(), config);
    EXPECT_FALSE (ch.pitchAnalyser().enabled());
    EXPECT_FALSE (ch.pitchAnalyser().holdNear (110.0f, 5.0f));
    EXPECT_TRUE (peaksOnPartials (ch).empty()) << "46.9 Hz bins cannot place a partial within 3 Hz";
}

// A single narrow steady resonance at 120 Hz: the guard reports it with a fine width and the channel takes it
// into its peak list, but only while that width is at most one main bin.
TEST (PitchGuardInChannel, ANarrowLowResonanceIsImportedOnlyWhenNarrowEnough)
{
    auto x = pinkNoise ((int) rate * 5, 8, 0.05f);
    addResonance (x, rate, 120.0, 18.0, 40.0);

    auto importedNear120 = [] (const ResoChannel& ch) {
        for (int i = 0; i < ch.peaksFound(); ++i)
            if (std::abs (ch.peakList()[i].freqHz - 120.0f) < 1.0f)
                return true;
        return false;
    };

    EngineConfig config;
    ResoEngine engine;
    const auto& ch = runMono (engine, x, deep(), config);

    const auto& guard = ch.pitchAnalyser();
    float width = -1.0f;
    for (int i = 0; i < guard.peakCount(); ++i)
        if (std::abs (guard.peaks()[i].freqHz - 120.0f) < 1.0f)
            width = guard.peaks()[i].widthHz;
    ASSERT_GT (width, 0.0f) << "reported by the guard";
    EXPECT_LE (width, rate / 2048.0);
    EXPECT_TRUE (importedNear120 (ch));

    config.importMaxWidthBins = 0.5f * width / (float) (rate / 2048.0); // now it is too wide to import
    ResoEngine strict;
    EXPECT_FALSE (importedNear120 (runMono (strict, x, deep(), config)));
}

} // namespace
