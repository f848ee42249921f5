#pragma once

#include "BlockControls.h"
#include "EngineConfig.h"
#include "ResoChannel.h"

#include <cstdint>
#include <vector>

namespace reso
{

// One complete resonance suppressor for one FFT size: two channel processors, the stereo matrix
// ("L/R", "LINK", "M/S") and the output trim. The output is the input delayed by exactly N samples.
// prepare allocates everything; process works in place, never allocates and never blocks.
class ResoEngine
{
public:
    // Sizes everything for config.fftSize and 1 or 2 channels. Must not run concurrently with process.
    void prepare (double sampleRate, const EngineConfig& config, int numChannels);

    // Clears all signal history; sizes and block controls stay.
    void reset() noexcept;

    // Takes the controls for the next process call.
    void loadBlockControls (const BlockControls& newControls) noexcept;

    // Processes in place; right may be null. numSamples may be anything from 0 up.
    void process (float* left, float* right, int numSamples) noexcept;

    int latencySamples() const noexcept { return n; }
    int preparedChannels() const noexcept { return channelCount; }
    const BlockControls& blockControls() const noexcept { return controls; }

    ResoChannel& channel (int index) noexcept { return channels[index]; }
    const ResoChannel& channel (int index) const noexcept { return channels[index]; }

    static constexpr int workSize = 512;

private:
    void processMono (float* samples, int numSamples, float targetTrim, bool trimActive) noexcept;
    void processStereo (float* left, float* right, int numSamples, float targetTrim, bool trimActive) noexcept;
    void resetStereoState() noexcept;
    void stepTrim (float targetTrim) noexcept;

    ResoChannel channels[2];
    BlockControls controls;
    int channelCount = 1;
    int n = 0;
    double rate = 48000.0;

    float trimGain = 1.0f, trimCoefficient = 1.0f;
    bool trimSnap = true;

    // stereo matrix
    float angle = 0.0f, maxStep = 0.0f;
    float cosAngle = 1.0f, sinAngle = 0.0f; // of the current angle
    int transitionCounter = 0;
    std::vector<float> cosRing, sinRing;
    std::int64_t ringWrite = 0;
    std::int64_t ringMask = 0;
    std::vector<float> in0, in1, out0, out1, side, cosBuf, sinBuf;
};

} // namespace reso
