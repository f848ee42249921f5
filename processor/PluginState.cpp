#include "PluginState.h"

#include "Parameters.h"

#include <cmath>

namespace reso
{

namespace
{
const juce::Identifier uiWidthId { "uiW" }, uiHeightId { "uiH" };
const juce::Identifier presetFolderId { "presetFolder" }, presetNameId { "presetName" };
const juce::Identifier abId { "ab" };

// The names the framework gives a parameter's entry in the tree.
const juce::Identifier paramType { "PARAM" }, paramId { "id" }, paramValue { "value" };

// A size property: missing gives the default, anything else is read as a number (non-numeric as 0) and
// clamped.
int readSize (const juce::var& value, int defaultValue, int minimum, int maximum)
{
    if (value.isVoid())
        return defaultValue;
    double v = value.toString().getDoubleValue();
    if (! std::isfinite (v))
        v = 0.0;
    return (int) juce::jlimit ((double) minimum, (double) maximum, v);
}

bool hasFiniteValue (const juce::ValueTree& entry)
{
    if (! entry.hasProperty (paramValue))
        return false;
    return std::isfinite (entry[paramValue].toString().getDoubleValue());
}
} // namespace

//==============================================================================
void PluginState::setPreset (const juce::String& folder, const juce::String& name)
{
    const std::lock_guard<std::mutex> guard (presetLock);
    presetFolder = folder;
    presetName = name;
}

juce::String PluginState::getPresetFolder() const
{
    const std::lock_guard<std::mutex> guard (presetLock);
    return presetFolder;
}

juce::String PluginState::getPresetName() const
{
    const std::lock_guard<std::mutex> guard (presetLock);
    return presetName;
}

juce::String PluginState::currentPresetLabel() const
{
    const std::lock_guard<std::mutex> guard (presetLock);
    return presetName.isEmpty() ? juce::String ("INIT") : presetFolder + " / " + presetName;
}

void PluginState::setEditorSize (int width, int height) noexcept
{
    editorWidth.store (width);
    editorHeight.store (height);
    editorSizeKnown.store (true);
}

//==============================================================================
void PluginState::save (juce::AudioProcessorValueTreeState& tree, const EditState& edits,
                        juce::MemoryBlock& destination)
{
    const std::lock_guard<std::mutex> guard (blobLock);

    if (editorSizeKnown.load())
    {
        rootProperties.set (uiWidthId, editorWidth.load());
        rootProperties.set (uiHeightId, editorHeight.load());
    }
    {
        const std::lock_guard<std::mutex> presetGuard (presetLock);
        rootProperties.set (presetFolderId, presetFolder);
        rootProperties.set (presetNameId, presetName);
    }
    rootProperties.set (abId, edits.abString());

    auto state = tree.copyState();
    state.removeAllProperties (nullptr);
    for (const auto& property : rootProperties)
        state.setProperty (property.name, property.value, nullptr);

    if (auto xml = state.createXml())
        juce::AudioProcessor::copyXmlToBinary (*xml, destination);
}

bool PluginState::load (const void* data, int sizeInBytes, juce::AudioProcessorValueTreeState& tree,
                        EditState& edits)
{
    const auto xml = juce::AudioProcessor::getXmlFromBinary (data, sizeInBytes);
    if (xml == nullptr || ! xml->hasTagName (stateType.toString()))
        return false;

    bool hadLowProtect = false;
    for (auto* child : xml->getChildIterator())
        hadLowProtect = hadLowProtect || child->getStringAttribute (paramId) == ids::lowProtect;

    // Parameters the blob leaves out, or gives no usable number for, keep their current values: the
    // framework would otherwise reset a missing one to its default and pass a "nan" straight through.
    auto state = juce::ValueTree::fromXml (*xml);
    for (const auto& id : allParameterIds())
    {
        const float current = tree.getRawParameterValue (id)->load();
        bool found = false;
        for (auto entry : state)
        {
            if (! entry.hasType (paramType) || entry[paramId].toString() != id)
                continue;
            found = true;
            if (! hasFiniteValue (entry))
                entry.setProperty (paramValue, current, nullptr);
        }
        if (! found)
            state.appendChild (juce::ValueTree (paramType, { { paramId, id }, { paramValue, current } }), nullptr);
    }

    tree.replaceState (state);

    if (! hadLowProtect)
    {
        auto* lowProtect = tree.getParameter (ids::lowProtect);
        lowProtect->setValueNotifyingHost (lowProtect->convertTo0to1 (legacyLowProtectHz));
    }

    editorWidth.store (readSize (state[uiWidthId], defaultWidth, minWidth, maxWidth));
    editorHeight.store (readSize (state[uiHeightId], defaultHeight, minHeight, maxHeight));
    if (state.hasProperty (uiWidthId))
        editorSizeKnown.store (true);

    setPreset (state[presetFolderId].toString(), state[presetNameId].toString());
    edits.restoreAbString (state[abId].toString());

    const std::lock_guard<std::mutex> guard (blobLock);
    rootProperties.clear();
    for (int i = 0; i < state.getNumProperties(); ++i)
        rootProperties.set (state.getPropertyName (i), state.getProperty (state.getPropertyName (i)));
    return true;
}

} // namespace reso
