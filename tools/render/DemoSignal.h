#pragma once

#include "ReductionStats.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

namespace reso::render
{

// The demonstration: seeded stereo pink noise with three narrow resonances and a steady harmonic tone, and
// the summary that says how much each resonance was cut and how little the rest changed.
namespace demo
{
inline constexpr double sampleRate = 48000.0;
inline constexpr double seconds = 8.0;
inline constexpr double resonanceHz[] = { 1250.0, 2900.0, 7400.0 };
inline constexpr double resonanceGainDb = 12.0;
inline constexpr double resonanceQ = 20.0;
inline constexpr double toneHz = 110.0;
inline constexpr int tonePartials = 8;

// The generated input: always the same samples.
juce::AudioBuffer<float> makeInput();

// One line saying what the input holds.
juce::String describeInput();

// Level change in dB between two average spectra (dB per bin) summed over [lowHz, highHz).
double bandChangeDb (
    const std::vector<float>& inputDb, const std::vector<float>& outputDb, double binHz, double lowHz, double highHz);

// The summary lines: the cut at each resonance and how much the rest of the spectrum and the tone changed.
juce::StringArray summarise (
    const std::vector<float>& inputDb, const std::vector<float>& outputDb, double binHz, const ReductionStats& stats);
} // namespace demo

} // namespace reso::render
