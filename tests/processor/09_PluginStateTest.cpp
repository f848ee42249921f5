#include "processor/Parameters.h"
#include "processor/ResoProcessor.h"
#include "support/HostedPlugin.h"
#include "support/ProcessorHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>

namespace
{

using reso::ResoProcessor;
using reso::test::HostedPlugin;
using reso::test::setPlain;

juce::MemoryBlock save (ResoProcessor& processor)
{
    juce::MemoryBlock blob;
    processor.getStateInformation (blob);
    return blob;
}

void load (ResoProcessor& processor, const juce::MemoryBlock& blob)
{
    processor.setStateInformation (blob.getData(), (int) blob.getSize());
}

juce::MemoryBlock fixture (const char* name)
{
    juce::MemoryBlock data;
    juce::File (ORVEL_FIXTURES_DIR).getChildFile ("state").getChildFile (name).loadFileAsData (data);
    EXPECT_GT (data.getSize(), 0u) << name;
    return data;
}

float raw (ResoProcessor& processor, const juce::String& id)
{
    return processor.getParameters().getRawParameterValue (id)->load();
}

void move (ResoProcessor& processor, const char* id, float plain)
{
    auto* p = processor.getParameters().getParameter (id);
    p->beginChangeGesture();
    p->setValueNotifyingHost (p->convertTo0to1 (plain));
    p->endChangeGesture();
}

juce::StringArray attributeNames (const juce::XmlElement& xml)
{
    juce::StringArray names;
    for (int i = 0; i < xml.getNumAttributes(); ++i)
        names.add (xml.getAttributeName (i));
    return names;
}

juce::StringArray abList (const juce::String& ab, int piece)
{
    const auto text = juce::StringArray::fromTokens (ab, ";", "")[piece];
    return text.isEmpty() ? juce::StringArray() : juce::StringArray::fromTokens (text, ",", "");
}

// Everything a project load could change.
struct Observed
{
    std::vector<float> values;
    juce::String folder, name, ab;
    int width = 0, height = 0;
    bool sizeKnown = false;
    int undoSteps = 0;

    explicit Observed (ResoProcessor& p)
    {
        for (const auto& id : reso::allParameterIds())
            values.push_back (raw (p, id));
        auto& state = p.getPluginState();
        folder = state.getPresetFolder();
        name = state.getPresetName();
        width = state.getEditorWidth();
        height = state.getEditorHeight();
        sizeKnown = state.isEditorSizeKnown();
        ab = p.getEditState().abString();
        undoSteps = p.getEditState().getNumUndoSteps();
    }

    bool operator== (const Observed& o) const
    {
        return values == o.values && folder == o.folder && name == o.name && ab == o.ab && width == o.width
               && height == o.height && sizeKnown == o.sizeKnown && undoSteps == o.undoSteps;
    }
};

// Every parameter at a seeded random value, a named preset, a known editor size and both slots in use.
void makeProject (ResoProcessor& processor, unsigned seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> unit (0.0f, 1.0f);
    for (auto* p : processor.getParameters().processor.getParameters())
        if (p != processor.getParameters().getParameter (reso::ids::bypass))
            p->setValueNotifyingHost (unit (rng));

    processor.getPluginState().setPreset ("BASS", "SUB CLEAN");
    processor.getPluginState().setEditorSize (1333, 751);
    processor.getEditState().selectSlot (true);
    move (processor, "depth", 0.77f);
    move (processor, "b2_freq", 1234.5f);
}

//==============================================================================
TEST (PluginState, RootCarriesTheProjectPropertiesInFirstInsertionOrder)
{
    ResoProcessor processor;
    processor.getPluginState().setEditorSize (1200, 675);
    auto blob = save (processor);
    auto xml = ResoProcessor::getXmlFromBinary (blob.getData(), (int) blob.getSize());
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "RESO");
    EXPECT_EQ (attributeNames (*xml).joinIntoString (" "), "uiW uiH presetFolder presetName ab");
    EXPECT_EQ (xml->getStringAttribute ("uiW"), "1200");
    EXPECT_EQ (xml->getStringAttribute ("presetName", "missing"), "") << "empty strings are written too";
    EXPECT_EQ (xml->getNumChildElements(), 35);
    for (auto* child : xml->getChildIterator())
        EXPECT_TRUE (child->hasTagName ("PARAM") && child->hasAttribute ("id") && child->hasAttribute ("value"));

