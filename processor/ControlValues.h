#pragma once

#include "engine/BlockControls.h"

namespace reso
{

// The raw (plain, denormalised) parameter values the audio path reads once per host block.
struct RawControlValues
{
    float depth = 0.31f, sharpness = 0.5f, selectivity = 0.5f;
    float focusLow = 20.0f, focusHigh = 20000.0f;
    float mix = 1.0f, delta = 0.0f, bypass = 0.0f;
    float attack = 40.0f, release = 220.0f;
    float mode = 0.0f, stereo = 0.0f, quality = 1.0f, trim = 0.0f;
    float lowProtect = 250.0f;
    struct Band
    {
        float type, freq, gain, q;
    } bands[5] = { { 1, 63, 0, 0.71f }, { 0, 250, 0, 1 }, { 0, 1000, 0, 1 }, { 0, 4000, 0, 1 }, { 2, 11000, 0, 0.71f } };
};

// A choice value as an index: the nearest integer, clamped to 0 .. count - 1.
int choiceIndex (float raw, int count) noexcept;

// Derives the engine's block controls from raw values. bypassed is true for a host bypass call.
BlockControls makeBlockControls (const RawControlValues& raw, bool bypassed) noexcept;

} // namespace reso
