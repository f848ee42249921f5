#pragma once

namespace reso
{

// Every tuning constant of the suppression engine in one record. The processor makes a default record,
// sets the FFT size for the chosen quality and hands it to prepare; each module keeps its own copy.
// Fields described as "at least x" are clamped where they are used.
struct EngineConfig
{
    // framing
    int fftSize = 2048;          // FFT length N; also the engine latency in samples
    int analysisDecimation = 2;  // hops per analysis frame (below 1 acts as 1)
    int overlap = 8;             // hop = N / overlap

    // detector baseline
    float baselineOuterOctaves = 1.0f / 3.0f;
    float baselineInnerOctaves = 1.0f / 24.0f;
    int baselineOuterMinBins = 6;
    float lowWideningHz = 500.0f;
    float lowWideningTopHz = 300.0f;
    int baselineInnerMinBins = 2;
    float sideLimitDb = 4.0f;
    float sideLimitFromHz = 2000.0f;
    float detectLowHz = 40.0f;
    float detectHighHz = 18000.0f;
    float spectrumSmoothingMs = 120.0f;
    float excessRiseDbPerS = 20.0f;
    float excessFallDbPerS = 24.0f;

    // harmonic series
    int harmonicAnalysisOn = 1;
    float harmonicCandidateMinDb = 6.0f;
    int harmonicMinCount = 4;
    float harmonicDensity = 0.7f;
    int harmonicDenseCount = 6;
    int maxHarmonic = 16;
    float minFundamentalHz = 50.0f;
    float harmonicToleranceBins = 0.5f;
    float harmonicToleranceRel = 0.003f;
    float inharmonicity = 0.0002f;
    float harmonicHoldMs = 250.0f;
    float subBassLimitHz = 70.0f;
    float harmonicWeightThreshold = 0.78f;
    float harmonicWeightAttackMs = 2500.0f;
    float harmonicWeightReleaseMs = 600.0f;

    // low-frequency stability
    int lowStabilityOn = 1;
    float lowStabilityTopHz = 250.0f;
    float stabilitySpanMs = 40.0f;
    float stabilityWindowMs = 160.0f;
    float stabilityMaxDb = 0.8f;
    float stabilityFraction = 0.85f;
    float lowHoldMs = 250.0f;
    float lowStrongPeakDb = 24.0f;

    // thresholds, output and notch strength
    float selectivitySpanDb = 6.0f;
    float outputSmoothingMs = 8.0f;      // at least 0.1
    float focusTaperOctaves = 1.0f / 3.0f; // at least 0.001
    float hardDepthFactor = 1.5f;
    float hardKneeShiftDb = 1.5f;
    float thresholdDb = 6.5f;
    float strengthFullDb = 6.0f;
    float fallbackDepthDb = 12.0f;
    float strengthStartDb = 4.0f;
    float fallbackDepthCurve = 1.2f;

    // pitch guard
    int pitchGuardOn = 1;
    int pitchGuardMinFft = 2048;
    float pitchLowHz = 40.0f;
    float pitchHighHz = 1200.0f;
    float pitchWindowMs = 1400.0f;
    int pitchOverlap = 8;
    float pitchSlowMs = 2500.0f;
    float pitchFastMs = 100.0f;
    float pitchLowBoostDb = 4.0f;
    float pitchSlowMarginDb = 8.0f;
    float pitchLowBandTopHz = 600.0f;
    float pitchOuterMinHz = 25.0f;
    float pitchOuterOctaves = 1.0f / 3.0f;
    float pitchInnerMinHz = 5.0f;
    float pitchInnerOctaves = 0.1f;
    float pitchRiseDbPerS = 60.0f;
    int pitchWarmupFrames = 6;
    float importMaxWidthBins = 1.0f;
    int pitchMaxPeaks = 16;
    float peakHoldDecayDbPerS = 8.0f;
    float importSustainLowDb = 8.0f;
    float importSustainHighDb = 14.0f;
    float slowAverageMs = 800.0f; // at least 1
    float importSwellLowDb = 6.0f;
    float importSwellHighDb = 10.0f;
    int pitchHarmonicsOn = 1;
    float pitchMinFundamentalHz = 30.0f;
    float pitchCandidateMinDb = 6.0f;
    int pitchMinCount = 4;
    float pitchToleranceBins = 0.6f;
    float pitchToleranceRel = 0.003f;
    float pitchHoldMs = 400.0f;
    float pitchProtectHz = 6.0f;

