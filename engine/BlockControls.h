#pragma once

namespace reso
{

// One sensitivity band as the engine reads it.
struct BandControl
{
    int type = 0;        // 0 bell, 1 low shelf, 2 high shelf
    float freq = 1000.0f; // Hz
    float gain = 0.0f;    // dB; exactly 0 when its magnitude is below 0.005 dB
    float q = 1.0f;
};

// The parameter values handed to the engine once per host block. Built from the raw parameter values
// on the audio thread with plain loads; the engine smooths whatever needs smoothing.
struct BlockControls
{
    float depth = 0.31f;
    float sharpness = 0.5f;
    bool bypassed = false;
    bool delta = false;
    float selectivity = 0.5f;
    float mix = 1.0f;
    float focusLow = 0.0f;      // Hz, 0 = no lower focus limit
    float focusHigh = 0.0f;     // Hz, 0 = no upper focus limit
    bool hardMode = false;
    float attackScale = 1.0f;   // attack / 40 ms
    float releaseScale = 1.0f;  // release / 220 ms
    float lowProtect = 250.0f;  // Hz, 0 = off
    BandControl bands[5] = { { 1, 63.0f, 0.0f, 0.71f },
                             { 0, 250.0f, 0.0f, 1.0f },
                             { 0, 1000.0f, 0.0f, 1.0f },
                             { 0, 4000.0f, 0.0f, 1.0f },
                             { 2, 11000.0f, 0.0f, 0.71f } };
    int stereoMode = 0;         // 0 L/R, 1 LINK, 2 M/S
    float trimDb = 0.0f;
};

} // namespace reso
