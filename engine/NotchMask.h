#pragma once

#include "BlockControls.h"
#include "EngineConfig.h"
#include "PeakRecord.h"

#include <vector>

namespace reso
{

// Per-bin gain mask in dB (never above 0) made of one raised-cosine notch per unprotected peak.
// Each build draws this frame's notches (flat top, depth from the peak's strength and either the band
// amount or the fallback depth), smooths them with a three-tap minimum, and moves the running mask towards
// them with attack/release ballistics and a per-frame slew limit. combine folds in the band gains.
// prepare allocates; everything else is allocation-free and noexcept. Indices handed in are clamped to the
// bin range, so no caller value can reach outside the arrays.
class NotchMask
{
public:
    // Sizes everything for N = fftSize and an analysis period of periodSamples samples.
    void prepare (int fftSize, double sampleRate, const EngineConfig& config, int periodSamples);

    // Clears raw, current and final; the final mask becomes invalid.
    void reset() noexcept;

    // Draws the notches of this frame over firstBin..lastBin and advances the running mask.
    // amountPerBin and presencePerBin may be null (band gain computer off); final becomes invalid.
    void build (const PeakRecord* peaks, int count, const BlockControls& controls, int firstBin, int lastBin,
        const float* amountPerBin, const float* presencePerBin) noexcept;

    // final = current everywhere, lowered to bandGains over firstBin..lastBin; final becomes valid.
    void combine (const float* bandGains, int firstBin, int lastBin) noexcept;

    // The mask to apply: final when valid, else current.
    const float* curve() const noexcept { return finalValidFlag ? finalGains.data() : currentGains.data(); }
    const float* raw() const noexcept { return rawGains.data(); }
    const float* current() const noexcept { return currentGains.data(); }
    const float* finalMask() const noexcept { return finalGains.data(); }
    bool finalValid() const noexcept { return finalValidFlag; }

    // Copies raw, current, final and the valid flag from a mask prepared with the same size.
    void copyFrom (const NotchMask& other) noexcept;

    // Strength (0..1) of a peak whose prominence is levelDb, from the threshold, knee and mode.
    static float strength (float levelDb, const BlockControls& controls, const EngineConfig& config) noexcept;

    int binCount() const noexcept { return bins; }
    double periodMs() const noexcept { return framePeriodMs; }
    float attackCoefficient() const noexcept { return attackCoeff; }
    float releaseCoefficient() const noexcept { return releaseCoeff; }
    float slewPerFrame() const noexcept { return slewDb; }

private:
    EngineConfig config;
    int bins = 0;
    double framePeriodMs = 0.0;
    float attackCoeff = 1.0f, releaseCoeff = 1.0f, slewDb = 0.0f;
    float cachedAttackScale = 1.0f, cachedReleaseScale = 1.0f;
    std::vector<float> rawGains, currentGains, scratch, finalGains;
    bool finalValidFlag = false;
};

} // namespace reso
