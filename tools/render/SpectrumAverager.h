#pragma once

#include "engine/RealFft.h"

#include <vector>

namespace reso::render
{

// The average power spectrum of a signal fed in pieces: Hann-windowed frames with half overlap, powers
// averaged over frames and channels. Levels are in dB relative to full scale (a full-scale sine's peak bin
// reads 0 dB). The frame size follows the sample rate so that bins are about 12 Hz wide.
class SpectrumAverager
{
public:
    // Sizes the averager for a rate and channel count; clears what was averaged.
    void prepare (double sampleRate, int channels);

    // Adds numSamples samples of every channel (channels[c] points at channel c's samples).
    void add (const float* const* channels, int numSamples);

    // Ends the signal: a signal shorter than one frame is analysed as one zero-padded frame.
    void finish();

    int frameSize() const noexcept { return fft.size(); }
    int frames() const noexcept { return frameCount; }
    double binHz() const noexcept { return rate / fft.size(); }

    // Average level per bin in dBFS (bins 0 .. frameSize/2); -200 dB where nothing was averaged.
    std::vector<float> levelsDb() const;

    // The frame size used at a sample rate: 4096 at 44.1 and 48 kHz, scaled with the rate.
    static int frameSizeFor (double sampleRate);

private:
    void analyseFrame();

    RealFft fft;
    double rate = 48000.0;
    int numChannels = 1, filled = 0, frameCount = 0;
    std::vector<std::vector<float>> pending;
    std::vector<float> window, frame, re, im;
    std::vector<double> powerSum;
    double windowGain = 1.0;
};

} // namespace reso::render
