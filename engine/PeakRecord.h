#pragma once

namespace reso
{

// One detected resonance.
struct PeakRecord
{
    int bin = 0;             // FFT bin of the peak
    float fracBin = 0.0f;    // interpolated position in bins
    float freqHz = 0.0f;     // fracBin * sampleRate / N
    float levelDb = 0.0f;    // prominence: effective excess plus the sensitivity curve
    float widthBins = 1.0f;  // width in bins, at least 1
    float q = 0.0f;          // fracBin / widthBins
    bool isProtected = false; // held by a harmonic or stability hold: gets no notch
};

} // namespace reso
