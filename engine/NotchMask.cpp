#include "NotchMask.h"

#include <algorithm>
#include <cmath>

namespace reso
{

namespace
{
constexpr float pi = 3.14159265358979f;

float onePole (double dtMs, double tauMs) noexcept
{
    return tauMs > 0.0 ? (float) (1.0 - std::exp (-dtMs / tauMs)) : 1.0f;
}

float clamp01 (float x) noexcept { return std::clamp (x, 0.0f, 1.0f); }
} // namespace

void NotchMask::prepare (int fftSize, double sampleRate, const EngineConfig& cfg, int periodSamples)
{
    config = cfg;
    bins = fftSize / 2 + 1;
    framePeriodMs = periodSamples * 1000.0 / sampleRate;
    attackCoeff = onePole (framePeriodMs, config.notchAttackMs);
    releaseCoeff = onePole (framePeriodMs, config.notchReleaseMs);
    cachedAttackScale = 1.0f;
    cachedReleaseScale = 1.0f;
    slewDb = (float) (config.notchSlewDbPerMs * framePeriodMs);

    rawGains.assign ((size_t) bins, 0.0f);
    currentGains.assign ((size_t) bins, 0.0f);
    scratch.assign ((size_t) bins, 0.0f);
    finalGains.assign ((size_t) bins, 0.0f);
    finalValidFlag = false;
}

void NotchMask::reset() noexcept
{
    std::fill (rawGains.begin(), rawGains.end(), 0.0f);
    std::fill (currentGains.begin(), currentGains.end(), 0.0f);
    std::fill (finalGains.begin(), finalGains.end(), 0.0f);
    finalValidFlag = false;
}

float NotchMask::strength (float levelDb, const BlockControls& controls, const EngineConfig& cfg) noexcept
{
    const float knee = 12.0f - 10.0f * controls.sharpness;
    float e = levelDb - ((controls.selectivity - 0.5f) * cfg.selectivitySpanDb + cfg.thresholdDb);

    if (e <= -0.5f * knee)
        e = 0.0f;
    else if (e < 0.5f * knee)
        e = (e + 0.5f * knee) * (e + 0.5f * knee) / (2.0f * knee);

    if (cfg.strengthStartDb <= 0.0f)
        return cfg.strengthFullDb > 0.0f ? std::min (e / cfg.strengthFullDb, 1.0f) : (e > 0.0f ? 1.0f : 0.0f);

    float start = cfg.strengthStartDb;
    if (controls.hardMode)
        start = std::max (start - cfg.hardKneeShiftDb, 0.0f);
    const float u = clamp01 ((e - start) / std::max (cfg.strengthFullDb - start, 0.001f));
    return u * u * (3.0f - 2.0f * u);
}

void NotchMask::build (const PeakRecord* peaks, int count, const BlockControls& controls, int firstBin, int lastBin,
    const float* amountPerBin, const float* presencePerBin) noexcept
{
    std::fill (rawGains.begin(), rawGains.end(), 0.0f);
    finalValidFlag = false;
    if (bins == 0)
        return;

    if (controls.attackScale != cachedAttackScale)
    {
        cachedAttackScale = controls.attackScale;
        attackCoeff = onePole (framePeriodMs, (double) config.notchAttackMs * std::max (controls.attackScale, 0.01f));
    }
    if (controls.releaseScale != cachedReleaseScale)
    {
        cachedReleaseScale = controls.releaseScale;
        releaseCoeff =
            onePole (framePeriodMs, (double) config.notchReleaseMs * std::max (controls.releaseScale, 0.01f));
    }

    const int lo = std::max (firstBin, 0);
    const int hi = std::min (lastBin, bins - 1);
    float* raw = rawGains.data();

    const float widthFactor = 3.0f - 2.0f * controls.sharpness;
    const float hardFactor = controls.hardMode ? config.hardDepthFactor : 1.0f;

    // depth factors that do not depend on the peak
    const float s = clamp01 (controls.sharpness);
    const float sharpFactor = s < 0.5f ? 2.0f * s : 1.0f + (config.notchSharpMax - 1.0f) * (2.0f * s - 1.0f);
    const float qSpan = std::max (config.notchQFull, config.notchQStart + 0.001f) - config.notchQStart;
    const float levelSpan =
        std::max (config.notchLevelFullDb, config.notchLevelStartDb + 0.001f) - config.notchLevelStartDb;
    float fallbackDepth = std::max (controls.depth, 0.0f);
    if (config.fallbackDepthCurve != 1.0f)
        fallbackDepth = std::pow (fallbackDepth, config.fallbackDepthCurve);

    for (int p = 0; p < (peaks != nullptr ? count : 0); ++p)
    {
        const PeakRecord& peak = peaks[p];
        if (peak.isProtected || ! std::isfinite (peak.fracBin))
            continue;

        const float strengthValue = strength (peak.levelDb, controls, config);
        float depth;
        if (amountPerBin != nullptr)
        {
            const int w = std::clamp (peak.bin, 0, bins - 1);
            const float qRamp = clamp01 ((peak.q - config.notchQStart) / qSpan);
            const float levelRamp = clamp01 ((peak.levelDb - config.notchLevelStartDb) / levelSpan);
            const float presence = presencePerBin != nullptr ? presencePerBin[w] : 1.0f;
            const float weight = presence + (1.0f - presence) * qRamp * levelRamp;
            depth = strengthValue * sharpFactor * config.notchDepthDb * hardFactor * amountPerBin[w] * weight;
        }
        else
        {
            depth = strengthValue * fallbackDepth * config.fallbackDepthDb * hardFactor;
        }

        if (! (depth >= 0.01f))
            continue;

        const float halfWidth = std::max (peak.widthBins * widthFactor, config.notchMinHalfWidthBins);
        const float flat = std::min (peak.widthBins * config.notchFlatFraction, 0.6f * halfWidth);
        const float from = std::max ((float) lo, std::floor (peak.fracBin - halfWidth));
        const float to = std::min ((float) hi, std::ceil (peak.fracBin + halfWidth));
        if (! (from <= to))
            continue;
        for (int j = (int) from; j <= (int) to; ++j)
        {
            const float d = std::abs ((float) j - peak.fracBin);
            if (! (d < halfWidth))
                continue;
            const float t = d <= flat ? 0.0f : (d - flat) / (halfWidth - flat);
            raw[j] = std::min (raw[j], -depth * 0.5f * (1.0f + std::cos (pi * t)));
        }
    }

    if (config.notchSmoothingOn)
    {
        for (int j = lo; j <= hi; ++j)
        {
            const float left = raw[std::max (j - 1, 0)];
            const float right = raw[std::min (j + 1, bins - 1)];
            scratch[(size_t) j] = std::min (raw[j], 0.25f * left + 0.5f * raw[j] + 0.25f * right);
        }
        for (int j = lo; j <= hi; ++j)
            raw[j] = scratch[(size_t) j];
    }

    float* current = currentGains.data();
    const bool ballistics = config.notchBallisticsOn;
    const bool slew = config.notchSlewOn;
    for (int j = lo; j <= hi; ++j)
    {
        if (ballistics || slew)
        {
            float v = raw[j];
            const float c = current[j];
            if (ballistics)
                v = c + (v - c) * (v < c ? attackCoeff : releaseCoeff);
            if (slew)
                v = c + std::clamp (v - c, -slewDb, slewDb);
            current[j] = std::min (v, 0.0f);
        }
        else
        {
            current[j] = raw[j];
        }
    }
}

void NotchMask::combine (const float* bandGains, int firstBin, int lastBin) noexcept
{
    std::copy (currentGains.begin(), currentGains.end(), finalGains.begin());
    if (bandGains != nullptr)
    {
        const int lo = std::max (firstBin, 0);
        const int hi = std::min (lastBin, bins - 1);
        for (int j = lo; j <= hi; ++j)
            finalGains[(size_t) j] = std::min (finalGains[(size_t) j], bandGains[j]);
    }
    finalValidFlag = true;
}

void NotchMask::copyFrom (const NotchMask& other) noexcept
{
    const auto copy = [] (const std::vector<float>& from, std::vector<float>& to)
    { std::copy_n (from.begin(), std::min (from.size(), to.size()), to.begin()); };
    copy (other.rawGains, rawGains);
    copy (other.currentGains, currentGains);
    copy (other.finalGains, finalGains);
    finalValidFlag = other.finalValidFlag;
}

} // namespace reso
