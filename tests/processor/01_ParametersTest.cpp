#include "processor/Parameters.h"
#include "processor/ResoProcessor.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

using reso::ResoProcessor;

struct Expected
{
    const char* id;
    const char* name;
    float defaultValue;
    int version;
};

// the host order: the main controls, then each band's four parameters, then low protect
const Expected expectedParameters[] = {
    { "depth", "Depth", 0.31f, 1 },           { "sharpness", "Sharpness", 0.5f, 1 },
    { "selectivity", "Selectivity", 0.5f, 1 }, { "focus_low", "Focus Low", 20.0f, 1 },
    { "focus_high", "Focus High", 20000.0f, 1 }, { "mix", "Mix", 1.0f, 1 },
    { "delta", "Delta", 0.0f, 1 },            { "bypass", "Bypass", 0.0f, 1 },
    { "attack", "Attack", 40.0f, 2 },         { "release", "Release", 220.0f, 2 },
    { "mode", "Mode", 0.0f, 2 },              { "stereo", "Stereo", 0.0f, 2 },
    { "quality", "Quality", 1.0f, 2 },        { "trim", "Trim", 0.0f, 2 },
    { "b1_type", "Band 1 Type", 1.0f, 2 },    { "b1_freq", "Band 1 Freq", 63.0f, 2 },
    { "b1_gain", "Band 1 Gain", 0.0f, 2 },    { "b1_q", "Band 1 Q", 0.71f, 2 },
    { "b2_type", "Band 2 Type", 0.0f, 2 },    { "b2_freq", "Band 2 Freq", 250.0f, 2 },
    { "b2_gain", "Band 2 Gain", 0.0f, 2 },    { "b2_q", "Band 2 Q", 1.0f, 2 },
    { "b3_type", "Band 3 Type", 0.0f, 2 },    { "b3_freq", "Band 3 Freq", 1000.0f, 2 },
    { "b3_gain", "Band 3 Gain", 0.0f, 2 },    { "b3_q", "Band 3 Q", 1.0f, 2 },
    { "b4_type", "Band 4 Type", 0.0f, 2 },    { "b4_freq", "Band 4 Freq", 4000.0f, 2 },
    { "b4_gain", "Band 4 Gain", 0.0f, 2 },    { "b4_q", "Band 4 Q", 1.0f, 2 },
    { "b5_type", "Band 5 Type", 2.0f, 2 },    { "b5_freq", "Band 5 Freq", 11000.0f, 2 },
    { "b5_gain", "Band 5 Gain", 0.0f, 2 },    { "b5_q", "Band 5 Q", 0.71f, 2 },
    { "low_protect", "Low Protect", 250.0f, 3 },
};

TEST (Parameters, AllThirtyFiveInDeclarationOrderWithNamesDefaultsAndVersions)
{
    ResoProcessor processor;
    const auto& params = processor.getParameters().processor.getParameters();
    ASSERT_EQ (params.size(), 35);
    ASSERT_EQ (std::size (expectedParameters), 35u);

    for (int i = 0; i < 35; ++i)
    {
        const auto& e = expectedParameters[i];
        auto* p = dynamic_cast<juce::RangedAudioParameter*> (params[i]);
        ASSERT_NE (p, nullptr);
        EXPECT_EQ (p->getParameterID(), e.id) << i;
        EXPECT_EQ (p->getName (100), e.name) << i;
        EXPECT_EQ (p->getVersionHint(), e.version) << e.id;
        const float tolerance = 1e-5f * std::max (1.0f, e.defaultValue);
        EXPECT_NEAR (p->convertFrom0to1 (p->getDefaultValue()), e.defaultValue, tolerance) << e.id;
        EXPECT_NEAR (processor.getParameters().getRawParameterValue (e.id)->load(), e.defaultValue, tolerance) << e.id;
        EXPECT_TRUE (p->getLabel().isEmpty()) << e.id;
    }
    EXPECT_EQ (reso::allParameterIds().size(), 35);
}

