#include "PresetSource.h"

#include "ParameterText.h"
#include "presets/PresetLibrary.h"
#include "processor/UserData.h"

namespace reso::render
{

namespace
{
RenderPreset fromEntry (const PresetEntry& entry)
{
    RenderPreset preset { entry.folder, entry.name, entry.description, {} };
    for (const auto& v : entry.values)
        preset.values.emplace_back (v.id, v.value);
    return preset;
}
} // namespace

bool findPreset (const juce::String& nameOrPath, RenderPreset& result, juce::String& error)
{
    const auto asFile = juce::File::getCurrentWorkingDirectory().getChildFile (nameOrPath);
    if (asFile.existsAsFile())
    {
        PresetEntry entry;
        if (! presetfile::read (asFile.loadFileAsString(), entry.name, entry.values))
        {
            error = "\"" + asFile.getFullPathName() + "\" is not a ORVEL preset";
            return false;
        }
        entry.folder = "FILE";
        if (entry.name.isEmpty())
            entry.name = asFile.getFileNameWithoutExtension();
        result = fromEntry (entry);
        return true;
    }

    PresetLibrary library (userDataFolder());
    const auto wanted = nameOrPath.trim();
    const bool withFolder = wanted.containsChar ('/');
    const auto folder = wanted.upToFirstOccurrenceOf ("/", false, false).trim();
    const auto name = wanted.fromFirstOccurrenceOf ("/", false, false).trim();

    juce::StringArray known, names;
    for (int i = 0; i < library.size(); ++i)
    {
        const auto& entry = library.entry (i);
        const bool matches = withFolder ? entry.folder.equalsIgnoreCase (folder) && entry.name.equalsIgnoreCase (name)
                                        : entry.name.equalsIgnoreCase (wanted);
        if (matches)
        {
            result = fromEntry (entry);
            return true;
        }
        known.add (entry.folder + "/" + entry.name);
        names.add (entry.name);
    }

    // suggestions in the form the user typed: by full "FOLDER/NAME", or by name alone
    juce::StringArray close;
    if (withFolder)
        close = closestNames (wanted, known);
    else
        for (const auto& n : closestNames (wanted, names))
            close.add (known[names.indexOf (n)]);
    error = "unknown preset \"" + nameOrPath + "\"";
    if (! close.isEmpty())
        error << "; did you mean " << close.joinIntoString (", ") << "?";
    error << " (--list-presets lists them all)";
    return false;
}

bool listPresets (std::vector<RenderPreset>& result, juce::String&)
{
    PresetLibrary library (userDataFolder());
    result.clear();
    for (int i = 0; i < library.size(); ++i)
        result.push_back (fromEntry (library.entry (i)));
    return true;
}

} // namespace reso::render
