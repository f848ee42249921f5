#include "ResoProcessor.h"

// The processor's preset operations: they keep the current preset folder and name up to date.

namespace reso
{

PresetValues ResoProcessor::captureCurrentValues() const
{
    PresetValues values;
    for (const auto& id : presetParameterIds())
        if (auto* p = parameters.getParameter (id))
            values.push_back ({ id, p->convertFrom0to1 (p->getValue()) });
    return values;
}

void ResoProcessor::applyPresetValues (const PresetValues& values)
{
    editState.performAsOneStep ([&] {
        for (const auto& v : values)
            if (auto* p = parameters.getParameter (v.id))
            {
                p->beginChangeGesture();
                p->setValueNotifyingHost (p->convertTo0to1 (v.value));
                p->endChangeGesture();
            }
    });
}

int ResoProcessor::currentPresetPosition() const
{
    return presetLibrary->find (pluginState.getPresetFolder(), pluginState.getPresetName());
}

bool ResoProcessor::currentUserPresetName (juce::String& name) const
{
    const auto current = pluginState.getPresetName();
    if (pluginState.getPresetFolder() != PresetLibrary::userFolderName || current.isEmpty())
        return false;
    name = current;
    return true;
}

void ResoProcessor::loadPreset (int position)
{
    if (! presetLibrary->isValid (position))
        return;
    const auto entry = presetLibrary->entry (position);
    applyPresetValues (entry.values);
    pluginState.setPreset (entry.folder, entry.name);
}

void ResoProcessor::stepPreset (int direction)
{
    const int count = presetLibrary->size();
    if (count == 0)
        return;
    const int position = currentPresetPosition();
    if (position < 0)
        loadPreset (direction < 0 ? count - 1 : 0);
    else
        loadPreset (((position + direction) % count + count) % count);
}

bool ResoProcessor::saveUserPreset (const juce::String& name, bool overwrite)
{
    const int position = presetLibrary->save (name, captureCurrentValues(), overwrite);
    if (position < 0)
        return false;
    pluginState.setPreset (presetLibrary->entry (position).folder, presetLibrary->entry (position).name);
    return true;
}

bool ResoProcessor::setDefaultPreset() { return presetLibrary->setDefault (captureCurrentValues()); }

bool ResoProcessor::deleteCurrentUserPreset()
{
    juce::String name;
    if (! currentUserPresetName (name))
        return false;
    const int position = currentPresetPosition();
    if (position < 0)
        return false;

    const bool deleted = presetLibrary->entry (position).file.deleteFile();
    presetLibrary->rescan();
    pluginState.setPreset ({}, {});
    return deleted;
}

} // namespace reso
