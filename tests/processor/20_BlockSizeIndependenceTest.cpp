#include "support/ProcessorHelpers.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

// The host's block size never changes the sound: a stereo programme rendered in host blocks of random sizes
// (1 to 8192 samples, seeded) is bit-identical to the same render in fixed 512-sample blocks, with the same
// parameter changes at the same sample positions. The changes fall on multiples of 512; the random render
// cuts its block there, so in both renders every change lands at the start of a block.
// "quality" is left alone: its switch is counted in whole chunks by design, so its crossfade starts at a
// chunk boundary that depends on the blocks.

namespace
{

using namespace reso::test;

constexpr double rate = 48000.0;
constexpr int length = 48000 * 4;

struct Change
{
    int position;
    juce::String id;
    float normalised;
};

struct AutomationCase
{
    const char* name;
    std::vector<const char*> ids; // parameters automated
    unsigned seed;
};

void PrintTo (const AutomationCase& c, std::ostream* os) { *os << c.name; }

std::vector<std::vector<float>> programme()
{
    auto left = pinkNoise (length, 31, 0.1f);
    auto right = pinkNoise (length, 32, 0.1f);
    for (size_t t = 0; t < right.size(); ++t)
        right[t] = 0.5f * right[t] + 0.5f * left[t];
    addResonance (left, rate, 2500.0, 12.0, 8.0);
    addResonance (right, rate, 5200.0, 10.0, 10.0);
    addResonance (left, rate, 160.0, 9.0, 10.0);
    return { left, right };
}

// A change every 4 to 40 blocks of 512 samples, each to one of the case's parameters at a random value.
std::vector<Change> schedule (const AutomationCase& c)
{
    std::mt19937 rng (c.seed);
    std::uniform_int_distribution<int> gap (4, 40);
    std::uniform_int_distribution<size_t> which (0, c.ids.size() - 1);
    std::uniform_real_distribution<float> value (0.0f, 1.0f);
    std::vector<Change> changes;
    for (int position = 512 * gap (rng); position < length; position += 512 * gap (rng))
        changes.push_back ({ position, c.ids[which (rng)], value (rng) });
    return changes;
}

std::vector<std::vector<float>> renderWith (const std::vector<Change>& changes, const std::function<int()>& nextBlock)
{
    auto processor = makePrepared (rate, 2, 8192);
    auto signal = programme();
    juce::MidiBuffer midi;
    size_t next = 0;
    for (int position = 0; position < length;)
    {
        for (; next < changes.size() && changes[next].position == position; ++next)
            processor->getParameters().getParameter (changes[next].id)->setValueNotifyingHost (changes[next].normalised);

        int n = std::min (nextBlock(), length - position);
        if (next < changes.size())
            n = std::min (n, changes[next].position - position);

        float* channels[] = { signal[0].data() + position, signal[1].data() + position };
        juce::AudioBuffer<float> buffer (channels, 2, n);
        processor->processBlock (buffer, midi);
        position += n;
    }
    return signal;
}

class BlockSizeIndependence : public ::testing::TestWithParam<AutomationCase>
{
};

TEST_P (BlockSizeIndependence, RandomBlocksRenderBitIdenticallyToFixedBlocks)
{
    const auto changes = schedule (GetParam());
    ASSERT_GT (changes.size(), 10u);

    std::mt19937 rng (GetParam().seed + 1000);
    std::uniform_int_distribution<int> size (1, 8192);
    const auto random = renderWith (changes, [&] { return size (rng); });
    const auto fixed = renderWith (changes, [] { return 512; });

    for (int c = 0; c < 2; ++c)
    {
        const auto& a = random[(size_t) c];
        const auto& b = fixed[(size_t) c];
        if (std::memcmp (a.data(), b.data(), a.size() * sizeof (float)) == 0)
            continue;
        size_t first = 0;
        while (std::memcmp (&a[first], &b[first], sizeof (float)) == 0)
            ++first;
        FAIL() << "channel " << c << " differs first at sample " << first << ": " << a[first] << " vs " << b[first];
    }
}

INSTANTIATE_TEST_SUITE_P (
    Automation, BlockSizeIndependence,
    ::testing::Values (
        AutomationCase { "analysis", { "depth", "sharpness", "selectivity", "attack", "release", "mode", "low_protect",
                                       "focus_low", "focus_high", "b1_gain", "b2_freq", "b3_gain", "b3_q", "b4_type", "b5_gain" },
                         1 },
        AutomationCase { "output_stage", { "mix", "delta", "bypass", "trim", "depth" }, 2 },
        AutomationCase { "stereo_modes", { "stereo", "depth" }, 3 }),
    [] (const ::testing::TestParamInfo<AutomationCase>& param) { return std::string (param.param.name); });

} // namespace
