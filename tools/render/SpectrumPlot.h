#pragma once

#include <juce_graphics/juce_graphics.h>

#include <vector>

namespace reso::render
{

// A picture of a render: the average input and output spectra above, the average reduction curve below,
// over a logarithmic frequency axis. Drawn in memory with JUCE's software renderer (no display needed).
struct PlotData
{
    std::vector<float> inputDb, outputDb; // dBFS per bin
    double spectrumBinHz = 0.0;
    std::vector<float> reductionDb; // dB <= 0 per bin
    double reductionBinHz = 0.0;
    double sampleRate = 48000.0;
    juce::String title;
};

juce::Image drawSpectrumPlot (const PlotData& data, int width = 1000, int height = 620);

// Writes an image as PNG into file (replacing it).
juce::Result writePng (const juce::Image& image, const juce::File& file);

} // namespace reso::render
