#pragma once

#include "processor/ResoProcessor.h"

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace reso::test
{

// Sets a parameter to a plain value the way the host does.
inline void setPlain (ResoProcessor& processor, const juce::String& id, float plainValue)
{
    auto* p = processor.getParameters().getParameter (id);
    p->setValueNotifyingHost (p->convertTo0to1 (plainValue));
}

// A processor with the given bus layout, prepared at the given rate.
inline std::unique_ptr<ResoProcessor> makePrepared (double sampleRate, int channels, int blockSize = 512)
{
    auto processor = std::make_unique<ResoProcessor>();
    const auto set = channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (set);
    layout.outputBuses.add (set);
    processor->setBusesLayout (layout);
    processor->setRateAndBufferSizeDetails (sampleRate, blockSize);
    processor->prepareToPlay (sampleRate, blockSize);
    return processor;
}

// Seeded noise in -amplitude .. amplitude.
inline std::vector<float> noise (int length, unsigned seed, float amplitude = 0.25f)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> dist (-amplitude, amplitude);
    std::vector<float> x ((size_t) length);
    for (auto& v : x)
        v = dist (rng);
    return x;
}

// Runs a whole signal (one vector per channel) through the processor in host blocks of blockSize samples.
inline std::vector<std::vector<float>> render (ResoProcessor& processor, std::vector<std::vector<float>> signal,
                                               int blockSize)
{
    const int channels = (int) signal.size();
    const int length = (int) signal[0].size();
    juce::MidiBuffer midi;
    for (int start = 0; start < length; start += blockSize)
    {
        const int n = std::min (blockSize, length - start);
        std::vector<float*> pointers;
        for (auto& ch : signal)
            pointers.push_back (ch.data() + start);
        juce::AudioBuffer<float> buffer (pointers.data(), channels, n);
        processor.processBlock (buffer, midi);
    }
    return signal;
}

} // namespace reso::test
