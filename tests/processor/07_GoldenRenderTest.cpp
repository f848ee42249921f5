#include "support/ProcessorHelpers.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

// A seeded signal rendered once and stored; every run renders it again and compares. A change in the sound,
// however it comes about, shows here. To accept an intended change, run the test with
// ORVEL_UPDATE_GOLDEN=1 and commit the new fixture.

namespace
{

using namespace reso::test;

constexpr double rate = 48000.0;

std::vector<float> goldenInput (unsigned seed)
{
    auto x = pinkNoise ((int) (rate * 1.5), seed, 0.08f);
    addResonance (x, rate, 180.0, 10.0, 10.0);
    addResonance (x, rate, 2500.0, 12.0, 8.0);
    addResonance (x, rate, 7200.0, 9.0, 12.0);
    for (size_t t = 0; t < x.size(); ++t)
        for (int h = 1; h <= 6; ++h)
            x[t] += 0.02f / (float) h * (float) std::sin (2.0 * 3.14159265358979 * 220.0 * h * (double) t / rate);
    return x;
}

struct GoldenCase
{
    const char* name;
    int channels;
    std::function<void (reso::ResoProcessor&)> setup;
};

void PrintTo (const GoldenCase& c, std::ostream* os) { *os << c.name; }

class GoldenRender : public ::testing::TestWithParam<GoldenCase>
{
};

TEST_P (GoldenRender, MatchesTheStoredRender)
{
    const auto& c = GetParam();
    auto processor = makePrepared (rate, c.channels);
    c.setup (*processor);

    std::vector<std::vector<float>> signal;
    for (int ch = 0; ch < c.channels; ++ch)
        signal.push_back (goldenInput (100u + (unsigned) ch));
    const auto out = render (*processor, signal, 700);

    std::vector<float> interleaved;
    for (size_t t = 0; t < out[0].size(); ++t)
        for (int ch = 0; ch < c.channels; ++ch)
            interleaved.push_back (out[(size_t) ch][t]);

    const juce::File fixture = juce::File (ORVEL_FIXTURES_DIR).getChildFile ("golden").getChildFile (juce::String (c.name) + ".f32");
    if (juce::SystemStats::getEnvironmentVariable ("ORVEL_UPDATE_GOLDEN", {}) == "1")
    {
        fixture.getParentDirectory().createDirectory();
        ASSERT_TRUE (fixture.replaceWithData (interleaved.data(), interleaved.size() * sizeof (float)));
        GTEST_SKIP() << "fixture written: " << fixture.getFullPathName();
    }

    juce::MemoryBlock stored;
    ASSERT_TRUE (fixture.loadFileAsData (stored)) << "missing fixture " << fixture.getFullPathName();
    ASSERT_EQ (stored.getSize(), interleaved.size() * sizeof (float));
    const auto* reference = static_cast<const float*> (stored.getData());

    double errorEnergy = 0.0, referenceEnergy = 0.0;
    float worst = 0.0f;
    for (size_t i = 0; i < interleaved.size(); ++i)
    {
        const double e = (double) interleaved[i] - reference[i];
        errorEnergy += e * e;
        referenceEnergy += (double) reference[i] * reference[i];
        worst = std::max (worst, (float) std::abs (e));
    }
    // stated tolerance: no sample differs by more than 1e-4 (-80 dBFS), and the difference as a whole stays
    // 90 dB below the render
    EXPECT_LT (worst, 1e-4f);
    EXPECT_LT (10.0 * std::log10 (errorEnergy / referenceEnergy + 1e-30), -90.0);
}

INSTANTIATE_TEST_SUITE_P (
    Renders, GoldenRender,
    ::testing::Values (GoldenCase { "mono-normal-default", 1, [] (reso::ResoProcessor&) {} },
                       GoldenCase { "mono-low-latency-hard-deep", 1,
                                    [] (reso::ResoProcessor& p) {
                                        setPlain (p, "quality", 0.0f);
                                        setPlain (p, "mode", 1.0f);
                                        setPlain (p, "depth", 0.8f);
                                        setPlain (p, "sharpness", 0.8f);
                                        setPlain (p, "b4_gain", 6.0f);
                                        p.prepareToPlay (rate, 700);
                                    } },
                       GoldenCase { "mono-high-focus-lowprotect-off", 1,
                                    [] (reso::ResoProcessor& p) {
                                        setPlain (p, "quality", 2.0f);
                                        setPlain (p, "focus_low", 150.0f);
                                        setPlain (p, "focus_high", 9000.0f);
                                        setPlain (p, "low_protect", 40.0f);
                                        setPlain (p, "attack", 10.0f);
                                        setPlain (p, "release", 500.0f);
                                        p.prepareToPlay (rate, 700);
                                    } }),
    [] (const ::testing::TestParamInfo<GoldenCase>& param) {
        std::string n = param.param.name;
        for (auto& ch : n)
            if (ch == '-')
                ch = '_';
        return n;
    });

} // namespace
