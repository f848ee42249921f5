#include "RenderToolHarness.h"

#include <algorithm>
#include <cmath>

namespace
{

using namespace reso::test;

struct AlignmentCase
{
    const char* name;
    int channels;
    double sampleRate;
    const char* quality;
    int length;
};

void PrintTo (const AlignmentCase& c, std::ostream* os) { *os << c.name; }

class ClickAlignment : public RenderToolTest, public ::testing::WithParamInterface<AlignmentCase>
{
};

int loudestIn (const std::vector<float>& x, int from, int to)
{
    from = std::max (0, from);
    to = std::min ((int) x.size(), to);
    int best = from;
    for (int i = from; i < to; ++i)
        if (std::abs (x[(size_t) i]) > std::abs (x[(size_t) best]))
            best = i;
    return best;
}

// Clicks near the start (inside the first latency), in the middle and in the last host block: each comes out
// at the sample it went in, and the file keeps its length, rate and channel count.
TEST_P (ClickAlignment, AClickComesOutAtItsOwnSample)
{
    const auto& c = GetParam();
    const int early = 100, late = c.length - 40, middle = c.length / 2 + 7;

    Channels input ((size_t) c.channels, std::vector<float> ((size_t) c.length, 0.0f));
    input[0][(size_t) early] = 0.5f;
    input[0][(size_t) late] = -0.5f;
    input.back()[(size_t) middle] = 0.5f;
    writeAudio (file ("in.wav"), input, c.sampleRate, 24);

    const auto result = run ({ "in.wav", "out.wav", "--set", juce::String ("quality=") + c.quality, "-q" });
    ASSERT_EQ (result.exitCode, 0) << result.err;
    EXPECT_TRUE (result.out.isEmpty() && result.err.isEmpty()) << "--quiet prints nothing";

    const auto output = readAudio (file ("out.wav"));
    ASSERT_EQ ((int) output.samples.size(), c.channels);
    ASSERT_EQ ((int) output.samples[0].size(), c.length);
    EXPECT_EQ (output.sampleRate, c.sampleRate);

    EXPECT_EQ (loudestIn (output.samples[0], 0, c.length / 4), early);
    EXPECT_EQ (loudestIn (output.samples[0], c.length * 3 / 4, c.length), late);
    EXPECT_EQ (loudestIn (output.samples.back(), c.length / 4, c.length * 3 / 4), middle);
    EXPECT_NEAR (output.samples[0][(size_t) late], -0.5f, 0.1f);
}

INSTANTIATE_TEST_SUITE_P (RatesQualitiesAndLayouts, ClickAlignment,
    ::testing::Values (AlignmentCase{ "MonoNormal48k", 1, 48000.0, "NORMAL", 48000 + 123 },
        AlignmentCase{ "StereoHigh44k", 2, 44100.0, "HIGH", 30000 },
        AlignmentCase{ "MonoLowLatency22k", 1, 22050.0, "LOW LAT", 10001 },
        AlignmentCase{ "StereoNormal192k", 2, 192000.0, "NORMAL", 50000 }),
    [] (const auto& test) { return std::string (test.param.name); });

// At depth 0 the processor is transparent, so the aligned output is the input itself.
TEST_F (RenderToolTest, DepthZeroGivesTheInputBack)
{
    const Channels input{ noise (40000, 11), noise (40000, 12) };
    writeAudio (file ("in.wav"), input, 48000.0, 32);

    const auto result = run ({ "in.wav", "out.wav", "--set", "depth=0" });
    ASSERT_EQ (result.exitCode, 0) << result.err;

    const auto output = readAudio (file ("out.wav"));
    ASSERT_EQ (output.samples.size(), 2u);
    EXPECT_TRUE (output.isFloat && output.bits == 32) << "32-bit float in, 32-bit float out";
    for (size_t c = 0; c < 2; ++c)
    {
        ASSERT_EQ (output.samples[c].size(), input[c].size());
        float worst = 0.0f;
        for (size_t i = 0; i < input[c].size(); ++i)
            worst = std::max (worst, std::abs (output.samples[c][i] - input[c][i]));
        EXPECT_LE (worst, 1.0e-5f) << "channel " << c;
    }
}

struct EncodingCase
{
    const char* name;
    const char* input;
    int inputBits;
    const char* bitsOption; // nullptr: as the input
    const char* output;
    int expectedBits;
    bool expectedFloat;
};

void PrintTo (const EncodingCase& c, std::ostream* os) { *os << c.name; }

class OutputEncoding : public RenderToolTest, public ::testing::WithParamInterface<EncodingCase>
{
};

// The output's format follows its extension, its depth the input or --bits; the samples survive the trip.
TEST_P (OutputEncoding, FollowsTheExtensionAndTheBitsOption)
{
    const auto& c = GetParam();
    if ((juce::String (c.input).endsWith (".flac") || juce::String (c.output).endsWith (".flac"))
        && ! reso::render::flacAvailable())
        GTEST_SKIP() << "built without libFLAC";

    const Channels input{ noise (12000, 21), noise (12000, 22) };
    writeAudio (file (c.input), input, 48000.0, c.inputBits);

    juce::StringArray arguments{ c.input, c.output, "--set", "depth=0" };
    if (c.bitsOption != nullptr)
        arguments.addArray (juce::StringArray{ "--bits", c.bitsOption });
    const auto result = run (arguments);
    ASSERT_EQ (result.exitCode, 0) << result.err;

    const auto output = readAudio (file (c.output));
    ASSERT_EQ (output.samples.size(), 2u);
    EXPECT_EQ (output.bits, c.expectedBits);
    EXPECT_EQ (output.isFloat, c.expectedFloat);
    EXPECT_NEAR (output.samples[1][6000], input[1][6000], 2.0e-4f);
}

INSTANTIATE_TEST_SUITE_P (Formats, OutputEncoding,
    ::testing::Values (EncodingCase{ "WavAsInput", "in.wav", 16, nullptr, "out.wav", 16, false },
        EncodingCase{ "WavTo24", "in.wav", 16, "24", "out.wav", 24, false },
        EncodingCase{ "WavToFloat", "in.wav", 24, "32f", "out.wav", 32, true },
        EncodingCase{ "FloatToAiff", "in.wav", 32, nullptr, "out.aiff", 24, false },
        EncodingCase{ "AiffToWav", "in.aif", 24, nullptr, "out.wav", 24, false },
        EncodingCase{ "FlacRoundTrip", "in.flac", 24, nullptr, "out.flac", 24, false }),
    [] (const auto& test) { return std::string (test.param.name); });

} // namespace
