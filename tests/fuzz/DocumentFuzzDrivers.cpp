#include "DocumentFuzzDrivers.h"

#include "presets/PresetFile.h"
#include "processor/ResoProcessor.h"
#include "processor/UserData.h"

#include <cmath>

namespace reso::fuzz
{

namespace
{
// Every parameter's normalised value finite and in 0..1; empty when so.
std::string parametersSane (ResoProcessor& processor)
{
    for (auto* p : processor.getParameters().processor.getParameters())
    {
        const float v = p->getValue();
        if (! std::isfinite (v) || v < 0.0f || v > 1.0f)
            return "parameter " + p->getName (100).toStdString() + " holds " + std::to_string (v);
    }
    return {};
}

std::vector<float> values (ResoProcessor& processor)
{
    std::vector<float> v;
    for (auto* p : processor.getParameters().processor.getParameters())
        v.push_back (p->getValue());
    return v;
}
} // namespace

void useTemporaryDataFolder()
{
    auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("orvel-fuzz-data");
    folder.createDirectory();
    setUserDataFolderOverride (folder);
}

std::string checkPresetText (const std::uint8_t* data, std::size_t size)
{
    const auto text = juce::String::fromUTF8 (reinterpret_cast<const char*> (data), (int) size);
    juce::String name;
    PresetValues read;
    if (! presetfile::read (text, name, read))
        return {};

    bool hasLowProtect = false;
    for (const auto& v : read)
    {
        if (! presetParameterIds().contains (v.id))
            return "read an unknown ID " + v.id.toStdString();
        hasLowProtect = hasLowProtect || v.id == "low_protect";
    }
    if (! hasLowProtect)
        return "no low_protect after reading";

    ResoProcessor processor;
    processor.applyPresetValues (read);
    if (auto problem = parametersSane (processor); ! problem.empty())
        return "after applying: " + problem;

    // what the processor holds now writes and reads back to the same values
    const auto captured = processor.captureCurrentValues();
    juce::String backName;
    PresetValues back;
    if (! presetfile::read (presetfile::write (name, captured), backName, back) || back != captured || backName != name)
        return "a written preset does not read back";
    return {};
}

std::string checkStateBlob (const std::uint8_t* data, std::size_t size)
{
    ResoProcessor processor;
    processor.setStateInformation (data, (int) size);
    if (auto problem = parametersSane (processor); ! problem.empty())
        return "after loading: " + problem;

    juce::MemoryBlock saved;
    processor.getStateInformation (saved);
    ResoProcessor again;
    again.setStateInformation (saved.getData(), (int) saved.getSize());
    // plain values go through the text of the blob and back through each range: equal within float rounding
    const auto a = values (again), b = values (processor);
    for (size_t i = 0; i < a.size(); ++i)
        if (std::abs (a[i] - b[i]) > 1.0e-6f)
            return "a saved state does not load back to the same parameters ("
                   + processor.getParameters().processor.getParameters()[(int) i]->getName (100).toStdString() + ")";
    if (again.getCurrentPresetLabel() != processor.getCurrentPresetLabel())
        return "a saved state does not load back to the same preset";
    return {};
}

std::string checkAbString (const std::uint8_t* data, std::size_t size)
{
    const auto text = juce::String::fromUTF8 (reinterpret_cast<const char*> (data), (int) size);
    ResoProcessor processor;
    auto& edits = processor.getEditState();
    edits.restoreAbString (text);
    if (auto problem = parametersSane (processor); ! problem.empty())
        return "after restoring: " + problem;

    const auto written = edits.abString();
    ResoProcessor again;
    again.getEditState().restoreAbString (written);
    if (again.getEditState().abString() != written)
        return "a written A/B string does not restore to itself";
    return {};
}

} // namespace reso::fuzz
