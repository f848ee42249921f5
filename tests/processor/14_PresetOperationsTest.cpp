#include "presets/FactoryPresets.h"
#include "processor/UserData.h"
#include "support/ProcessorHelpers.h"

#include <gtest/gtest.h>

namespace
{

using reso::PresetLibrary;
using reso::ResoProcessor;
using namespace reso::test;

// Each test gets its own data folder, restored afterwards.
class PresetOperations : public ::testing::Test
{
protected:
    void SetUp() override
    {
        previous = reso::userDataFolder();
        root = juce::File::getSpecialLocation (juce::File::tempDirectory)
                   .getChildFile ("orvel-presets-" + juce::Uuid().toDashedString());
        reso::setUserDataFolderOverride (root);
    }

    void TearDown() override
    {
        reso::setUserDataFolderOverride (previous);
        root.deleteRecursively();
    }

    static float plain (ResoProcessor& p, const juce::String& id)
    {
        auto* param = p.getParameters().getParameter (id);
        return param->convertFrom0to1 (param->getValue());
    }

    static int loadByName (ResoProcessor& p, const char* folder, const char* name)
    {
        const int position = p.getPresetLibrary().find (folder, name);
        p.loadPreset (position);
        return position;
    }

    juce::File root, previous;
};

// Every factory row arrives through the processor with every value of the table.
TEST_F (PresetOperations, EveryFactoryPresetLoadsItsTableValues)
{
    ResoProcessor p;
    for (const auto& row : reso::factory::presets())
    {
        ASSERT_GE (loadByName (p, row.folder, row.name), 0) << row.name;
        for (const auto& v : reso::factory::values (row))
            EXPECT_NEAR (plain (p, v.id), v.value, 1e-3f * std::max (1.0f, v.value)) << row.name << " " << v.id;
        EXPECT_EQ (p.getCurrentPresetLabel(), juce::String (row.folder) + " / " + row.name);
    }
}

TEST_F (PresetOperations, APresetLeavesStereoQualityAndTrimAlone)
{
    ResoProcessor p;
    setPlain (p, "stereo", 2.0f);
    setPlain (p, "quality", 2.0f);
    setPlain (p, "trim", -4.0f);
    loadByName (p, "BASS", "SUB CLEAN");
    EXPECT_EQ (plain (p, "stereo"), 2.0f);
    EXPECT_EQ (plain (p, "quality"), 2.0f);
    EXPECT_NEAR (plain (p, "trim"), -4.0f, 1e-5f);
    EXPECT_NEAR (plain (p, "focus_low"), 40.0f, 0.01f);
    EXPECT_NEAR (plain (p, "focus_high"), 300.0f, 0.01f);
    EXPECT_EQ (plain (p, "mode"), 0.0f);
}

TEST_F (PresetOperations, PadSmoothMeansNoFocusLimits)
{
    ResoProcessor p;
    loadByName (p, "BASS", "SUB CLEAN");
    loadByName (p, "KEYS", "PAD SMOOTH");
    const auto controls = p.currentBlockControls (false);
    EXPECT_EQ (controls.focusLow, 0.0f);
    EXPECT_EQ (controls.focusHigh, 0.0f);
}

TEST_F (PresetOperations, AnotherPresetPutsTheHarshBandBack)
{
    ResoProcessor p;
    loadByName (p, "MIX BUS", "HARSH 2 TO 5K");
    EXPECT_NEAR (plain (p, "b4_freq"), 3500.0f, 0.1f);
    EXPECT_NEAR (plain (p, "b4_gain"), 3.0f, 1e-4f);
    EXPECT_NEAR (plain (p, "b4_q"), 1.2f, 1e-4f);
    loadByName (p, "VOCALS", "NASAL CUT");
    EXPECT_NEAR (plain (p, "b4_freq"), 4000.0f, 0.1f);
    EXPECT_NEAR (plain (p, "b4_gain"), 0.0f, 1e-4f);
    EXPECT_NEAR (plain (p, "b4_q"), 1.0f, 1e-4f);
}

TEST_F (PresetOperations, ALoadIsOneUndoStepAndUndoRestoresEverything)
{
    ResoProcessor p;
    const auto before = p.getEditState().snapshot();
    const int steps = p.getEditState().getNumUndoSteps();
    loadByName (p, "DRUMS", "SNARE RING");
    EXPECT_EQ (p.getEditState().getNumUndoSteps(), steps + 1);
    EXPECT_FALSE (reso::EditState::equal (p.getEditState().snapshot(), before));
    p.getEditState().undo();
    EXPECT_TRUE (reso::EditState::equal (p.getEditState().snapshot(), before));
}

TEST_F (PresetOperations, AListChangesOnlyWhatItHoldsAndClampsThroughTheRanges)
{
    ResoProcessor p;
    setPlain (p, "sharpness", 0.9f);
    p.applyPresetValues ({ { "depth", 0.75f }, { "low_protect", 250.0f }, { "mode", 7.0f } });
    EXPECT_NEAR (plain (p, "depth"), 0.75f, 1e-6f);
    EXPECT_EQ (plain (p, "mode"), 1.0f) << "7 is clamped to the last choice";
    EXPECT_NEAR (plain (p, "sharpness"), 0.9f, 1e-6f);
}

TEST_F (PresetOperations, SteppingIsOneRingAndStartsAtTheEnds)
{
    {
        ResoProcessor p;
        p.stepPreset (+1);
        EXPECT_EQ (p.getCurrentPresetLabel(), "BASS / SUB CLEAN");
        p.stepPreset (-1);
        EXPECT_EQ (p.getCurrentPresetLabel(), "VOCALS / ROOM TONE") << "back from the first wraps to the last";
    }
    {
        ResoProcessor p;
        p.stepPreset (-1);
        EXPECT_EQ (p.getCurrentPresetLabel(), "VOCALS / ROOM TONE") << "nothing current: back loads the last entry";
        ASSERT_TRUE (p.saveUserPreset ("zz mine", false));
        EXPECT_EQ (p.getCurrentPresetLabel(), "MY PRESETS / ZZ MINE");
        p.stepPreset (+1);
        EXPECT_EQ (p.getCurrentPresetLabel(), "BASS / SUB CLEAN") << "forward from the last user preset";
        p.stepPreset (-1);
        EXPECT_EQ (p.getCurrentPresetLabel(), "MY PRESETS / ZZ MINE");
    }
}

TEST_F (PresetOperations, DeletingTheCurrentUserPresetKeepsTheSound)
{
    ResoProcessor p;
    setPlain (p, "depth", 0.66f);
    ASSERT_TRUE (p.saveUserPreset ("my vocal!", false));
    EXPECT_EQ (p.getCurrentPresetLabel(), "MY PRESETS / MY VOCAL");
    const auto file = p.getPresetLibrary().userFolder().getChildFile ("MY VOCAL.orvelpreset");
    ASSERT_TRUE (file.existsAsFile());
    const auto before = p.getEditState().snapshot();

    EXPECT_TRUE (p.deleteCurrentUserPreset());
    EXPECT_FALSE (file.exists());
    EXPECT_EQ (p.getCurrentPresetLabel(), "INIT");
    EXPECT_TRUE (reso::EditState::equal (p.getEditState().snapshot(), before));
    EXPECT_EQ (p.getPresetLibrary().size(), 23);
    EXPECT_FALSE (p.deleteCurrentUserPreset()) << "nothing current any more";

    loadByName (p, "BASS", "BOX CUT");
    EXPECT_FALSE (p.deleteCurrentUserPreset()) << "factory presets cannot be deleted";
}

TEST_F (PresetOperations, TheUsersDefaultPresetLoadsAtStartWithoutAnUndoStep)
{
    {
        ResoProcessor p;
        setPlain (p, "depth", 0.8f);
        setPlain (p, "attack", 12.0f);
        setPlain (p, "trim", 5.0f);
        ASSERT_TRUE (p.setDefaultPreset());
    }
    ResoProcessor fresh;
    EXPECT_NEAR (plain (fresh, "depth"), 0.8f, 1e-5f);
    EXPECT_NEAR (plain (fresh, "attack"), 12.0f, 1e-3f);
    EXPECT_EQ (plain (fresh, "trim"), 0.0f) << "trim is not part of a preset";
    EXPECT_EQ (fresh.getCurrentPresetLabel(), "INIT");
    EXPECT_FALSE (fresh.getEditState().canUndo());
}

} // namespace