    // the size first becomes known after an earlier save: it joins at the end and keeps its place
    ResoProcessor later;
    save (later);
    later.getPluginState().setEditorSize (900, 506);
    save (later);
    later.getPluginState().setPreset ("DRUMS", "ROOM");
    blob = save (later);
    xml = ResoProcessor::getXmlFromBinary (blob.getData(), (int) blob.getSize());
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (attributeNames (*xml).joinIntoString (" "), "presetFolder presetName ab uiW uiH");
    EXPECT_EQ (xml->getStringAttribute ("presetName"), "ROOM");
}

TEST (PluginState, ProjectRoundTripRestoresEveryParameterExactlyWithPresetSizeAndSlots)
{
    ResoProcessor saved;
    makeProject (saved, 5);
    const auto blob = save (saved);

    ResoProcessor loaded;
    move (loaded, "sharpness", 0.1f); // a history that the project replaces
    load (loaded, blob);

    for (const auto& id : reso::allParameterIds())
        EXPECT_EQ (raw (loaded, id), raw (saved, id)) << id;
    EXPECT_EQ (loaded.getCurrentPresetLabel(), "BASS / SUB CLEAN");
    EXPECT_EQ (loaded.getPluginState().getEditorWidth(), 1333);
    EXPECT_EQ (loaded.getPluginState().getEditorHeight(), 751);
    EXPECT_TRUE (loaded.getPluginState().isEditorSizeKnown());
    EXPECT_EQ (loaded.getEditState().abString(), saved.getEditState().abString());
    EXPECT_FALSE (loaded.getEditState().canUndo());

    loaded.getEditState().selectSlot (false);
    saved.getEditState().selectSlot (false);
    for (const auto& id : reso::editTrackedParameterIds())
        EXPECT_NEAR (loaded.getParameters().getParameter (id)->getValue(),
            saved.getParameters().getParameter (id)->getValue(), 1e-7f)
            << id;
}

TEST (PluginState, ParametersMissingFromTheBlobKeepTheirValues)
{
    ResoProcessor processor;
    setPlain (processor, "sharpness", 0.9f);
    setPlain (processor, "b3_freq", 3000.0f);

    juce::XmlElement xml ("RESO");
    auto* depth = xml.createNewChildElement ("PARAM");
    depth->setAttribute ("id", "depth");
    depth->setAttribute ("value", 0.6);
    auto* lowProtect = xml.createNewChildElement ("PARAM");
    lowProtect->setAttribute ("id", "low_protect");
    lowProtect->setAttribute ("value", 80.0);
    juce::MemoryBlock blob;
    ResoProcessor::copyXmlToBinary (xml, blob);
    load (processor, blob);

    EXPECT_FLOAT_EQ (raw (processor, "depth"), 0.6f);
    EXPECT_NEAR (raw (processor, "low_protect"), 80.0f, 1e-3f);
    EXPECT_FLOAT_EQ (raw (processor, "sharpness"), 0.9f);
    EXPECT_NEAR (raw (processor, "b3_freq"), 3000.0f, 0.01f);

    // and the next save carries them
    const auto next = save (processor);
    auto saved = ResoProcessor::getXmlFromBinary (next.getData(), (int) next.getSize());
    ASSERT_NE (saved, nullptr);
    auto* sharpness = saved->getChildByAttribute ("id", "sharpness");
    ASSERT_NE (sharpness, nullptr);
    EXPECT_FLOAT_EQ ((float) sharpness->getDoubleAttribute ("value"), 0.9f);
}

