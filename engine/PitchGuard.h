#pragma once

#include "EngineConfig.h"
#include "RealFft.h"

#include <array>
#include <cstdint>
#include <vector>

namespace reso
{

// One narrow low-frequency resonance found by the pitch guard.
struct PitchPeak
{
    float freqHz = 0, levelDb = 0, widthHz = 0;
    bool isProtected = false;
};

// Long-window analyser of the low range (pitchLowHz .. pitchHighHz) on a decimated copy of the input.
// A chain of half-band stages brings the input down to about 6 kHz; every hop a long Hann-windowed FFT
// measures each bin's excess over a ring baseline of fast and slow spectra. It holds the bins of the
// partials of harmonic series it recognises and reports narrow, steady peaks with fine frequency and width.
// prepare sizes everything; push, reset and the readers never allocate. When disabled (pitchGuardOn off or
// the FFT size below pitchGuardMinFft) push does nothing, the peak list stays empty and holdNear is false.
class PitchGuard
{
public:
    // Derives the decimation, FFT length and windows for this sample rate and sizes every buffer.
    void prepare (double sampleRate, const EngineConfig& config);

    // Clears the decimator, the history, the spectra, the holds and the peak list.
    void reset() noexcept;

    bool enabled() const noexcept { return isEnabled; }

    // Low protect off lets the sub-bass pass consume series with fundamentals below subBassLimitHz.
    void setLowProtectOff (bool off) noexcept { lowProtectOff = off; }

    // Feeds one input sample; returns true when a long analysis ran on it.
    bool push (float sample) noexcept;

    // True when any harmonic hold lies within toleranceHz of freqHz.
    bool holdNear (float freqHz, float toleranceHz) const noexcept;

    // Peaks of the last analysis (empty before the warm-up analysis).
    const PitchPeak* peaks() const noexcept { return peakList.data(); }
    int peakCount() const noexcept { return numPeaks; }

    int decimation() const noexcept { return decimationFactor; }
    double decimatedRate() const noexcept { return rate; }
    int fftLength() const noexcept { return length; }
    int hop() const noexcept { return hopSize; }
    double binWidth() const noexcept { return pw; }
    int firstBin() const noexcept { return first; }
    int lastBin() const noexcept { return last; }
    int holdFrames() const noexcept { return holdFrameCount; }
    int analyses() const noexcept { return analysisCount; }

    // Hold counters per long-FFT bin (fftLength / 2 + 1 of them); a bin is held while its counter is positive.
    const int* holds() const noexcept { return holdCounters.data(); }

    // The decimated input, age 0 being the newest sample (ages beyond the history read 0).
    float decimatedSample (int age) const noexcept;

private:
    static constexpr int stageRingSize = 32;
    static constexpr int stageRingMask = stageRingSize - 1;
    static constexpr int shortHalfLength = 2;
    static constexpr int longHalfLength = 15;
    static constexpr int maxStages = 8;
    static constexpr int maxCandidates = 48;

    struct Stage
    {
        std::array<float, stageRingSize> ring{};
        int write = 0;
        bool phase = false;
    };

    struct Candidate
    {
        int bin = 0;
        float freqHz = 0.0f;
        float levelDb = 0.0f;
    };

    struct PeakCandidate
    {
        int bin = 0;
        float levelDb = 0.0f;
    };

    void analyse() noexcept;
    void trackHarmonics() noexcept;
    void findPeaks() noexcept;
    int countHarmonics (double f0, int& lo, int& hi) noexcept;
    bool seriesDenseEnough (int matched, int lo, int hi) const noexcept;
    float slowParabolaOffset (int i) const noexcept;
    float meanExcess5 (int k) const noexcept;

    EngineConfig cfg;
    bool isEnabled = false;
    bool lowProtectOff = false;

    // decimator
    int decimationFactor = 1;
    double rate = 0.0;
    int numStages = 0;
    std::array<Stage, maxStages> stages{};
    float longCentre = 0.0f;
    std::array<float, longHalfLength / 2 + 1> longTaps{}; // offsets 1, 3, .., 15

    // long analysis geometry
    int length = 0, hopSize = 0, spectrumBins = 0, maxBin = 0, first = 0, last = -1, lowBandTop = 0;
    double pw = 0.0;
    std::vector<float> hann, history, frame, re, im;
    int historyMask = 0, historyWrite = 0, decimatedCount = 0, hopCounter = 0;
    RealFft fft;
    std::vector<int> outerLo, outerHi, innerLo, innerHi;

    // spectra and tracking
    float fastCoefficient = 1.0f, slowCoefficient = 1.0f, riseStep = 0.0f, fallStep = 0.0f;
    std::vector<float> fast, slow, excess, tracked, effective;
    std::vector<double> prefixFast, prefixSlow;
    int analysisCount = 0;

    // harmonic series
    std::array<Candidate, maxCandidates> candidates{};
    std::array<std::uint8_t, maxCandidates> used{};
    int candidateCount = 0;
    std::vector<int> slot;
    std::vector<int> holdCounters;
    int holdFrameCount = 1;

    // peaks
    std::vector<PeakCandidate> peakCandidates;
    std::vector<PitchPeak> peakList;
    int numPeaks = 0;
};

} // namespace reso
