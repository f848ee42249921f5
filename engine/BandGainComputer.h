#pragma once

#include "BlockControls.h"
#include "EngineConfig.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace reso
{

// Cut per quarter-ERB band from how far a narrow spectral region stands out from its smoothed surroundings.
// Every updateDivisor-th analysis frame it smooths the bin powers, takes narrow and wide band means from
// prefix sums, smooths them into an envelope across bands, turns the prominence over a depth-dependent
// floor threshold into an amount (0..1) and a cut in dB (soft knees, presence weighting, at most maxCutDb),
// and runs attack, hold and release per band. Results are interpolated back onto the bins.
// prepare allocates; everything else is allocation-free and noexcept. Band gains are always <= 0 dB.
class BandGainComputer
{
public:
    // Sizes everything for N = fftSize and an analysis period of periodSamples samples.
    void prepare (int fftSize, double sampleRate, const EngineConfig& config, int periodSamples);

    // Clears the band state and the per-bin outputs; the next frame starts smoothing afresh.
    void reset() noexcept;

    bool enabled() const noexcept { return isEnabled; }

    // Input level in dB (mean square of the input ring) for the level gate.
    void setInputLevelDb (float db) noexcept { inputLevelDb = db; }

    // One call per analysis frame; does the band work every updateDivisor-th call. curve may be null.
    void compute (const float* levelDb, const BlockControls& controls, const float* curve) noexcept;

    // Per-bin outputs: amount and presence for all bins, excess and gain (dB) for firstBin..lastBin.
    const float* amountBin() const noexcept { return amountBins.data(); }
    const float* gainBin() const noexcept { return gainBins.data(); }
    const float* presenceBin() const noexcept { return presenceBins.data(); }
    const float* excessBin() const noexcept { return excessBins.data(); }
    int firstBin() const noexcept { return outFirst; }
    int lastBin() const noexcept { return outLast; }

    // Band-level state, read-only.
    int bandCount() const noexcept { return numBands; }
    double bandHz (int band) const noexcept { return bandFreq[(std::size_t) band]; }
    float bandGainDb (int band) const noexcept { return gainDb[(std::size_t) band]; }
    float bandCut (int band) const noexcept { return cut[(std::size_t) band]; }
    float bandAmount (int band) const noexcept { return amount[(std::size_t) band]; }
    int narrowWindowBins (int band) const noexcept
    {
        return narrowHi[(std::size_t) band] - narrowLo[(std::size_t) band] + 1;
    }
    float levelGate() const noexcept { return gateValue; }
    double binWidth() const noexcept { return binHz; }
    int updateDivisor() const noexcept { return divisor; }
    double updateMs() const noexcept { return updateIntervalMs; }
    int holdFrames() const noexcept { return holdFrameCount; }
    float attackCoefficient() const noexcept { return attackCoeff; }
    float releaseCoefficient() const noexcept { return releaseCoeff; }
    float slowCoefficient() const noexcept { return slowCoeff; }

    // ERB number of a frequency, its inverse, and the ERB bandwidth in Hz.
    static double erbNumber (double hz) noexcept;
    static double erbFrequency (double erb) noexcept;
    static double erbBandwidth (double hz) noexcept;

private:
    void setBandWindows (float sharpness) noexcept;
    void updateBallistics (float attackScale, float releaseScale) noexcept;
    void bandMeans (const std::vector<float>& power, const std::vector<int>& lo, const std::vector<int>& hi,
        const std::vector<double>& inv, float* out) noexcept;
    void boxSmooth (const float* in, float* out, int halfBands, int passes) noexcept; // in may equal out
    float presenceAt (double hz) const noexcept;

    EngineConfig config;
    bool isEnabled = false;
    int n = 0, bins = 0, numBands = 0;
    double sampleRate = 48000.0, binHz = 0.0;
    int outFirst = 0, outLast = -1, sumFirst = 1, sumLast = 0;
    double erbLow = 0.0, erbStep = 0.25;
    int envelopeHalfBands = 1;

    int divisor = 1;
    double updateIntervalMs = 0.0;
    float slowCoeff = 1.0f, fastCoeff = 1.0f, attackCoeff = 1.0f, releaseCoeff = 1.0f;
    int holdFrameCount = 0;
    float cachedAttackScale = -1.0f, cachedReleaseScale = -1.0f, cachedSharpness = 0.5f;

    bool firstFrame = true;
    std::int64_t frameCounter = 0;
    float inputLevelDb = 0.0f;
    float gateValue = 1.0f;

    // band grid and windows
    std::vector<double> bandFreq, narrowInv, wideInv;
    std::vector<float> bandCorrDb, presenceBand, smallBias;
    std::vector<int> narrowLo, narrowHi, wideLo, wideHi, bandCurveBin;

    // band state
    std::vector<float> narrowDb, wideDb, narrowSm, wideSm, narrowLower, wideLower;
    std::vector<float> modulation, excess, amount, cut, gainDb;
    std::vector<int> hold;
    std::vector<double> bandPrefix;

    // per bin
    std::vector<int> binBand;
    std::vector<float> binFrac, presenceBins, slowPower, fastPower, binDb;
    std::vector<double> binPrefix;
    std::vector<float> amountBins, excessBins, gainBins;
};

} // namespace reso