TEST (Parameters, SkewsPutTheCentreValueMidTravel)
{
    ResoProcessor processor;
    auto& tree = processor.getParameters();
    const std::pair<const char*, float> centres[] = { { "focus_low", 1000.0f }, { "focus_high", 1000.0f },
                                                      { "attack", 31.6f },      { "release", 200.0f },
                                                      { "b3_q", 1.5f },         { "b2_freq", 1000.0f },
                                                      { "low_protect", 100.0f }, { "trim", 0.0f } };
    for (auto [id, centre] : centres)
        EXPECT_NEAR (tree.getParameterRange (id).convertTo0to1 (centre), 0.5f, 1e-5f) << id;

    EXPECT_NEAR (tree.getParameterRange ("focus_low").skew, 0.22990f, 1e-5f);
    EXPECT_NEAR (tree.getParameterRange ("attack").skew, 0.34795f, 1e-5f);
    EXPECT_NEAR (tree.getParameterRange ("release").skew, 0.38685f, 1e-5f);
    EXPECT_NEAR (tree.getParameterRange ("b1_q").skew, 0.37288f, 1e-5f);
    EXPECT_NEAR (tree.getParameterRange ("low_protect").skew, 0.55329f, 1e-5f);
}

TEST (Parameters, ChoiceListsAndSwitches)
{
    ResoProcessor processor;
    auto& tree = processor.getParameters();
    auto choices = [&] (const char* id) { return dynamic_cast<juce::AudioParameterChoice*> (tree.getParameter (id))->choices; };
    EXPECT_EQ (choices ("mode"), juce::StringArray ({ "SOFT", "HARD" }));
    EXPECT_EQ (choices ("stereo"), juce::StringArray ({ "L/R", "LINK", "M/S" }));
    EXPECT_EQ (choices ("quality"), juce::StringArray ({ "LOW LAT", "NORMAL", "HIGH" }));
    for (int b = 1; b <= 5; ++b)
        EXPECT_EQ (choices (reso::ids::band (b, "type").toRawUTF8()), juce::StringArray ({ "BELL", "LOW SHELF", "HIGH SHELF" }));
    EXPECT_NE (dynamic_cast<juce::AudioParameterBool*> (tree.getParameter ("delta")), nullptr);
    EXPECT_NE (dynamic_cast<juce::AudioParameterBool*> (tree.getParameter ("bypass")), nullptr);
}

TEST (Parameters, PresetListAndEditTrackedSet)
{
    const juce::StringArray presetIds { "depth", "sharpness", "selectivity", "attack", "release", "mode", "mix",
                                        "focus_low", "focus_high", "b1_type", "b1_freq", "b1_gain", "b1_q",
                                        "b2_type", "b2_freq", "b2_gain", "b2_q", "b3_type", "b3_freq", "b3_gain",
                                        "b3_q", "b4_type", "b4_freq", "b4_gain", "b4_q", "b5_type", "b5_freq",
                                        "b5_gain", "b5_q", "low_protect" };
    EXPECT_EQ (reso::presetParameterIds(), presetIds);

    const auto& tracked = reso::editTrackedParameterIds();
    ASSERT_EQ (tracked.size(), 33);
    EXPECT_FALSE (tracked.contains ("delta"));
    EXPECT_FALSE (tracked.contains ("bypass"));
    int next = 0;
    for (const auto& e : expectedParameters)
    {
        if (juce::String (e.id) != "delta" && juce::String (e.id) != "bypass")
        {
            EXPECT_EQ (tracked[next++], e.id);
        }
    }
}

// Display strings, through the parameters themselves (what a host shows).
struct DisplayCase
{
    const char* id;
    float value;
    const char* text;
};

void PrintTo (const DisplayCase& c, std::ostream* os) { *os << c.id << " " << c.value << " -> \"" << c.text << "\""; }

class ParameterDisplay : public ::testing::TestWithParam<DisplayCase>
{
};

TEST_P (ParameterDisplay, ShowsTheValueAsHostsSeeIt)
{
    ResoProcessor processor;
    const auto c = GetParam();
    auto* p = processor.getParameters().getParameter (c.id);
    EXPECT_EQ (p->getText (p->convertTo0to1 (c.value), 1), c.text) << "the maximum length is ignored";
}

