#pragma once

#include "PresetFile.h"

namespace reso
{

// One preset the user can load: a factory row or a file in the user folder.
struct PresetEntry
{
    juce::String folder, name, description;
    bool isFactory = false;
    juce::File file;
    PresetValues values;
};

// Every preset the user can load: the 23 factory presets, then the user's own files from
// root / "UserPresets" / "MY PRESETS", sorted by path ignoring case. Also the user's default preset,
// root / "default.orvelpreset". Message thread only. Failures are returned as -1 or false.
class PresetLibrary
{
public:
    static constexpr const char* userFolderName = "MY PRESETS";
    static constexpr const char* defaultFileName = "default.orvelpreset";
    static constexpr int maxNameLength = 40;

    explicit PresetLibrary (const juce::File& rootFolder);

    // Rebuilds the user entries from the user folder; unreadable files are skipped.
    void rescan();

    int size() const noexcept { return (int) entries.size(); }
    int factoryCount() const noexcept { return numFactory; }
    const PresetEntry& entry (int position) const { return entries[(size_t) position]; }
    bool isValid (int position) const noexcept { return position >= 0 && position < size(); }

    // Position of the first entry with exactly this folder and name, or -1.
    int find (const juce::String& folder, const juce::String& name) const;

    // Saves under the sanitised name (numbered " 2" .. " 999" when taken and overwrite is false); returns the
    // saved entry's position, or -1.
    int save (const juce::String& name, const PresetValues& values, bool overwrite);

    // Copies a preset file into the user folder under its own name (or its file name); position or -1.
    int importFile (const juce::File& file);

    // Reads the user's default preset; true when it exists and reads.
    bool loadDefault (PresetValues& values) const;

    // Writes the user's default preset (name "DEFAULT").
    bool setDefault (const PresetValues& values);

    juce::File rootFolder() const { return root; }
    juce::File userFolder() const { return root.getChildFile ("UserPresets").getChildFile (userFolderName); }

    // The factory folders in display order.
    static const juce::StringArray& categories();

    // Trimmed, upper case, only "A-Z 0-9 space _ . + & ( ) #", trimmed again, at most 40 characters.
    // Empty when nothing usable is left.
    static juce::String sanitiseName (const juce::String& name);

private:
    juce::File root;
    std::vector<PresetEntry> entries;
    int numFactory = 0;
};

} // namespace reso
