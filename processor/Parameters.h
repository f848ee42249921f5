#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>

namespace reso
{

// The plug-in's parameter set: IDs, the layout in host order, the text conversions and the ID lists that
// presets and the edit history depend on.
namespace ids
{
inline constexpr const char* depth = "depth";
inline constexpr const char* sharpness = "sharpness";
inline constexpr const char* selectivity = "selectivity";
inline constexpr const char* focusLow = "focus_low";
inline constexpr const char* focusHigh = "focus_high";
inline constexpr const char* mix = "mix";
inline constexpr const char* delta = "delta";
inline constexpr const char* bypass = "bypass";
inline constexpr const char* attack = "attack";
inline constexpr const char* release = "release";
inline constexpr const char* mode = "mode";
inline constexpr const char* stereo = "stereo";
inline constexpr const char* quality = "quality";
inline constexpr const char* trim = "trim";
inline constexpr const char* lowProtect = "low_protect";

// "b1_type", "b1_freq", ... for band 1 to 5 and suffix "type", "freq", "gain" or "q"
juce::String band (int bandNumber, const char* suffix);
} // namespace ids

inline constexpr int numParameters = 35;
inline constexpr int numBands = 5;

// Parameter tree state type.
inline const juce::Identifier stateType { "RESO" };

// FFT size (= latency) per quality index.
inline constexpr std::array<int, 3> qualityFftSizes { 1024, 2048, 4096 };

// All 35 parameters in declaration (host) order.
juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();

// The 35 IDs in declaration order.
const juce::StringArray& allParameterIds();

// The 30 IDs a preset stores, in preset order; built once, shared.
const juce::StringArray& presetParameterIds();

// The 33 parameters the undo history and A/B slots cover: all but "delta" and "bypass", in declaration order.
const juce::StringArray& editTrackedParameterIds();

// Text conversions shared by hosts and typed entry.
namespace text
{
juce::String percent (float value);
juce::String frequency (float hz);
juce::String milliseconds (float ms);
juce::String decibels (float db);
juce::String qValue (float q);
juce::String lowProtect (float hz);

float parsePercent (const juce::String& text);
float parseFrequency (const juce::String& text);
float parsePlainNumber (const juce::String& text);
float parseLowProtect (const juce::String& text);
} // namespace text

} // namespace reso
