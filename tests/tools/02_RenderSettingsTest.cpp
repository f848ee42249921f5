#include "RenderToolHarness.h"

#include "presets/PresetFile.h"
#include "processor/ResoProcessor.h"

#include <cmath>

namespace
{

using namespace reso::test;

// The plain value the tool reports for a parameter in a dry run ("    id = TEXT (PLAIN)"); NaN when absent.
double reportedPlain (const juce::String& output, const juce::String& id)
{
    for (const auto& line : juce::StringArray::fromLines (output))
        if (line.trim().startsWith (id + " = "))
            return line.fromLastOccurrenceOf ("(", false, false)
                .upToFirstOccurrenceOf (")", false, false)
                .getDoubleValue();
    return std::nan ("");
}

class SettingsRun : public RenderToolTest
{
protected:
    void SetUp() override
    {
        RenderToolTest::SetUp();
        writeAudio (file ("in.wav"), { noise (4800, 1) }, 48000.0, 24);
    }

    ToolRun dryRun (const juce::StringArray& settings)
    {
        juce::StringArray arguments{ "in.wav", "out.wav", "--dry-run" };
        for (const auto& s : settings)
            arguments.addArray (juce::StringArray{ "--set", s });
        return run (arguments);
    }
};

struct SettingCase
{
    const char* name;
    const char* setting;
    const char* id;
    double expected; // plain value: Hz, dB, 0..1, or a choice index
};

void PrintTo (const SettingCase& c, std::ostream* os) { *os << c.name; }

class SetReadsText : public SettingsRun, public ::testing::WithParamInterface<SettingCase>
{
};

// Each value is read by the parameter's own text-to-value: the tool ends up with the value the parameter
// itself makes of the text, which is the one a user means.
TEST_P (SetReadsText, ThroughTheParametersOwnConversion)
{
    const auto& c = GetParam();
    const auto result = dryRun ({ c.setting });
    ASSERT_EQ (result.exitCode, 0) << result.err;
    EXPECT_FALSE (file ("out.wav").exists()) << "a dry run writes nothing";

    const double reported = reportedPlain (result.out, c.id);
    EXPECT_NEAR (reported, c.expected, 1.0e-3 * std::max (1.0, std::abs (c.expected))) << result.out;

    reso::ResoProcessor reference;
    auto* parameter = reference.getParameters().getParameter (c.id);
    const auto text = juce::String (c.setting).fromFirstOccurrenceOf ("=", false, false);
    const bool isChoice = dynamic_cast<juce::AudioParameterChoice*> (parameter) != nullptr;
    const double own = parameter->convertFrom0to1 (parameter->getValueForText (isChoice ? text.toUpperCase() : text));
    EXPECT_NEAR (reported, own, 1.0e-3 * std::max (1.0, std::abs (own)));
}

INSTANTIATE_TEST_SUITE_P (ParameterTexts, SetReadsText,
    ::testing::Values (SettingCase{ "FrequencyWithK", "focus_low=2k", "focus_low", 2000.0 },
        SettingCase{ "FrequencyWithKhz", "b3_freq=2.5 kHz", "b3_freq", 2500.0 },
        SettingCase{ "LowProtectOff", "low_protect=off", "low_protect", 40.0 },
        SettingCase{ "TrimPlainNumber", "trim=-3", "trim", -3.0 },
        SettingCase{ "TrimClampedToRange", "trim=+20", "trim", 12.0 },
        SettingCase{ "ModeChoice", "mode=HARD", "mode", 1.0 },
        SettingCase{ "StereoChoiceAnyCase", "stereo=m/s", "stereo", 2.0 },
        SettingCase{ "QualityChoice", "quality=HIGH", "quality", 2.0 },
        SettingCase{ "Percent", "depth=45%", "depth", 0.45 },
        SettingCase{ "AttackMilliseconds", "attack=80", "attack", 80.0 },
        SettingCase{ "SwitchOn", "delta=on", "delta", 1.0 }),
    [] (const auto& test) { return std::string (test.param.name); });

TEST_F (SettingsRun, LaterSettingsWinAndOthersKeepTheirDefaults)
{
    const auto result = dryRun ({ "depth=10%", "mode=HARD", "depth=60%" });
    ASSERT_EQ (result.exitCode, 0) << result.err;
    EXPECT_NEAR (reportedPlain (result.out, "depth"), 0.6, 1.0e-4);
    EXPECT_NEAR (reportedPlain (result.out, "sharpness"), 0.5, 1.0e-4);
    EXPECT_NEAR (reportedPlain (result.out, "low_protect"), 250.0, 1.0e-2);
}

// A preset by name, by folder and name, or by file sets its values; --set still has the last word.
TEST_F (SettingsRun, APresetSetsItsValuesBeforeTheSettings)
{
    auto presetRun = [this] (const juce::String& preset, const juce::StringArray& settings) {
        juce::StringArray arguments { "in.wav", "out.wav", "--dry-run", "--preset", preset };
        for (const auto& s : settings)
            arguments.addArray (juce::StringArray { "--set", s });
        return run (arguments);
    };

    auto byName = presetRun ("harsh 2 to 5k", {});
    ASSERT_EQ (byName.exitCode, 0) << byName.err;
    EXPECT_NEAR (reportedPlain (byName.out, "b4_freq"), 3500.0, 0.5);
    EXPECT_NEAR (reportedPlain (byName.out, "b4_gain"), 3.0, 1.0e-3);
    EXPECT_NEAR (reportedPlain (byName.out, "focus_low"), 2000.0, 0.5);

    auto withFolder = presetRun ("drums/SNARE RING", { "depth=20%" });
    ASSERT_EQ (withFolder.exitCode, 0) << withFolder.err;
    EXPECT_NEAR (reportedPlain (withFolder.out, "mode"), 1.0, 1.0e-6);
    EXPECT_NEAR (reportedPlain (withFolder.out, "release"), 120.0, 0.01);
    EXPECT_NEAR (reportedPlain (withFolder.out, "depth"), 0.2, 1.0e-4) << "--set comes after the preset";

    file ("mine.orvelpreset").replaceWithText (reso::presetfile::write ("MINE", { { "selectivity", 0.8f } }));
    auto fromFile = presetRun ("mine.orvelpreset", {});
    ASSERT_EQ (fromFile.exitCode, 0) << fromFile.err;
    EXPECT_NEAR (reportedPlain (fromFile.out, "selectivity"), 0.8, 1.0e-4);
}

// The settings reach the audio path: at depth 0 a trim of -6 dB scales the aligned input.
TEST_F (RenderToolTest, SettingsReachTheAudio)
{
    const Channels input{ noise (24000, 5) };
    writeAudio (file ("in.wav"), input, 48000.0, 32);

    const auto result = run ({ "in.wav", "out.wav", "--set", "depth=0", "--set", "trim=-6" });
    ASSERT_EQ (result.exitCode, 0) << result.err;

    const auto output = readAudio (file ("out.wav"));
    ASSERT_EQ (output.samples.size(), 1u);
    const float gain = std::pow (10.0f, -6.0f / 20.0f);
    for (size_t i = 0; i < input[0].size(); i += 97)
        ASSERT_NEAR (output.samples[0][i], input[0][i] * gain, 1.0e-4f) << "sample " << i;
}

} // namespace
