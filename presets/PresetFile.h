#pragma once

#include <juce_core/juce_core.h>

#include <vector>

namespace reso
{

// One entry of a preset: a parameter ID and its plain value (Hz, ms, dB, 0..1, or a choice index).
struct PresetValue
{
    juce::String id;
    float value = 0.0f;

    bool operator== (const PresetValue& other) const { return id == other.id && value == other.value; }
};

using PresetValues = std::vector<PresetValue>;

// The "*.orvelpreset" text: root "RESO_PRESET" with "format" and "name", one "P" child per value with
// "id" and "v".
namespace presetfile
{
inline constexpr const char* extension = ".orvelpreset";

// The preset as XML text, values in list order.
juce::String write (const juce::String& name, const PresetValues& values);

// Reads a preset text. Unknown IDs and other elements are skipped; a list without "low_protect" gets
// ("low_protect", 250). Fails (leaving name and values untouched) when the text does not parse, the root is
// not "RESO_PRESET", or no usable value is found.
bool read (const juce::String& text, juce::String& name, PresetValues& values);
} // namespace presetfile

} // namespace reso