TEST (PluginState, ProjectWithoutSizeSetsTheDefaultSizeAndLeavesTheFlag)
{
    ResoProcessor sizeless;
    const auto blob = save (sizeless);

    ResoProcessor resized;
    resized.getPluginState().setEditorSize (1500, 844);
    load (resized, blob);
    EXPECT_EQ (resized.getPluginState().getEditorWidth(), 1000);
    EXPECT_EQ (resized.getPluginState().getEditorHeight(), 560);
    EXPECT_TRUE (resized.getPluginState().isEditorSizeKnown());

    ResoProcessor fresh;
    load (fresh, blob);
    EXPECT_FALSE (fresh.getPluginState().isEditorSizeKnown());
}

TEST (PluginState, LatencyFollowsTheRestoredQuality)
{
    ResoProcessor saved;
    setPlain (saved, "quality", 2.0f);
    auto processor = reso::test::makePrepared (48000.0, 2);
    ASSERT_EQ (processor->getLatencySamples(), 2048);

    load (*processor, save (saved));
    EXPECT_TRUE (HostedPlugin::pumpUntil ([&] { return processor->getLatencySamples() == 4096; }));
}

TEST (PluginState, CurrentPresetLabel)
{
    ResoProcessor processor;
    EXPECT_EQ (processor.getCurrentPresetLabel(), "INIT");
    processor.getPluginState().setPreset ("MY PRESETS", "KICK");
    EXPECT_EQ (processor.getCurrentPresetLabel(), "MY PRESETS / KICK");
    processor.getPluginState().setPreset ("MY PRESETS", "");
    EXPECT_EQ (processor.getCurrentPresetLabel(), "INIT");
}

//==============================================================================
// Fixtures: blobs as older versions or damaged projects hand them over.
TEST (PluginStateFixture, OlderProjectLoadsWithLowProtectAt250AndCompletesItsSlots)
{
    ResoProcessor processor;
    setPlain (processor, "low_protect", 100.0f);
    move (processor, "depth", 0.2f);

    load (processor, fixture ("older-project-without-low-protect.bin"));

    EXPECT_EQ (raw (processor, "low_protect"), 250.0f);
    EXPECT_FLOAT_EQ (raw (processor, "depth"), 0.62f);
    EXPECT_NEAR (raw (processor, "focus_high"), 300.0f, 1e-3f);
    EXPECT_NEAR (raw (processor, "b4_freq"), 3500.0f, 1e-2f);
    EXPECT_FLOAT_EQ (raw (processor, "trim"), -1.5f);
    EXPECT_EQ (raw (processor, "quality"), 2.0f);
    EXPECT_EQ (processor.getCurrentPresetLabel(), "BASS / SUB CLEAN");
    EXPECT_EQ (processor.getPluginState().getEditorWidth(), 1280);
    EXPECT_EQ (processor.getPluginState().getEditorHeight(), 720);
    EXPECT_TRUE (processor.getPluginState().isEditorSizeKnown());

    auto& edits = processor.getEditState();
    EXPECT_FALSE (edits.canUndo()) << "a valid A/B string clears the history";
    const auto slotB = abList (edits.abString(), 3);
    ASSERT_EQ (slotB.size(), 33);
    EXPECT_EQ (slotB[0], "0.6000000");
    EXPECT_EQ (slotB[32], "1.0000000") << "completed with Low Protect's default";

    edits.selectSlot (true);
    EXPECT_FLOAT_EQ (raw (processor, "depth"), 0.6f);
    EXPECT_EQ (raw (processor, "low_protect"), 250.0f);
}

TEST (PluginStateFixture, GarbageSizesAreClampedAndABadAbStringIsIgnored)
{
    ResoProcessor processor;
    move (processor, "sharpness", 0.3f);
    const auto abBefore = processor.getEditState().abString();

    load (processor, fixture ("garbage-ui-width.bin"));

    EXPECT_EQ (processor.getPluginState().getEditorWidth(), 750) << "not a number: read as 0, clamped";
    EXPECT_EQ (processor.getPluginState().getEditorHeight(), 1120);
    EXPECT_TRUE (processor.getPluginState().isEditorSizeKnown());
    EXPECT_FLOAT_EQ (raw (processor, "depth"), 0.45f);
    EXPECT_EQ (processor.getCurrentPresetLabel(), "MY PRESETS / VOX");
    EXPECT_TRUE (processor.getEditState().canUndo()) << "history kept";
    EXPECT_EQ (abList (processor.getEditState().abString(), 2).size(), 33);
}

