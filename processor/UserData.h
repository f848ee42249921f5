#pragma once

#include <juce_core/juce_core.h>

namespace reso
{

// The per-user data folder: the user's application-data folder / "Tesmar" / "ORVEL". It holds the default
// preset, the user presets, the UI settings and "boot.log". The folder is not created here.
// The process-wide override lets tests (and tools) run without touching the real user folder.
juce::File userDataFolder();

// Makes userDataFolder() return this folder for the whole process; a default-constructed File restores
// the user's own folder. Safe to call from any thread.
void setUserDataFolderOverride (const juce::File& folder);

} // namespace reso
