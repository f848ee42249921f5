#include "ResoChannel.h"

#include "FastMath.h"

#include <algorithm>
#include <cmath>

namespace reso
{

namespace
{
constexpr double pi = 3.14159265358979323846;

inline float sanitise (float x) noexcept { return std::abs (x) < 1.0e9f ? x : 0.0f; } // NaN fails the test too

// One-pole step that always arrives: it snaps within 1e-5 of the target, and also once a step no longer
// moves the value (in single precision a slow step stalls short of 1e-5 near unity).
inline void stepTowards (float& gain, float target, float coefficient) noexcept
{
    if (gain != target)
    {
        const float next = gain + (target - gain) * coefficient;
        gain = (next == gain || std::abs (target - next) < 1.0e-5f) ? target : next;
    }
}
} // namespace

void ResoChannel::prepare (double newSampleRate, const EngineConfig& newConfig)
{
    config = newConfig;
    sampleRate = newSampleRate;
    n = config.fftSize;
    hop = n / std::max (1, config.overlap);
    bins = n / 2 + 1;
    analysisDecimation = std::max (1, config.analysisDecimation);
    fft.prepare (n);

    const int period = analysisDecimation * hop;
    detector.prepare (n, sampleRate, config, period);
    bandGain.prepare (n, sampleRate, config, period);
    notchMask.prepare (n, sampleRate, config, period);
    pitchGuard.prepare (sampleRate, config);
    sensitivity.prepare (n, sampleRate);
    firstBin = detector.firstBin();
    lastBin = detector.lastBin();
    levelGateOn = config.levelGateRangeDb > 0.0f && bandGain.enabled();
    harmonicityCoefficient =
        (float) (1.0 - std::exp (-period * 1000.0 / (std::max (config.harmonicitySmoothingMs, 1.0f) * sampleRate)));

    window.assign ((size_t) n, 0.0f);
    for (int i = 0; i < n; ++i)
        window[(size_t) i] = (float) std::sqrt ((1.0 - std::cos (2.0 * pi * i / n)) / 2.0);

    double overlapSum = 0.0, windowSum = 0.0;
    for (int k = 0; k < std::max (1, config.overlap); ++k)
    {
        const double w = window[(size_t) ((k * hop) % n)];
        overlapSum += w * w;
    }
    for (float w : window)
        windowSum += w;
    overlapNorm = (float) (1.0 / overlapSum);
    referenceDb = (float) (20.0 * std::log10 (0.5 * windowSum));

    outputCoefficient = (float) (1.0 - std::exp (-1000.0 / (std::max (config.outputSmoothingMs, 0.1f) * sampleRate)));

    inputRing.assign ((size_t) n, 0.0f);
    dryDelay.assign ((size_t) n, 0.0f);
    overlapAdd.assign ((size_t) (2 * n), 0.0f);
    frame.assign ((size_t) n, 0.0f);
    re.assign ((size_t) bins, 0.0f);
    im.assign ((size_t) bins, 0.0f);
    levelDb.assign ((size_t) bins, 0.0f);
    lastGainDb.assign ((size_t) bins, 1.0f);
    lastGainLinear.assign ((size_t) bins, 1.0f);
    peaks.assign ((size_t) std::max (config.maxPeaks, 0), PeakRecord {});
    protectedBandGains.assign ((size_t) bins, 0.0f);
    focusWeight.assign ((size_t) bins, 1.0f);
    weightedCurve.assign ((size_t) bins, 0.0f);
    focusActive = false;
    cachedFocusLow = cachedFocusHigh = -1.0f;
    analysisOff = false;
    inputLevelDb = -200.0f;

    reset();
}

void ResoChannel::reset() noexcept
{
    std::fill (inputRing.begin(), inputRing.end(), 0.0f);
    std::fill (dryDelay.begin(), dryDelay.end(), 0.0f);
    std::fill (overlapAdd.begin(), overlapAdd.end(), 0.0f);
    detector.reset();
    pitchGuard.reset();
    bandGain.reset();
    notchMask.reset();
    writeCounter = frameCounter = 0;
    sinceHop = ringPosition = 0;
    peakCount = 0;
    smoothedHarmonicity = 0.0f;
    protectBlend = 1.0f;
    snapOutputGains = true;
    lastApplied = notchMask.curve();
}

void ResoChannel::attachPublisher (FramePublisher newPublisher, PublishContext* context) noexcept
{
    publisher = newPublisher;
    publishContext = newPublisher != nullptr ? context : nullptr;
}

void ResoChannel::processSamples (const float* input, float* output, int count, const float* sideChain) noexcept
{
    float mixTarget = 0.0f, deltaTarget = 0.0f;
    if (! controls.bypassed)
    {
        mixTarget = std::clamp (controls.mix, 0.0f, 1.0f);
        deltaTarget = controls.delta ? 1.0f : 0.0f;
    }
    if (snapOutputGains)
    {
        mixGain = mixTarget;
        deltaGain = deltaTarget;
        snapOutputGains = false;
    }

    const auto mask2n = (std::int64_t) (2 * n - 1);
    const auto maskN = (std::int64_t) (n - 1);
    const bool feedPitch = ! analysisOff && pitchGuard.enabled();

    for (int i = 0; i < count; ++i)
    {
        const float x = sanitise (input[i]);

        float& delayed = dryDelay[(size_t) (writeCounter & maskN)];
        const float dry = delayed;
        delayed = x;

        inputRing[(size_t) ringPosition] = x;
        if (++ringPosition == n)
            ringPosition = 0;

        if (feedPitch)
            pitchGuard.push (sideChain != nullptr ? sanitise (sideChain[i]) : x);

        ++sinceHop;

        float& slot = overlapAdd[(size_t) ((writeCounter + n) & mask2n)];
        const float wet = slot;
        slot = 0.0f;
        ++writeCounter;

        stepTowards (mixGain, mixTarget, outputCoefficient);
        stepTowards (deltaGain, deltaTarget, outputCoefficient);

        const float removed = dry - wet;
        float out;
        if (deltaGain == 1.0f)
        {
            out = removed;
        }
        else
        {
            const float mixed = mixGain == 1.0f ? wet : (mixGain == 0.0f ? dry : dry + (wet - dry) * mixGain);
            out = deltaGain > 0.0f ? mixed + (removed - mixed) * deltaGain : mixed;
        }
        output[i] = out;
    }
}

void ResoChannel::transform() noexcept
{
    // oldest sample first: the ring from the write position onwards, then its start
    const int tail = n - ringPosition;
    for (int i = 0; i < tail; ++i)
        frame[(size_t) i] = inputRing[(size_t) (ringPosition + i)] * window[(size_t) i];
    for (int i = tail; i < n; ++i)
        frame[(size_t) i] = inputRing[(size_t) (i - tail)] * window[(size_t) i];

    fft.forward (frame.data(), re.data(), im.data());

    if (! isAnalysisFrame())
        return;

    for (int k = 0; k < bins; ++k)
        levelDb[(size_t) k] = fastmath::powerToDb (re[(size_t) k] * re[(size_t) k] + im[(size_t) k] * im[(size_t) k] + 1.0e-10f);

    if (levelGateOn)
    {
        double energy = 0.0;
        for (float v : inputRing)
            energy += (double) v * v;
        inputLevelDb = (float) (10.0 * std::log10 (energy / n + 1.0e-20));
    }
}

// Frame analysis: detector, sensitivity curve, peaks (with the pitch guard's protection and imports),
// band gains, notch mask, protected band limit, combination.
void ResoChannel::analyseFrame() noexcept
{
    if (! isAnalysisFrame())
        return;

    const double binWidth = sampleRate / n;
    const int stabilityTop = detector.stabilityTop();
    int top = -1;
    if (controls.lowProtect > 0.0f)
        top = std::min ((int) std::floor (controls.lowProtect / binWidth), stabilityTop);
    detector.setLowProtect (controls.lowProtect <= 0.0f, top, top < stabilityTop ? top : stabilityTop + 1);
    detector.analyse (levelDb.data());

    sensitivity.update (controls.bands);
    const float* curve = sensitivity.active() ? sensitivity.values() : nullptr;

    const float threshold = (controls.selectivity - 0.5f) * config.selectivitySpanDb + config.thresholdDb;
    const float knee = 12.0f - 10.0f * controls.sharpness;
    const int capacity = config.maxPeaks - (pitchGuard.enabled() ? config.pitchMaxPeaks : 0);
    peakCount = detector.pickPeaks (threshold, knee, peaks.data(), std::max (capacity, 0), curve);

    if (pitchGuard.enabled())
    {
        for (int i = 0; i < peakCount; ++i)
            if (! peaks[(size_t) i].isProtected && pitchGuard.holdNear (peaks[(size_t) i].freqHz, (float) (0.6 * binWidth)))
                peaks[(size_t) i].isProtected = true;
        importPitchPeaks (curve);
    }

    if (! bandGain.enabled())
    {
        notchMask.build (peaks.data(), peakCount, controls, firstBin, lastBin, nullptr, nullptr);
        return;
    }

    if (levelGateOn)
        bandGain.setInputLevelDb (inputLevelDb);
    bandGain.compute (levelDb.data(), controls, curve);
    notchMask.build (peaks.data(), peakCount, controls, firstBin, lastBin, bandGain.amountBin(), bandGain.presenceBin());

    const int lo = std::max (bandGain.firstBin(), firstBin);
    const int hi = std::min (lastBin, bandGain.lastBin());
    notchMask.combine (limitProtectedBandGains (lo, hi), lo, hi);
}

// Harmonic partials keep most of their level: their band cut is limited softly towards
// protectedCutLimitDb, fully so once the signal is clearly harmonic.
const float* ResoChannel::limitProtectedBandGains (int lo, int hi) noexcept
{
    const float* gains = bandGain.gainBin();
    const float limit = config.protectedCutLimitDb;
    if (! (limit > 0.0f && config.harmonicAnalysisOn != 0))
        return gains;

    if (config.harmonicityFull > 0.0f)
    {
        smoothedHarmonicity += (detector.harmonicRatio() - smoothedHarmonicity) * harmonicityCoefficient;
        protectBlend = std::clamp ((smoothedHarmonicity - config.harmonicityStart)
                                       / std::max (config.harmonicityFull - config.harmonicityStart, 0.001f),
                                   0.0f, 1.0f);
    }
    else
    {
        protectBlend = 1.0f;
    }

    const int* holds = detector.harmonicHold();
    for (int j = lo; j <= hi; ++j)
    {
        const float s = gains[j];
        float value = s;
        if (j > 0 && j < bins - 1 && s < 0.0f && (holds[j - 1] > 0 || holds[j] > 0 || holds[j + 1] > 0))
        {
            const float limited = -limit * (1.0f - std::exp (s / limit));
            value = s + (limited - s) * protectBlend;
        }
        protectedBandGains[(size_t) j] = value;
    }
    return protectedBandGains.data();
}

// Narrow, steady low resonances found by the pitch guard join the peak list, weighted down when they swell
// or are not sustained.
void ResoChannel::importPitchPeaks (const float* curve) noexcept
{
    const double binWidth = sampleRate / n;
    const float* hold = detector.peakHold();
    const float* smooth = detector.smoothed();
    const float* slow = detector.slowAverage();
    const int* harmonicHolds = detector.harmonicHold();
    const int* stabilityHolds = detector.stabilityHold();
    const int capacity = std::min (config.maxPeaks, (int) peaks.size());

    for (int e = 0; e < pitchGuard.peakCount() && peakCount < capacity; ++e)
    {
        const auto& entry = pitchGuard.peaks()[e];
        if (entry.widthHz > binWidth * config.importMaxWidthBins)
            continue;

        const int b = (int) std::lround (entry.freqHz / binWidth);
        if (! (firstBin < b && b < lastBin))
            continue;

        int d = b, o = b;
        for (int j = std::max (b - 1, 1); j <= std::min (b + 1, bins - 2); ++j)
        {
            if (hold[j] > hold[d])
                d = j;
            if (smooth[j] - slow[j] > smooth[o] - slow[o])
                o = j;
        }

        const float sustain = std::clamp ((config.importSustainHighDb - (hold[d] - smooth[d]))
                                              / std::max (config.importSustainHighDb - config.importSustainLowDb, 0.001f),
                                          0.0f, 1.0f);
        const float steady = std::clamp ((config.importSwellHighDb - (smooth[o] - slow[o]))
                                             / std::max (config.importSwellHighDb - config.importSwellLowDb, 0.001f),
                                         0.0f, 1.0f);
        const float h = std::min (steady, sustain);
        float level = h >= 1.0f ? entry.levelDb : std::min (12.0f * h, entry.levelDb);
        if (curve != nullptr)
            level += curve[std::min (b, bins - 1)];

        bool held = entry.isProtected;
        if (b >= 1 && b + 1 < bins)
            for (int j = b - 1; j <= b + 1; ++j)
                held = held || harmonicHolds[j] > 0 || stabilityHolds[j] > 0;

        auto& p = peaks[(size_t) peakCount++];
        p.bin = b;
        p.fracBin = (float) (entry.freqHz / binWidth);
        p.freqHz = entry.freqHz;
        p.levelDb = level;
        p.widthBins = std::max ((float) (entry.widthHz / binWidth), 1.0f);
        p.q = entry.freqHz / std::max (entry.widthHz, 0.001f);
        p.isProtected = held;
    }
}

void ResoChannel::setAnalysisOff (bool off) noexcept
{
    if (analysisOff && ! off)
    {
        detector.reset();
        pitchGuard.reset();
        bandGain.reset();
    }
    analysisOff = off;
}

void ResoChannel::mergeLouderSpectrum (const ResoChannel& other) noexcept
{
    for (int k = 0; k < bins; ++k)
        levelDb[(size_t) k] = std::max (levelDb[(size_t) k], other.levelDb[(size_t) k]);
    inputLevelDb = std::max (inputLevelDb, other.inputLevelDb);
}

void ResoChannel::copyMaskFrom (const ResoChannel& other) noexcept { notchMask.copyFrom (other.notchMask); }

const float* ResoChannel::gainCurveForHop() noexcept
{
    const float* curve = notchMask.curve();

    const float lo = std::max (controls.focusLow, 0.0f);
    const float hi = std::max (controls.focusHigh, 0.0f);
    if (lo != cachedFocusLow || hi != cachedFocusHigh)
    {
        cachedFocusLow = lo;
        cachedFocusHigh = hi;
        focusActive = lo > 0.0f || (hi > 0.0f && hi < sampleRate / 2.0);
        if (focusActive)
        {
            const double taper = std::max ((double) config.focusTaperOctaves, 0.001);
            for (int k = 0; k < bins; ++k)
            {
                const double f = std::max (k * sampleRate / n, 0.5);
                double w = 1.0;
                if (lo > 0.0f && f < lo)
                    w = (1.0 + std::cos (std::min (std::log2 (lo / f) / taper, 1.0) * pi)) / 2.0;
                if (hi > 0.0f && f > hi)
                    w *= (1.0 + std::cos (std::min (std::log2 (f / hi) / taper, 1.0) * pi)) / 2.0;
                focusWeight[(size_t) k] = (float) w;
            }
        }
    }

    if (! focusActive)
        return curve;

    for (int k = firstBin; k <= lastBin; ++k)
        weightedCurve[(size_t) k] = curve[k] * focusWeight[(size_t) k];
    return weightedCurve.data();
}

void ResoChannel::applyAndResynthesise() noexcept
{
    sinceHop = 0;

    const float* g = gainCurveForHop();
    lastApplied = g;

    for (int k = firstBin; k <= lastBin; ++k)
    {
        const float gain = g[k];
        if (gain <= -0.0001f)
        {
            if (gain != lastGainDb[(size_t) k])
            {
                lastGainDb[(size_t) k] = gain;
                lastGainLinear[(size_t) k] = std::exp (gain * 0.11512925f);
            }
            re[(size_t) k] *= lastGainLinear[(size_t) k];
            im[(size_t) k] *= lastGainLinear[(size_t) k];
        }
    }

    fft.inverse (re.data(), im.data(), frame.data());

    const auto mask2n = (std::int64_t) (2 * n - 1);
    const std::int64_t base = writeCounter + n;
    for (int j = 0; j < n; ++j)
        overlapAdd[(size_t) ((base + j) & mask2n)] += window[(size_t) j] * frame[(size_t) j] * overlapNorm;

    if (publisher != nullptr)
    {
        report.frameIndex = frameCounter;
        report.sampleRate = sampleRate;
        report.binCount = bins;
        report.levelDb = levelDb.data();
        report.reductionDb = g;
        report.referenceLevelDb = referenceDb;
        publisher (report, *publishContext);
    }
    ++frameCounter;
}

} // namespace reso