    // band gain computer
    int bandGainOn = 1;
    float presenceFreqHz[8] = { 400.0f, 700.0f, 1000.0f, 2000.0f, 3500.0f, 6000.0f, 10000.0f, 18000.0f };
    float presenceWeight[8] = { 0.0f, 0.08f, 0.2f, 0.55f, 1.0f, 1.0f, 0.88f, 0.7f };
    float bandSmoothingMs = 160.0f;
    float bandFastSmoothingMs = 0.0f;
    float transientOffsetDb = 2.8222f;
    float transientNegOffsetDb = 2.5f;
    float transientRangeDb = 1.0f; // at least 0.05
    float wideWindowFactor = 1.4876f;
    int modulationSmoothBands = 3;
    float bandUpdateMs = 10.0f;
    float erbStep = 0.25f; // at least 0.05
    float narrowWidthErb[3] = { 12.0f, 0.6189f, 0.15f };
    float envelopeWidthErb[3] = { 24.0f, 20.0f, 4.0f };
    int envelopeMinPasses = 3;
    float envelopeDepthStart = 0.3704f;
    float envelopeDepthFull = 1.0f;
    float envelopeDepthCurve = 1.0f;
    float envelopeOffsetDb = 2.8622f;
    bool logDomainMeans = false;
    float excessScale = 0.9345f; // at least 0.05
    float cutScale = 0.8233f;
    float hardCutFactor = 1.45f;
    float excessBiasDb = 0.733f;
    float biasRampDb = 1.0f; // at least 0.05
    float cutKneeDb = 1.0f;
    float cutCurve = 1.0f;
    float cutCurveRefDb = 12.0f;
    float smallBandBiasScale = 2.0f;
    float smallBandBiasBins = 19.5f;
    float selectivityUpDb = 9.0f;
    float selectivityDownDb = 1.5f;
    float thresholdBaseDb = -24.72f;
    float thresholdDepthDb = 87.7f;
    float amountScaleDb = 18.6f; // at least 0.1
    int floorMode = 3;
    float floorBlend = 0.451f;
    float depthRampEnd = 0.4f; // at least 0.001
    float depthRampCurve = 0.7f;
    float kneeDb = 5.5111f;
    float maxCutDb = 30.0f;
    float bandAttackMs = 1.0f;
    float bandAttackCurve = 2.4f;
    float transientAttackCurve = 1.0f;
    float bandSmoothingCurve = 1.0f;
    float protectedCutLimitDb = 8.0f;
    float bandReleaseMs = 80.0f;
    float harmonicityStart = 0.5f;
    float harmonicityFull = 0.7f;
    float harmonicitySmoothingMs = 300.0f; // at least 1
    float levelGateDb = -22.31f;
    float levelGateRangeDb = 10.0f;
    float bandHoldMs = 120.0f;

    // notch mask
    float notchQStart = 12.0f;
    float notchQFull = 24.0f;
    float notchLevelStartDb = 17.0f;
    float notchLevelFullDb = 21.0f;
    float notchSharpMax = 6.0f;
    float notchDepthDb = 4.0f;
    float notchMinHalfWidthBins = 3.0f;
    float notchFlatFraction = 0.5f;
    int maxPeaks = 48;
    bool notchBallisticsOn = true;
    float notchAttackMs = 40.0f;
    float notchReleaseMs = 220.0f;
    bool notchSlewOn = true;
    float notchSlewDbPerMs = 0.3f;
    bool notchSmoothingOn = true;
};

} // namespace reso
