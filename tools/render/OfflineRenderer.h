#pragma once

#include "ReductionStats.h"
#include "SpectrumAverager.h"

#include "processor/ResoProcessor.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <functional>

namespace reso::render
{

// Runs a ResoProcessor over a whole file the way a host renders offline: the bus layout of the file (mono
// or stereo), prepareToPlay at the file's rate, then processBlock on host blocks of 512 samples. The latency
// is compensated: the first N output samples are dropped and N samples of silence are fed after the input,
// so the output has the input's length and lines up with it sample for sample. After every block the
// processor's analysis snapshot is read (the renderer counts as an open editor) for the statistics.
struct RenderJob
{
    static constexpr int blockSize = 512;

    juce::AudioFormatReader* reader = nullptr;
    juce::AudioFormatWriter* writer = nullptr;  // null: nothing is written
    ReductionStats* stats = nullptr;            // optional
    SpectrumAverager* inputSpectrum = nullptr;  // optional, prepared by the renderer
    SpectrumAverager* outputSpectrum = nullptr; // optional, fed with the aligned output
    std::function<void (double fractionDone)> onProgress;
    std::function<bool()> shouldStop; // polled once per block
};

// Result of a render: ok, or why it stopped. latencyOut receives the compensated latency in samples.
juce::Result renderFile (ResoProcessor& processor, const RenderJob& job, int& latencyOut);

// The message of a render that shouldStop ended.
inline constexpr const char* interruptedMessage = "interrupted";

} // namespace reso::render
