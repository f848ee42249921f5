#include "PresetSource.h"

namespace reso::render
{

namespace
{
const char* const notAvailable = "presets not available yet: this build has no preset library";
}

bool findPreset (const juce::String& nameOrPath, RenderPreset& result, juce::String& error)
{
    juce::ignoreUnused (result);
    error = juce::String (notAvailable) + " (cannot load \"" + nameOrPath + "\"); use --set ID=VALUE instead";
    return false;
}

bool listPresets (std::vector<RenderPreset>& result, juce::String& error)
{
    result.clear();
    error = notAvailable;
    return false;
}

} // namespace reso::render
