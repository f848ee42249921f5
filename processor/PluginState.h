#pragma once

#include "EditState.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <mutex>

namespace reso
{

// What the processor keeps for the project besides its parameters: the current preset's folder and name
// and the remembered editor size, and the blob the host saves and restores (the parameter tree's XML with
// "uiW", "uiH", "presetFolder", "presetName" and "ab" on its "RESO" root). A blob that does not unwrap or
// has another root is ignored and changes nothing. Saving and loading may run on any host thread: the
// strings are behind a mutex, the size is atomic, and the live parameter tree is only changed through the
// framework's own locked calls.
class PluginState
{
public:
    static constexpr int defaultWidth = 1000, defaultHeight = 560;
    static constexpr int minWidth = 750, maxWidth = 2000;
    static constexpr int minHeight = 420, maxHeight = 1120;
    static constexpr float legacyLowProtectHz = 250.0f;

    // The preset last loaded or saved; an empty name means no named preset is current.
    void setPreset (const juce::String& folder, const juce::String& name);
    juce::String getPresetFolder() const;
    juce::String getPresetName() const;
    // folder + " / " + name, or "INIT" while no named preset is current.
    juce::String currentPresetLabel() const;

    // The editor reports its size on every resize; from then on the size is saved with the project.
    void setEditorSize (int width, int height) noexcept;
    int getEditorWidth() const noexcept { return editorWidth.load(); }
    int getEditorHeight() const noexcept { return editorHeight.load(); }
    bool isEditorSizeKnown() const noexcept { return editorSizeKnown.load(); }

    // Writes the blob for the host.
    void save (juce::AudioProcessorValueTreeState& tree, const EditState& edits, juce::MemoryBlock& destination);

    // Restores a blob; false, with nothing changed, when it was ignored. The caller triggers the latency
    // update after a successful load.
    bool load (const void* data, int sizeInBytes, juce::AudioProcessorValueTreeState& tree, EditState& edits);

private:
    mutable std::mutex presetLock;
    juce::String presetFolder, presetName;

    std::atomic<int> editorWidth { defaultWidth }, editorHeight { defaultHeight };
    std::atomic<bool> editorSizeKnown { false };

    // The root's properties in first-insertion order (a property set again keeps its place), as the tree
    // itself would hold them; kept here so that a save never writes into the live tree from a host thread.
    std::mutex blobLock;
    juce::NamedValueSet rootProperties;
};

} // namespace reso
