#pragma once

#include "PresetFile.h"

#include <array>

namespace reso
{

// The 23 presets built into the module, grouped by folder. Constant data, never files.
struct FactoryBand
{
    int type;
    float freq, gain, q;
};

struct FactoryPreset
{
    const char* folder;
    const char* name;
    const char* description;
    float depth, sharpness, selectivity, attack, release;
    bool hard;
    float focusLow, focusHigh;
    std::array<FactoryBand, 5> bands;
};

namespace factory
{
inline constexpr int count = 23;

// The rows in folder order.
const std::array<FactoryPreset, count>& presets();

// "BASS", "DRUMS", "GUITARS", "KEYS", "MASTERING", "MIX BUS", "VOCALS".
const juce::StringArray& folders();

// The 30 values of a row: depth, sharpness, selectivity, attack, release, mode, mix, focus_low, focus_high,
// low_protect, then each band's type, freq, gain and q.
PresetValues values (const FactoryPreset& row);
} // namespace factory

} // namespace reso