TEST (PluginStateFixture, NanParameterValueKeepsTheCurrentValue)
{
    ResoProcessor processor;
    setPlain (processor, "depth", 0.2f);

    load (processor, fixture ("nan-parameter-value.bin"));

    EXPECT_FLOAT_EQ (raw (processor, "depth"), 0.2f);
    EXPECT_FLOAT_EQ (raw (processor, "sharpness"), 0.7f);
    EXPECT_NEAR (raw (processor, "low_protect"), 120.0f, 1e-3f);
    for (const auto& id : reso::allParameterIds())
        EXPECT_TRUE (std::isfinite (raw (processor, id))) << id;
}

// Blobs that must be ignored entirely: the processor keeps every value, the preset, size and slots.
struct Rejected
{
    const char* name;
    juce::MemoryBlock (*make)();
};

const Rejected rejectedBlobs[] = {
    { "NotResoRoot", [] { return fixture ("not-reso-root.bin"); } },
    { "Truncated", [] { return fixture ("truncated.bin"); } },
    { "Empty", [] { return juce::MemoryBlock(); } },
    { "RandomBytes",
        [] {
            std::mt19937 rng (9);
            juce::MemoryBlock m (4096);
            for (size_t i = 0; i < m.getSize(); ++i)
                m[i] = (char) (rng() & 0xff);
            return m;
        } },
    { "HeaderClaimsMoreThanThereIs",
        [] {
            auto m = fixture ("older-project-without-low-protect.bin");
            m.setSize (40);
            return m;
        } },
    { "PlainXmlWithoutTheWrapper",
        [] {
            const juce::String xml ("<RESO presetName=\"X\"><PARAM id=\"depth\" value=\"0.9\"/></RESO>");
            return juce::MemoryBlock (xml.toRawUTF8(), xml.getNumBytesAsUTF8());
        } },
};

void PrintTo (const Rejected& blob, std::ostream* os) { *os << blob.name; }

class RejectedBlob : public ::testing::TestWithParam<Rejected>
{
};

TEST_P (RejectedBlob, LeavesTheProcessorAsItWas)
{
    ResoProcessor processor;
    makeProject (processor, 11);
    const Observed before (processor);

    const auto blob = GetParam().make();
    load (processor, blob);

    EXPECT_TRUE (Observed (processor) == before);
}

INSTANTIATE_TEST_SUITE_P (PluginStateFixture, RejectedBlob, ::testing::ValuesIn (rejectedBlobs),
    [] (const auto& caseInfo) { return std::string (caseInfo.param.name); });

//==============================================================================
// The host's own wrapping of a VST3 component state, as the framework's VST3 hosting writes it.
juce::MemoryBlock hostChunk (const juce::MemoryBlock& componentState)
{
    juce::XmlElement state ("VST3PluginState");
    state.createNewChildElement ("IComponent")->addTextElement (componentState.toBase64Encoding());
    juce::MemoryBlock chunk;
    juce::AudioProcessor::copyXmlToBinary (state, chunk);
    return chunk;
}

juce::MemoryBlock componentState (const juce::MemoryBlock& chunk)
{
    juce::MemoryBlock state;
    if (auto xml = juce::AudioProcessor::getXmlFromBinary (chunk.getData(), (int) chunk.getSize()))
        if (auto* component = xml->getChildByName ("IComponent"))
            state.fromBase64Encoding (component->getAllSubText());
    return state;
}

