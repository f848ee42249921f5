#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <vector>

namespace reso::render
{

// Parameter values given as text on the command line ("focus_low=2k", "mode=HARD"), read through each
// parameter's own text-to-value conversion, plus the listings of the parameter set.

// One "--set ID=VALUE".
struct ParameterSetting
{
    juce::String id;
    juce::String text;
};

// Splits "ID=VALUE"; false with a message when there is no '=' or either side is empty.
bool splitSetting (const juce::String& argument, ParameterSetting& result, juce::String& error);

// Finds a parameter by ID (letter case ignored); null when there is none.
juce::RangedAudioParameter* findParameter (juce::AudioProcessorValueTreeState& parameters, const juce::String& id);

// The message for an unknown ID: the closest IDs, then every valid one.
juce::String unknownParameterMessage (const juce::String& id);

// Reads text as a value of the parameter through its own conversion and returns the normalised value.
// Text the conversion cannot make sense of is refused: for a choice, a name that is none of its choices
// (letter case ignored); for a switch, anything but on/off, yes/no, true/false or a whole number; for a float,
// text without a digit, unless the parameter reads it back as that same word (Low Protect's "off").
bool parseParameterText (
    const juce::RangedAudioParameter& parameter, const juce::String& text, float& normalised, juce::String& error);

// Applies every setting in order: each is checked first, and nothing is changed when any of them fails.
juce::Result applySettings (
    juce::AudioProcessorValueTreeState& parameters, const std::vector<ParameterSetting>& settings);

// The plain value of a parameter: Hz, ms, dB, 0..1, or the index of a choice.
float plainValue (const juce::RangedAudioParameter& parameter);

// "ID  Name  Range  Default" for every parameter, in host order.
juce::String parameterListing (juce::AudioProcessorValueTreeState& parameters);

// One line per parameter: "ID = TEXT (PLAIN)"; only those away from their defaults when changedOnly.
juce::StringArray describeValues (juce::AudioProcessorValueTreeState& parameters, bool changedOnly);

// The candidates closest to name by edit distance (letter case ignored), best first, at most maxCount.
juce::StringArray closestNames (const juce::String& name, const juce::StringArray& candidates, int maxCount = 3);

} // namespace reso::render
