#pragma once

#include "EngineConfig.h"
#include "PeakRecord.h"

#include <array>
#include <cstdint>
#include <vector>

namespace reso
{

// Finds resonances in a level spectrum, one analysis frame at a time.
// Each bin's excess is its smoothed level over a ring-shaped local baseline (an outer window of about
// +-1/3 octave with the central +-1/24 octave left out); the excess is tracked with limited rise and fall
// rates, and local maxima of it become PeakRecords. Two protections hold bins so that they yield no
// peaks: partials of recognised harmonic series, and steady tones in the low-protect range.
// Only bins firstBin .. lastBin are analysed or picked. prepare() sizes every buffer; reset(), analyse()
// and pickPeaks() never allocate and read nothing outside the arrays for any FFT size and sample rate.
class SpectralDetector
{
public:
    static constexpr int maxCandidates = 48;   // harmonic candidates per frame
    static constexpr int maxPickList = 64;     // peaks kept per pickPeaks call
    static constexpr int maxEdgeSearch = 48;   // bins searched on each side for a peak's -3 dB edges
    static constexpr float maxTrackedDb = 60.0f;

    // Sizes all buffers for FFT size fftSize and analysis period periodSamples, then resets.
    void prepare (int fftSize, double sampleRate, const EngineConfig& config, int periodSamples);

    // Clears every spectrum, hold, weight and history; the next frame starts afresh.
    void reset() noexcept;

    // Low-protect state for the next analyse(): protectTop is -1 when low protect is off.
    void setLowProtect (bool lowProtectOff, int protectTop, int protectLimit) noexcept;

    // Analyses one frame; levelDb holds binCount() values.
    void analyse (const float* levelDb) noexcept;

    // Picks up to min (capacity, maxPickList) peaks whose effective excess (plus curve, if given) exceeds
    // threshold - knee / 2; returns how many were written to out.
    int pickPeaks (float threshold, float knee, PeakRecord* out, int capacity, const float* curve) noexcept;

    int firstBin() const noexcept { return first; }
    int lastBin() const noexcept { return last; }
    int stabilityTop() const noexcept { return stabTop; }
    int binCount() const noexcept { return bins; }
    double binWidthHz() const noexcept { return binWidth; }

    const float* smoothed() const noexcept { return smoothedDb.data(); }
    const float* peakHold() const noexcept { return peakHoldDb.data(); }
    const float* slowAverage() const noexcept { return slowAverageDb.data(); }
    const float* excess() const noexcept { return excessDb.data(); }
    const float* tracked() const noexcept { return trackedDb.data(); }
    const float* effective() const noexcept { return effectiveDb.data(); }
    const float* harmonicWeight() const noexcept { return weight.data(); }
    const int* harmonicHold() const noexcept { return harmonicHoldCount.data(); }
    const int* stabilityHold() const noexcept { return stabilityHoldCount.data(); }

    float harmonicRatio() const noexcept { return ratio; }
    int seriesCount() const noexcept { return series; }
    int candidateCount() const noexcept { return candidates; }
    int maxMatched() const noexcept { return mostMatched; }

    int stabilityCount() const noexcept { return stabCount; }
    int span() const noexcept { return spanFrames; }
    int voteWindow() const noexcept { return voteFrames; }
    int stableNeeded() const noexcept { return stableVotesNeeded; }
    int lowHoldFrames() const noexcept { return lowHold; }
    int harmonicHoldFrames() const noexcept { return harmonicHoldLength; }

private:
    struct Candidate
    {
        int bin = 0;
        float freqHz = 0.0f;
        float levelDb = 0.0f;
        double power = 0.0;
    };

    struct Match
    {
        int matched = 0, lo = 0, hi = 0;
    };

    void analyseHarmonics() noexcept;
    void analyseStability (const float* levelDb) noexcept;
    void addCandidate (int bin, float freqHz, float levelDb) noexcept;
    Match countHarmonics (double f0) noexcept;
    void markSeries() noexcept;
    float parabolaOffset (int k) const noexcept;

    EngineConfig config;
    int n = 0, bins = 0, period = 1;
    double sampleRate = 48000.0, binWidth = 0.0, dt = 0.0;
    int first = 2, last = 0;

    std::vector<int> outerLo, outerHi, innerLo, innerHi;
    float riseStep = 0.0f, fallStep = 0.0f, smoothCoefficient = 1.0f;
    float holdDecay = 0.0f, slowCoefficient = 1.0f;
    bool firstSmooth = true, firstHold = true;

    std::vector<float> smoothedDb, peakHoldDb, slowAverageDb;
    std::vector<float> excessDb, trackedDb, effectiveDb;
    std::vector<double> prefix;

    // harmonic analysis
    std::vector<int> harmonicHoldCount, stabilityHoldCount;
    std::vector<std::uint8_t> harmonicFlag;
    std::vector<float> weight;
    bool weightingOn = false;
    float weightAttack = 1.0f, weightRelease = 1.0f;
    int harmonicHoldLength = 1;
    std::array<Candidate, maxCandidates> candidateList {};
    std::array<std::uint8_t, maxCandidates> used {};
    std::vector<int> slot;
    int series = 0, candidates = 0, mostMatched = 0;
    float ratio = 0.0f;

    // low-protect state, set by the caller every frame
    bool lowProtectOff = true;
    int protectTop = -1, protectLimit = -1;

    // stability analysis
    int stabTop = 1, stabCount = 0;
    int spanFrames = 1, voteFrames = 1, stableVotesNeeded = 1, lowHold = 1;
    std::vector<float> levelHistory;
    std::vector<std::uint8_t> stableFlags;
    std::vector<int> stableVotes;
    std::int64_t stabilityFrame = 0;

    // peak picking
    std::array<int, maxPickList> pickBin {};
    std::array<float, maxPickList> pickValue {};
};

} // namespace reso
