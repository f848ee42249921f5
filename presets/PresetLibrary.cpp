#include "PresetLibrary.h"

#include "FactoryPresets.h"
#include "SafeWrite.h"

namespace reso
{

namespace
{
bool written (const juce::File& target, const juce::String& text)
{
    return tesmar::detail::writeTextSafely (target, text) == tesmar::detail::WriteOutcome::written;
}
} // namespace

PresetLibrary::PresetLibrary (const juce::File& rootFolder) : root (rootFolder)
{
    for (const auto& row : factory::presets())
        entries.push_back ({ row.folder, row.name, row.description, true, {}, factory::values (row) });
    numFactory = (int) entries.size();
    rescan();
}

const juce::StringArray& PresetLibrary::categories() { return factory::folders(); }

juce::String PresetLibrary::sanitiseName (const juce::String& name)
{
    return name.trim()
        .toUpperCase()
        .retainCharacters ("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 _.+&()#")
        .trim()
        .substring (0, maxNameLength);
}

void PresetLibrary::rescan()
{
    entries.resize ((size_t) numFactory);

    const auto folder = userFolder();
    if (! folder.isDirectory())
        return;

    auto files = folder.findChildFiles (juce::File::findFiles, false, juce::String ("*") + presetfile::extension);
    std::sort (files.begin(), files.end(), [] (const juce::File& a, const juce::File& b) {
        return a.getFullPathName().compareIgnoreCase (b.getFullPathName()) < 0;
    });

    for (const auto& file : files)
    {
        juce::String name;
        PresetValues values;
        if (! presetfile::read (file.loadFileAsString(), name, values))
            continue;
        if (name.isEmpty())
            name = file.getFileNameWithoutExtension();
        entries.push_back ({ userFolderName, name, {}, false, file, std::move (values) });
    }
}

int PresetLibrary::find (const juce::String& folder, const juce::String& name) const
{
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].folder == folder && entries[i].name == name)
            return (int) i;
    return -1;
}

int PresetLibrary::save (const juce::String& name, const PresetValues& values, bool overwrite)
{
    const auto sanitised = sanitiseName (name);
    if (sanitised.isEmpty())
        return -1;

    const auto folder = userFolder();
    if (! folder.isDirectory() && ! folder.createDirectory().wasOk())
        return -1;

    auto finalName = sanitised;
    auto file = folder.getChildFile (finalName + presetfile::extension);
    if (! overwrite && file.exists())
    {
        // numbered copies; when every number is taken the save fails rather than replace a preset
        bool found = false;
        for (int number = 2; number <= 999 && ! found; ++number)
        {
            finalName = sanitised.substring (0, 36) + " " + juce::String (number);
            file = folder.getChildFile (finalName + presetfile::extension);
            found = ! file.exists();
        }
        if (! found)
            return -1;
    }

    if (! written (file, presetfile::write (finalName, values)))
        return -1;

    rescan();
    return find (userFolderName, finalName);
}

int PresetLibrary::importFile (const juce::File& file)
{
    if (! file.existsAsFile())
        return -1;

    juce::String name;
    PresetValues values;
    if (! presetfile::read (file.loadFileAsString(), name, values))
        return -1;
    if (name.isEmpty())
        name = file.getFileNameWithoutExtension();
    return save (name, values, false);
}

bool PresetLibrary::loadDefault (PresetValues& values) const
{
    const auto file = root.getChildFile (defaultFileName);
    if (! file.existsAsFile())
        return false;
    juce::String name;
    return presetfile::read (file.loadFileAsString(), name, values);
}

bool PresetLibrary::setDefault (const PresetValues& values)
{
    if (! root.isDirectory() && ! root.createDirectory().wasOk())
        return false;
    return written (root.getChildFile (defaultFileName), presetfile::write ("DEFAULT", values));
}

} // namespace reso
