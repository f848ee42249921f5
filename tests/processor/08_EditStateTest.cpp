#include "processor/Parameters.h"
#include "processor/ResoProcessor.h"
#include "support/HostedPlugin.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

namespace
{

using reso::EditState;
using reso::ResoProcessor;

// A processor with the strip's view of its history: counts the change notifications.
struct Desk
{
    Desk() { edits().onChange = [this] { ++changes; }; }

    EditState& edits() { return processor.getEditState(); }
    juce::RangedAudioParameter& param (const char* id) { return *processor.getParameters().getParameter (id); }
    float value (const char* id) { return param (id).convertFrom0to1 (param (id).getValue()); }

    void begin (const char* id) { param (id).beginChangeGesture(); }
    void set (const char* id, float plain) { param (id).setValueNotifyingHost (param (id).convertTo0to1 (plain)); }
    void end (const char* id) { param (id).endChangeGesture(); }

    // One complete edit from a control: begin, set, end.
    void move (const char* id, float plain)
    {
        begin (id);
        set (id, plain);
        end (id);
    }

    ResoProcessor processor;
    int changes = 0;
};

struct Expected
{
    int undoSteps, redoSteps;
    bool bActive;
    int changes;
    std::vector<std::pair<const char*, float>> values;
};

struct Scenario
{
    const char* name;
    void (*actions) (Desk&);
    Expected expected;
};

void loadPresetLike (Desk& d)
{
    d.edits().performAsOneStep ([&d] {
        // the preset loader sets every value as a complete gesture
        d.move ("depth", 0.8f);
        d.move ("attack", 60.0f);
        d.move ("release", 300.0f);
        d.move ("focus_low", 40.0f);
        d.move ("b4_gain", 3.0f);
    });
}

const Scenario scenarios[] = {
    { "OneKnobMoved", [] (Desk& d) { d.move ("depth", 0.5f); }, { 1, 0, false, 1, { { "depth", 0.5f } } } },
    { "OneKnobMovedAndUndone",
        [] (Desk& d) {
            d.move ("depth", 0.5f);
            d.edits().undo();
        },
        { 0, 1, false, 2, { { "depth", 0.31f } } } },
    { "UndoneAndRedone",
        [] (Desk& d) {
            d.move ("depth", 0.5f);
            d.edits().undo();
            d.edits().redo();
        },
        { 1, 0, false, 3, { { "depth", 0.5f } } } },
    { "NewEditClearsRedo",
        [] (Desk& d) {
            d.move ("depth", 0.5f);
            d.edits().undo();
            d.move ("sharpness", 0.8f);
        },
        { 1, 0, false, 3, { { "depth", 0.31f }, { "sharpness", 0.8f } } } },
    { "OverlappingGesturesMakeOneStep",
        [] (Desk& d) {
            d.begin ("depth");
            d.set ("depth", 0.6f);
            d.begin ("sharpness"); // a second control dragged while the knob is held
            d.set ("sharpness", 0.2f);
            d.end ("depth");
            d.set ("sharpness", 0.3f);
            d.end ("sharpness");
        },
        { 1, 0, false, 1, { { "depth", 0.6f }, { "sharpness", 0.3f } } } },
    { "OverlappingGesturesUndoneAtOnce",
        [] (Desk& d) {
            d.begin ("depth");
            d.begin ("sharpness");
            d.set ("depth", 0.6f);
            d.set ("sharpness", 0.2f);
            d.end ("sharpness");
            d.end ("depth");
            d.edits().undo();
        },
        { 0, 1, false, 2, { { "depth", 0.31f }, { "sharpness", 0.5f } } } },
    { "UnchangedGestureMakesNone",
        [] (Desk& d) {
            d.begin ("depth");
            d.set ("depth", 0.9f);
            d.set ("depth", 0.31f);
            d.end ("depth");
        },
        { 0, 0, false, 0, { { "depth", 0.31f } } } },
    { "StrayGestureEndIsIgnored",
        [] (Desk& d) {
            d.end ("depth");
            d.move ("depth", 0.4f);
        },
        { 1, 0, false, 1, { { "depth", 0.4f } } } },
    { "TwoHundredAndFirstStepDropsTheOldest",
        [] (Desk& d) {
            for (int k = 1; k <= 201; ++k)
                d.move ("depth", 0.004f * (float) k);
            while (d.edits().canUndo())
                d.edits().undo();
        },
        { 0, 200, false, 401, { { "depth", 0.004f } } } },
    { "FirstPressOfB", [] (Desk& d) { d.edits().selectSlot (true); }, { 0, 0, true, 1, { { "depth", 0.31f } } } },
    { "ChangeOnBThenBackToA",
        [] (Desk& d) {
            d.edits().selectSlot (true);
            d.move ("depth", 0.7f);
            d.edits().selectSlot (false);
        },
        { 1, 0, false, 3, { { "depth", 0.31f } } } },
    { "ChangeOnBThenAThenBAgain",
        [] (Desk& d) {
            d.edits().selectSlot (true);
            d.move ("depth", 0.7f);
            d.edits().selectSlot (false);
            d.edits().selectSlot (true);
        },
        { 1, 0, true, 4, { { "depth", 0.7f } } } },
    { "SelectingTheActiveSlotDoesNothing", [] (Desk& d) { d.edits().selectSlot (false); },
        { 0, 0, false, 0, { { "depth", 0.31f } } } },
    { "CopyToOtherSlotMakesBothSlotsTheCurrentValues",
        [] (Desk& d) {
            d.edits().selectSlot (true);
            d.move ("depth", 0.2f);
            d.edits().selectSlot (false);
            d.move ("depth", 0.6f);
            d.edits().copyToOtherSlot();
            d.edits().selectSlot (true);
            d.edits().selectSlot (false);
        },
        { 2, 0, false, 7, { { "depth", 0.6f } } } },
    { "PresetLoadIsOneStep", loadPresetLike,
        { 1, 0, false, 1,
            { { "depth", 0.8f }, { "attack", 60.0f }, { "release", 300.0f }, { "focus_low", 40.0f },
                { "b4_gain", 3.0f } } } },
    { "PresetLoadUndoneRestoresEveryValue",
        [] (Desk& d) {
            loadPresetLike (d);
            d.edits().undo();
        },
        { 0, 1, false, 2,
            { { "depth", 0.31f }, { "attack", 40.0f }, { "release", 220.0f }, { "focus_low", 20.0f },
                { "b4_gain", 0.0f } } } },
    { "PresetLoadWithoutChangeMakesNone",
        [] (Desk& d) { d.edits().performAsOneStep ([&d] { d.move ("depth", 0.31f); }); },
        { 0, 0, false, 0, { { "depth", 0.31f } } } },
    { "DeltaAndBypassNeverEnterTheHistory",
        [] (Desk& d) {
            d.move ("delta", 1.0f);
            d.move ("bypass", 1.0f);
        },
        { 0, 0, false, 0, { { "delta", 1.0f }, { "bypass", 1.0f } } } },
    { "DeltaAndBypassAreNotSwitchedByAB",
        [] (Desk& d) {
            d.edits().selectSlot (true);
            d.move ("delta", 1.0f);
            d.move ("bypass", 1.0f);
            d.move ("depth", 0.7f);
            d.edits().selectSlot (false);
        },
        { 1, 0, false, 3, { { "delta", 1.0f }, { "bypass", 1.0f }, { "depth", 0.31f } } } },
    { "HostAutomationWithoutGesturesRecordsNothing",
        [] (Desk& d) {
            d.set ("depth", 0.7f);
            d.set ("sharpness", 0.2f);
            d.set ("quality", 2.0f);
        },
        { 0, 0, false, 0, { { "depth", 0.7f }, { "sharpness", 0.2f }, { "quality", 2.0f } } } },
};

void PrintTo (const Scenario& scenario, std::ostream* os) { *os << scenario.name; }

class HistoryAndSlots : public ::testing::TestWithParam<Scenario>
{
};

TEST_P (HistoryAndSlots, Scenario)
{
    Desk desk;
    GetParam().actions (desk);

    const auto& e = GetParam().expected;
    EXPECT_EQ (desk.edits().getNumUndoSteps(), e.undoSteps);
    EXPECT_EQ (desk.edits().getNumRedoSteps(), e.redoSteps);
    EXPECT_EQ (desk.edits().canUndo(), e.undoSteps > 0);
    EXPECT_EQ (desk.edits().canRedo(), e.redoSteps > 0);
    EXPECT_EQ (desk.edits().isBActive(), e.bActive);
    EXPECT_EQ (desk.changes, e.changes);
    for (const auto& [id, plain] : e.values)
        EXPECT_NEAR (desk.value (id), plain, 1e-4f * std::max (1.0f, std::abs (plain))) << id;
}

INSTANTIATE_TEST_SUITE_P (EditState, HistoryAndSlots, ::testing::ValuesIn (scenarios),
    [] (const auto& caseInfo) { return std::string (caseInfo.param.name); });

//==============================================================================
juce::StringArray listOf (const juce::String& ab, int piece)
{
    const auto pieces = juce::StringArray::fromTokens (ab, ";", "");
    return pieces[piece].isEmpty() ? juce::StringArray() : juce::StringArray::fromTokens (pieces[piece], ",", "");
}

TEST (AbString, SevenDecimalsPerValueAndAnEmptyBListUntilBIsUsed)
{
    Desk desk;
    const auto fresh = desk.edits().abString();
    EXPECT_TRUE (fresh.startsWith ("A;0;0.3100000,0.5000000,0.5000000,")) << fresh;
    EXPECT_TRUE (fresh.endsWith (";")) << fresh;
    const auto a = listOf (fresh, 2);
    ASSERT_EQ (a.size(), 33);
    for (int i = 0; i < 33; ++i)
    {
        EXPECT_TRUE (std::regex_match (a[i].toStdString(), std::regex (R"(\d\.\d{7})"))) << a[i];
        auto* p = desk.processor.getParameters().getParameter (reso::editTrackedParameterIds()[i]);
        EXPECT_NEAR (a[i].getFloatValue(), p->getValue(), EditState::tolerance) << i;
    }
    EXPECT_EQ (a[32], "1.0000000") << "low protect at 250 Hz";

    desk.edits().selectSlot (true);
    desk.move ("depth", 0.45f);
    const auto used = desk.edits().abString();
    EXPECT_TRUE (used.startsWith ("B;1;0.3100000,")) << used;
    EXPECT_EQ (listOf (used, 3).size(), 33);
    EXPECT_EQ (listOf (used, 3)[0], "0.4500000");
}

TEST (AbString, RestoredSlotsSwitchToTheSavedValuesAndTheHistoryIsCleared)
{
    Desk saved;
    saved.move ("depth", 0.6f);
    saved.edits().selectSlot (true);
    saved.move ("depth", 0.8f);
    saved.move ("b3_freq", 2500.0f);
    const auto ab = saved.edits().abString();

    Desk loaded;
    loaded.move ("sharpness", 0.9f);
    loaded.set ("depth", 0.8f);
    loaded.set ("b3_freq", 2500.0f); // the project's values arrive through the parameters
    loaded.edits().restoreAbString (ab);

    EXPECT_FALSE (loaded.edits().canUndo());
    EXPECT_TRUE (loaded.edits().isBActive());
    EXPECT_EQ (loaded.changes, 2);
    EXPECT_NEAR (loaded.value ("depth"), 0.8f, 1e-5f) << "restoring does not apply the slots";

    loaded.edits().selectSlot (false);
    EXPECT_NEAR (loaded.value ("depth"), 0.6f, 1e-5f);
    EXPECT_NEAR (loaded.value ("b3_freq"), 1000.0f, 0.01f);
    loaded.edits().selectSlot (true);
    EXPECT_NEAR (loaded.value ("depth"), 0.8f, 1e-5f);
    EXPECT_NEAR (loaded.value ("b3_freq"), 2500.0f, 0.01f);
}

TEST (AbString, ListsOneShortAreCompletedWithLowProtectsDefault)
{
    Desk desk;
    juce::StringArray a, b;
    for (int i = 0; i < 32; ++i)
    {
        a.add ("0.2500000");
        b.add ("0.7500000");
    }
    desk.move ("depth", 0.4f);
    desk.edits().restoreAbString ("A;1;" + a.joinIntoString (",") + ";" + b.joinIntoString (","));

    EXPECT_FALSE (desk.edits().canUndo());
    const auto restoredB = listOf (desk.edits().abString(), 3);
    ASSERT_EQ (restoredB.size(), 33);
    EXPECT_EQ (restoredB[0], "0.7500000");
    EXPECT_EQ (restoredB[32], "1.0000000");
}

// Malformed, truncated or B-never-used strings leave the slots and the history as they were.
class AbStringIgnored : public ::testing::TestWithParam<const char*>
{
};

TEST_P (AbStringIgnored, SlotsAndHistoryUnchanged)
{
    Desk saved;
    saved.edits().selectSlot (true);
    saved.move ("depth", 0.9f);
    const auto valid = saved.edits().abString();
    const auto validA = listOf (valid, 2).joinIntoString (",");

    juce::String text (GetParam());
    text = text.replace ("<A>", validA).replace ("<A-2>", listOf (valid, 2).joinIntoString (",").dropLastCharacters (20));

    Desk desk;
    desk.edits().selectSlot (true);
    desk.move ("depth", 0.7f);
    const auto before = desk.edits().abString();
    const int changesBefore = desk.changes;

    desk.edits().restoreAbString (text);
    EXPECT_EQ (desk.edits().abString(), before);
    EXPECT_EQ (desk.edits().getNumUndoSteps(), 1);
    EXPECT_EQ (desk.changes, changesBefore);
}

INSTANTIATE_TEST_SUITE_P (EditState, AbStringIgnored,
    ::testing::Values ("", "A;1;<A>", "A;1;<A>;<A>;", "B;1;<A>;<A-2>", "A;0;<A>;", "A;1;<A>;<A>,0.5",
        "A;1;<A>;x<A>", "A;1;<A>;nan,<A>", "A;1;<A>;<A>,", "A;1;;"));

TEST (EditState, ChangesFromAHostThreadAreReportedOnTheMessageThread)
{
    Desk desk;
    desk.edits().selectSlot (true);
    const auto ab = desk.edits().abString();
    desk.changes = 0;
    std::thread::id reportedOn;
    desk.edits().onChange = [&] {
        reportedOn = std::this_thread::get_id();
        ++desk.changes;
    };

    std::thread host ([&] { desk.edits().restoreAbString (ab); });
    host.join();
    EXPECT_TRUE (reso::test::HostedPlugin::pumpUntil ([&] { return desk.changes == 1; }));
    EXPECT_EQ (reportedOn, std::this_thread::get_id());
}

} // namespace