TEST (HostedProject, SavedAndRestoredThroughTheBundleAsADawDoes)
{
    juce::String error;
    auto hosted = HostedPlugin::create (48000.0, 512, error);
    ASSERT_NE (hosted, nullptr) << error;

    ResoProcessor project;
    makeProject (project, 23);
    const auto blob = save (project);
    const auto hostState = hostChunk (blob);
    hosted->setStateInformation (hostState.getData(), (int) hostState.getSize());

    // what the host sees
    const auto& expected = project.getParameters().processor.getParameters();
    const auto& parameters = hosted->getParameters();
    ASSERT_EQ (parameters.size(), 35);
    for (int i = 0; i < 35; ++i)
        EXPECT_EQ (parameters[i]->getCurrentValueAsText(), expected[i]->getCurrentValueAsText()) << i;

    // what the host saves into its project, read back by a fresh instance of the plug-in
    juce::MemoryBlock chunk;
    hosted->getStateInformation (chunk);
    const auto returned = componentState (chunk);
    ASSERT_GT (returned.getSize(), 0u);

    auto xml = ResoProcessor::getXmlFromBinary (returned.getData(), (int) returned.getSize());
    ASSERT_NE (xml, nullptr);
    auto original = ResoProcessor::getXmlFromBinary (blob.getData(), (int) blob.getSize());
    for (const auto& id : reso::allParameterIds())
    {
        auto* a = original->getChildByAttribute ("id", id);
        auto* b = xml->getChildByAttribute ("id", id);
        ASSERT_TRUE (a != nullptr && b != nullptr) << id;
        EXPECT_EQ ((float) b->getDoubleAttribute ("value"), (float) a->getDoubleAttribute ("value")) << id;
    }
    for (auto* attribute : { "uiW", "uiH", "presetFolder", "presetName", "ab" })
        EXPECT_EQ (xml->getStringAttribute (attribute), original->getStringAttribute (attribute)) << attribute;

    ResoProcessor reopened;
    load (reopened, returned);
    for (const auto& id : reso::allParameterIds())
        EXPECT_EQ (raw (reopened, id), raw (project, id)) << id;
    EXPECT_EQ (reopened.getCurrentPresetLabel(), "BASS / SUB CLEAN");
    EXPECT_EQ (reopened.getEditState().abString(), project.getEditState().abString());
    EXPECT_TRUE (reopened.getEditState().isBActive());
}

//==============================================================================
// A host saving on its own thread while the audio thread runs and the user edits on the message thread.
TEST (PluginStateThreads, SavingWhileProcessingAndEditing)
{
    auto processor = reso::test::makePrepared (48000.0, 2, 256);
    auto& edits = processor->getEditState();
    std::atomic<bool> stop { false };
    std::atomic<int> savedBlobs { 0 }, badBlobs { 0 };

    std::thread audio ([&] {
        auto input = reso::test::noise (256, 3);
        std::vector<float> left (input), right (input);
        juce::MidiBuffer midi;
        while (! stop.load())
        {
            float* channels[] = { left.data(), right.data() };
            juce::AudioBuffer<float> buffer (channels, 2, 256);
            processor->processBlock (buffer, midi);
            std::copy (input.begin(), input.end(), left.begin());
            std::copy (input.begin(), input.end(), right.begin());
        }
    });

    std::thread host ([&] {
        while (! stop.load())
        {
            juce::MemoryBlock blob;
            processor->getStateInformation (blob);
            auto xml = juce::AudioProcessor::getXmlFromBinary (blob.getData(), (int) blob.getSize());
            if (xml == nullptr || xml->getNumChildElements() != 35)
                ++badBlobs;
            ++savedBlobs;
        }
    });

    for (int i = 0; i < 300 || savedBlobs.load() < 20; ++i)
    {
        move (*processor, "depth", 0.1f + 0.002f * (float) (i % 300));
        move (*processor, "b2_freq", 100.0f + (float) i);
        if (i % 7 == 0)
            edits.undo();
        if (i % 11 == 0)
            edits.selectSlot (i % 22 == 0);
        if (i % 13 == 0)
            processor->getPluginState().setPreset ("BASS", "STEP " + juce::String (i));
        if (i % 50 == 0)
            setPlain (*processor, "quality", (float) ((i / 50) % 3));
        processor->getPluginState().setEditorSize (800 + i, 450 + i);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (1);
    }

    stop.store (true);
    audio.join();
    host.join();
    EXPECT_EQ (badBlobs.load(), 0);
    EXPECT_GE (savedBlobs.load(), 20);

    ResoProcessor reopened;
    load (reopened, save (*processor));
    for (const auto& id : reso::allParameterIds())
        EXPECT_EQ (raw (reopened, id), raw (*processor, id)) << id;
}

} // namespace
