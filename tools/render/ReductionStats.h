#pragma once

#include <juce_core/juce_core.h>

#include <vector>

namespace reso::render
{

// What the processor cut over a file, gathered from its analysis snapshots (one call per observed frame,
// weighted by the time it stands for). Per third-octave band: the mean and the largest reduction of the
// band's level; per FFT bin: the average reduction curve, from whose dips the strongest resonances are read.
// Channels are combined per bin by the deeper cut. A bin counts as being cut from 1 dB of reduction.
class ReductionStats
{
public:
    static constexpr float cutThresholdDb = -1.0f;

    // levels[c], reductions[c]: bins values each for channel c (levels in dB with any offset, reductions in
    // dB <= 0); bin k lies at k * sampleRate / ((bins - 1) * 2) Hz. Frames with another bin count than the
    // first are ignored.
    void addFrame (const float* const* levels, const float* const* reductions, int channels, int bins, float sampleRate,
        double weight);

    bool empty() const noexcept { return totalWeight <= 0.0; }
    int bins() const noexcept { return binCount; }
    float sampleRate() const noexcept { return rate; }
    double binHz() const noexcept { return binCount > 1 ? rate / ((binCount - 1) * 2.0) : 0.0; }

    // The reduction per bin averaged over the file (dB <= 0).
    std::vector<float> averageReductionDb() const;

    struct Band
    {
        float nominalHz, lowHz, highHz;
        float meanDb, largestDb; // reduction of the band level: mean over the file and the deepest frame
        float cutShare;          // share of the time some bin of the band was being cut
    };

    // Third-octave bands from 20 Hz up to the highest one that starts below half the sample rate.
    std::vector<Band> bands() const;

    struct Resonance
    {
        float hz;            // centre of gravity of the dip
        float lowHz, highHz; // where the average cut is at least half as deep as at its bottom
        float largestDb;     // deepest cut there over the file
        float meanDb;        // average cut there over the file
        float cutShare;      // share of the time it was being cut
    };

    // The deepest dips of the average reduction curve whose bottom was cut by 1 dB or more at some time,
    // deepest first, each with its own extent and at least 3 % apart.
    std::vector<Resonance> resonances (int maxCount = 10) const;

    // The report: a header, one "band" row per band, then one "resonance" row per resonance.
    juce::String toCsv() const;

private:
    struct BandRange
    {
        float nominalHz, lowHz, highHz;
        int firstBin, lastBin;
    };

    void setUp (int bins, float sampleRate);

    int binCount = 0;
    float rate = 0.0f;
    double totalWeight = 0.0;
    std::vector<double> reductionSum, cutWeight;
    std::vector<float> deepest, combined;
    std::vector<BandRange> bandRanges;
    std::vector<double> bandSum, bandCutWeight;
    std::vector<float> bandDeepest;
};

} // namespace reso::render
