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

inline void stepTowards (float& gain, float target, float coefficient) noexcept
{
    if (gain != target)
    {
        gain += (target - gain) * coefficient;
        if (std::abs (target - gain) < 1.0e-5f)
            gain = target;
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

    const double binWidth = sampleRate / n;
    firstBin = std::max (2, (int) std::ceil (config.detectLowHz / binWidth));
    lastBin = std::min ((int) std::floor (std::min (0.45 * sampleRate, (double) config.detectHighHz) / binWidth), n / 2 - 2);

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
    gainCurve.assign ((size_t) bins, 0.0f);
    focusWeight.assign ((size_t) bins, 1.0f);
    weightedCurve.assign ((size_t) bins, 0.0f);
    focusActive = false;
    cachedFocusLow = cachedFocusHigh = -1.0f;
    lastApplied = gainCurve.data();

    reset();
}

void ResoChannel::reset() noexcept
{
    std::fill (inputRing.begin(), inputRing.end(), 0.0f);
    std::fill (dryDelay.begin(), dryDelay.end(), 0.0f);
    std::fill (overlapAdd.begin(), overlapAdd.end(), 0.0f);
    writeCounter = frameCounter = 0;
    sinceHop = ringPosition = 0;
    snapOutputGains = true;
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
    (void) sideChain;

    for (int i = 0; i < count; ++i)
    {
        const float x = sanitise (input[i]);

        float& delayed = dryDelay[(size_t) (writeCounter & maskN)];
        const float dry = delayed;
        delayed = x;

        inputRing[(size_t) ringPosition] = x;
        if (++ringPosition == n)
            ringPosition = 0;

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

    if (isAnalysisFrame())
        for (int k = 0; k < bins; ++k)
            levelDb[(size_t) k] = fastmath::powerToDb (re[(size_t) k] * re[(size_t) k] + im[(size_t) k] * im[(size_t) k] + 1.0e-10f);
}

void ResoChannel::analyseFrame() noexcept
{
    if (! isAnalysisFrame())
        return;
}

void ResoChannel::setAnalysisOff (bool off) noexcept
{
    analysisOff = off;
}

void ResoChannel::mergeLouderSpectrum (const ResoChannel& other) noexcept
{
    for (int k = 0; k < bins; ++k)
        levelDb[(size_t) k] = std::max (levelDb[(size_t) k], other.levelDb[(size_t) k]);
    inputLevelDb = std::max (inputLevelDb, other.inputLevelDb);
}

void ResoChannel::copyMaskFrom (const ResoChannel& other) noexcept
{
    std::copy (other.gainCurve.begin(), other.gainCurve.end(), gainCurve.begin());
}

const float* ResoChannel::gainCurveForHop() noexcept
{
    const float* curve = gainCurve.data();

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
