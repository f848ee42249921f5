#pragma once

#include <juce_core/juce_core.h>

#include <vector>

namespace reso::render
{

// Where the renderer gets presets from: the plug-in's preset library (factory presets and the user's own),
// or a preset file named by its path.

// A preset as the renderer applies it: plain values by parameter ID, applied before any --set.
struct RenderPreset
{
    juce::String folder, name, description;
    std::vector<std::pair<juce::String, float>> values;
};

// Finds a preset by "FOLDER/NAME", by name alone (letter case ignored), or by the path of a preset file.
// False with a message naming the closest presets when there is none.
bool findPreset (const juce::String& nameOrPath, RenderPreset& result, juce::String& error);

// Every preset that --preset can name; false with a message when presets cannot be listed.
bool listPresets (std::vector<RenderPreset>& result, juce::String& error);

} // namespace reso::render
