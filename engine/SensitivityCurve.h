#pragma once

#include "BlockControls.h"

#include <vector>

namespace reso
{

// Detection sensitivity offset in dB per bin from the five user bands: the sum of the magnitude responses
// of their peaking / low-shelf / high-shelf biquads, evaluated in double. It is recomputed only when a band
// differs from the cached copy, and is inactive (all zero) while every band gain is 0.
// prepare allocates; update never does.
class SensitivityCurve
{
public:
    // Sizes the curve for N = fftSize (all zero), invalidates the band cache and makes the curve inactive.
    void prepare (int fftSize, double sampleRate);

    // Recomputes the curve when any of the five bands changed since the last call.
    void update (const BandControl (&bands)[5]) noexcept;

    bool active() const noexcept { return isActive; }
    const float* values() const noexcept { return curve.data(); }
    int binCount() const noexcept { return bins; }

    // Number of recomputations since prepare.
    int computations() const noexcept { return computeCount; }

    // Magnitude in dB of one band's biquad at frequency hz.
    static double response (const BandControl& band, double hz, double sampleRate) noexcept;

private:
    int bins = 0;
    double rate = 48000.0;
    std::vector<float> curve;
    std::vector<double> trig; // cos w, sin w, cos 2w, sin 2w per bin
    BandControl cache[5];
    bool cacheValid = false;
    bool isActive = false;
    int computeCount = 0;
};

} // namespace reso
