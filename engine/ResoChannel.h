#pragma once

#include "AnalysisSnapshot.h"
#include "BandGainComputer.h"
#include "BlockControls.h"
#include "EngineConfig.h"
#include "NotchMask.h"
#include "PeakRecord.h"
#include "PitchGuard.h"
#include "RealFft.h"
#include "SensitivityCurve.h"
#include "SpectralDetector.h"

#include <cstdint>
#include <vector>

namespace reso
{

// One audio channel of the suppressor: a short-time Fourier transform with a periodic square-root Hann
// window and `overlap`-fold overlap, a dry signal delayed by exactly N samples, and per-sample blending of
// dry and processed signal for mix, delta and bypass. Every hop the spectrum is multiplied by the current
// gain curve before overlap-add resynthesis; every `analysisDecimation`-th hop the level spectrum is
// analysed and a new gain curve is made. The output is the input delayed by N samples.
// prepare allocates; everything else works on the buffers it sized.
class ResoChannel
{
public:
    void prepare (double sampleRate, const EngineConfig& config);
    void reset() noexcept;

    // Refreshed by the engine before every process call.
    void setControls (const BlockControls& newControls) noexcept
    {
        controls = newControls;
        pitchGuard.setLowProtectOff (controls.lowProtect <= 0.0f);
    }

    // Per-sample stage over count samples that never cross a hop boundary. input and output may alias;
    // sideChain (may be null) feeds the pitch analysis instead of the input.
    void processSamples (const float* input, float* output, int count, const float* sideChain) noexcept;

    int hopSize() const noexcept { return hop; }
    int samplesSinceHop() const noexcept { return sinceHop; }
    bool hopDue() const noexcept { return sinceHop >= hop; }
    bool isAnalysisFrame() const noexcept { return frameCounter % analysisDecimation == 0; }

    // Hop stage, in this order: transform, frame analysis, apply and resynthesise.
    void transform() noexcept;
    void analyseFrame() noexcept;
    void applyAndResynthesise() noexcept;
    void runHop() noexcept
    {
        transform();
        analyseFrame();
        applyAndResynthesise();
    }

    int fftSize() const noexcept { return n; }
    int binCount() const noexcept { return bins; }
    float referenceLevelDb() const noexcept { return referenceDb; }
    std::int64_t framesDone() const noexcept { return frameCounter; }
    const float* levelSpectrum() const noexcept { return levelDb.data(); }
    float* levelSpectrum() noexcept { return levelDb.data(); }

    // The gain curve (dB per bin, <= 0) applied at the last hop, focus weighting included.
    const float* appliedCurve() const noexcept { return lastApplied; }

    void attachPublisher (FramePublisher publisher, PublishContext* context) noexcept;

    // Stereo link support. An analysis switched back on starts afresh.
    void setAnalysisOff (bool off) noexcept;
    bool analysisIsOff() const noexcept { return analysisOff; }
    // On an analysis frame: takes, bin by bin, the louder of this and the other channel's level spectrum,
    // and the louder input level for the level gate.
    void mergeLouderSpectrum (const ResoChannel& other) noexcept;
    // Takes over the other channel's notch mask and its combination with the band gains.
    void copyMaskFrom (const ResoChannel& other) noexcept;
    void clearPeaks() noexcept { peakCount = 0; }
    int peaksFound() const noexcept { return peakCount; }
    const PeakRecord* peakList() const noexcept { return peaks.data(); }
    float inputLevel() const noexcept { return inputLevelDb; }

    // The analysis modules, for inspection.
    const SpectralDetector& spectralDetector() const noexcept { return detector; }
    const PitchGuard& pitchAnalyser() const noexcept { return pitchGuard; }
    const BandGainComputer& bandGains() const noexcept { return bandGain; }
    const NotchMask& notches() const noexcept { return notchMask; }
    const SensitivityCurve& sensitivityCurve() const noexcept { return sensitivity; }
    float protectionBlend() const noexcept { return protectBlend; }

private:
    const float* gainCurveForHop() noexcept;
    void importPitchPeaks (const float* curve) noexcept;
    const float* limitProtectedBandGains (int lo, int hi) noexcept;

    EngineConfig config;
    BlockControls controls;
    double sampleRate = 48000.0;
    int n = 0, hop = 0, bins = 0, analysisDecimation = 1;
    int firstBin = 0, lastBin = -1;

    std::int64_t writeCounter = 0, frameCounter = 0;
    int sinceHop = 0, ringPosition = 0;
    float referenceDb = 0.0f, overlapNorm = 0.25f;

    RealFft fft;
    std::vector<float> window, inputRing, dryDelay, overlapAdd, frame, re, im, levelDb;
    std::vector<float> lastGainDb, lastGainLinear;

    // analysis
    SpectralDetector detector;
    PitchGuard pitchGuard;
    BandGainComputer bandGain;
    NotchMask notchMask;
    SensitivityCurve sensitivity;
    std::vector<PeakRecord> peaks;
    std::vector<float> protectedBandGains;
    float smoothedHarmonicity = 0.0f, harmonicityCoefficient = 1.0f, protectBlend = 1.0f;
    bool levelGateOn = false;

    // output blending
    float mixGain = 1.0f, deltaGain = 0.0f, outputCoefficient = 1.0f;
    bool snapOutputGains = true;

    // focus weighting
    bool focusActive = false;
    float cachedFocusLow = -1.0f, cachedFocusHigh = -1.0f;
    std::vector<float> focusWeight, weightedCurve;
    const float* lastApplied = nullptr;

    bool analysisOff = false;
    int peakCount = 0;
    float inputLevelDb = -200.0f;

    FrameReport report;
    FramePublisher publisher = nullptr;
    PublishContext* publishContext = nullptr;
};

} // namespace reso