INSTANTIATE_TEST_SUITE_P (Texts, ParameterDisplay,
    ::testing::Values (DisplayCase { "depth", 0.31f, "31 %" }, DisplayCase { "mix", 1.0f, "100 %" },
                       DisplayCase { "selectivity", 0.125f, "12 %" }, // ties go to even
                       DisplayCase { "focus_low", 250.0f, "250 Hz" }, DisplayCase { "focus_low", 999.6f, "1000 Hz" },
                       DisplayCase { "focus_high", 1000.0f, "1.00 kHz" }, DisplayCase { "focus_high", 9999.0f, "10.00 kHz" },
                       DisplayCase { "b5_freq", 10000.0f, "10.0 kHz" }, DisplayCase { "b5_freq", 12000.0f, "12.0 kHz" },
                       DisplayCase { "attack", 5.0f, "5.0 ms" }, DisplayCase { "attack", 9.96f, "10.0 ms" },
                       DisplayCase { "attack", 10.0f, "10 ms" }, DisplayCase { "attack", 40.0f, "40 ms" },
                       DisplayCase { "attack", 31.6f, "31.6 ms" }, DisplayCase { "release", 123.4567f, "123.457 ms" },
                       DisplayCase { "trim", 3.0f, "+3.0 dB" }, DisplayCase { "trim", -2.5f, "-2.5 dB" },
                       DisplayCase { "trim", 0.0f, "0.0 dB" }, DisplayCase { "b2_gain", 0.04f, "0.0 dB" },
                       DisplayCase { "b2_gain", 0.05f, "+0.1 dB" }, DisplayCase { "b2_gain", -0.04f, "0.0 dB" },
                       DisplayCase { "b1_q", 0.71f, "0.71" }, DisplayCase { "low_protect", 40.0f, "Off" },
                       DisplayCase { "low_protect", 40.4f, "Off" }, DisplayCase { "low_protect", 41.0f, "41 Hz" },
                       DisplayCase { "low_protect", 250.0f, "250 Hz" }, DisplayCase { "mode", 1.0f, "HARD" },
                       DisplayCase { "stereo", 2.0f, "M/S" }, DisplayCase { "quality", 0.0f, "LOW LAT" },
                       DisplayCase { "b1_type", 1.0f, "LOW SHELF" }));

// Typed text, through the parameters (what a host or the typed entry does): the plain value after clamping.
struct EntryCase
{
    const char* id;
    const char* typed;
    float value;
};

void PrintTo (const EntryCase& c, std::ostream* os) { *os << c.id << " \"" << c.typed << "\" -> " << c.value; }

class ParameterEntry : public ::testing::TestWithParam<EntryCase>
{
};

TEST_P (ParameterEntry, ParsesTypedTextIntoTheRange)
{
    ResoProcessor processor;
    const auto c = GetParam();
    auto* p = processor.getParameters().getParameter (c.id);
    EXPECT_NEAR (p->convertFrom0to1 (p->getValueForText (c.typed)), c.value, 1e-3f * std::max (1.0f, std::abs (c.value)));
}

INSTANTIATE_TEST_SUITE_P (Texts, ParameterEntry,
    ::testing::Values (EntryCase { "focus_low", "2k", 2000.0f }, EntryCase { "focus_low", "1.5 kHz", 1500.0f },
                       EntryCase { "focus_high", "2.5 KHZ", 2500.0f }, EntryCase { "focus_low", "abc", 20.0f },
                       EntryCase { "low_protect", "off", 40.0f }, EntryCase { "low_protect", "  OFF ", 40.0f },
                       EntryCase { "low_protect", "Offset", 40.0f }, EntryCase { "low_protect", "300", 250.0f },
                       EntryCase { "low_protect", "120 Hz", 120.0f }, EntryCase { "depth", "150", 1.0f },
                       EntryCase { "depth", "-20", 0.2f }, EntryCase { "depth", "45%", 0.45f },
                       EntryCase { "depth", "", 0.0f }, EntryCase { "trim", "-3 dB", -3.0f },
                       EntryCase { "trim", "+20", 12.0f }, EntryCase { "attack", "80 ms", 80.0f },
                       EntryCase { "release", "5", 40.0f }, EntryCase { "b4_q", "2.5", 2.5f },
                       EntryCase { "b4_gain", "-6", -6.0f }, EntryCase { "mode", "HARD", 1.0f },
                       EntryCase { "stereo", "LINK", 1.0f }, EntryCase { "quality", "HIGH", 2.0f }));

} // namespace
