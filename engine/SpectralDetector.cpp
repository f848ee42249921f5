#include "SpectralDetector.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace reso
{

namespace
{
// Converts a non-negative double index estimate to int without overflow.
int clampedIndex (double x, int limit) noexcept
{
    if (! (x > -1.0))
        return -1;
    return (int) std::min (x, (double) limit);
}

int framesFor (double ms, double sampleRate, int period) noexcept
{
    return std::max (1, (int) std::lround (ms * 0.001 * sampleRate / period));
}
} // namespace

void SpectralDetector::prepare (int fftSize, double newSampleRate, const EngineConfig& newConfig, int periodSamples)
{
    config = newConfig;
    n = std::max (8, fftSize);
    bins = n / 2 + 1;
    sampleRate = newSampleRate > 1.0 ? newSampleRate : 1.0;
    period = std::max (1, periodSamples);
    binWidth = sampleRate / n;
    dt = period / sampleRate;

    first = std::max (2, clampedIndex (std::ceil (config.detectLowHz / binWidth), bins));
    const double topHz = std::min (0.45 * sampleRate, (double) config.detectHighHz);
    last = std::min (clampedIndex (std::floor (topHz / binWidth), bins), n / 2 - 2);

    // baseline windows
    outerLo.assign ((size_t) bins, 1);
    outerHi.assign ((size_t) bins, 1);
    innerLo.assign ((size_t) bins, 1);
    innerHi.assign ((size_t) bins, 1);
    const double outerRatio = std::exp2 ((double) config.baselineOuterOctaves);
    const double innerRatio = std::exp2 ((double) config.baselineInnerOctaves);

    for (int k = 0; k < bins; ++k)
    {
        const double f = k * binWidth;
        int widen = 0;
        if (config.lowWideningHz > 0.0f && f < config.lowWideningTopHz)
            widen = (int) std::lround ((1.0 - f / config.lowWideningTopHz) * config.lowWideningHz / binWidth);
        const int w = std::max (config.baselineOuterMinBins, widen);

        const int oLo = std::max (1, std::min (clampedIndex (std::floor (k / outerRatio), bins), k - w));
        const int oHi = std::min (std::max (clampedIndex (std::ceil (k * outerRatio), bins), k + w), bins - 1);
        const int innerMin = config.baselineInnerMinBins;
        const int iLo = std::max (1, std::min (clampedIndex (std::floor (k / innerRatio), bins), k - innerMin));
        const int iHi = std::min (std::max (clampedIndex (std::ceil (k * innerRatio), bins), k + innerMin), bins - 1);

        outerLo[(size_t) k] = oLo;
        outerHi[(size_t) k] = std::max (oLo, oHi);
        // the excluded centre never reaches outside the outer window
        innerLo[(size_t) k] = std::max (iLo, oLo);
        innerHi[(size_t) k] = std::max (innerLo[(size_t) k], std::min (iHi, outerHi[(size_t) k]));
    }

    riseStep = (float) (config.excessRiseDbPerS * dt);
    fallStep = (float) (config.excessFallDbPerS * dt);
    smoothCoefficient = config.spectrumSmoothingMs > 0.0f
                            ? (float) (1.0 - std::exp (-1000.0 * dt / config.spectrumSmoothingMs))
                            : 1.0f;
    holdDecay = (float) (config.peakHoldDecayDbPerS * dt);
    slowCoefficient = (float) (1.0 - std::exp (-1000.0 * dt / std::max (config.slowAverageMs, 1.0f)));

    weightingOn = config.harmonicAnalysisOn != 0 && config.harmonicWeightThreshold > 0.0f;
    weightAttack = (float) (1.0 - std::exp (-1000.0 * dt / std::max (config.harmonicWeightAttackMs, 1.0f)));
    weightRelease = (float) (1.0 - std::exp (-1000.0 * dt / std::max (config.harmonicWeightReleaseMs, 1.0f)));
    harmonicHoldLength = framesFor (config.harmonicHoldMs, sampleRate, period);

    stabTop = config.lowStabilityOn != 0
                  ? std::min (clampedIndex (std::floor (config.lowStabilityTopHz / binWidth), bins), last)
                  : first - 1;
    stabCount = std::max (0, stabTop - first + 1);
    spanFrames = std::max (1, (int) std::lround (config.stabilitySpanMs * 0.001 / dt));
    voteFrames = std::max (1, (int) std::lround (config.stabilityWindowMs * 0.001 / dt));
    stableVotesNeeded = std::max (1, (int) std::ceil (voteFrames * config.stabilityFraction));
    lowHold = framesFor (config.lowHoldMs, sampleRate, period);

    const auto binsSize = (size_t) bins;
    smoothedDb.assign (binsSize, 0.0f);
    peakHoldDb.assign (binsSize, 0.0f);
    slowAverageDb.assign (binsSize, 0.0f);
    excessDb.assign (binsSize, 0.0f);
    trackedDb.assign (binsSize, 0.0f);
    effectiveDb.assign (binsSize, 0.0f);
    prefix.assign (binsSize + 1, 0.0);
    harmonicHoldCount.assign (binsSize, 0);
    stabilityHoldCount.assign (binsSize, 0);
    harmonicFlag.assign (binsSize, 0);
    weight.assign (binsSize, 1.0f);
    slot.assign ((size_t) std::max (1, config.maxHarmonic + 1), -1);

    const auto stabRows = (size_t) std::max (1, stabCount);
    levelHistory.assign (stabRows * (size_t) (2 * spanFrames + 1), 0.0f);
    stableFlags.assign (stabRows * (size_t) voteFrames, 0);
    stableVotes.assign (stabRows, 0);

    lowProtectOff = true;
    protectTop = -1;
    protectLimit = -1;

    reset();
}

void SpectralDetector::reset() noexcept
{
    firstSmooth = firstHold = true;
    std::fill (smoothedDb.begin(), smoothedDb.end(), 0.0f);
    std::fill (peakHoldDb.begin(), peakHoldDb.end(), 0.0f);
    std::fill (slowAverageDb.begin(), slowAverageDb.end(), 0.0f);
    std::fill (excessDb.begin(), excessDb.end(), 0.0f);
    std::fill (trackedDb.begin(), trackedDb.end(), 0.0f);
    std::fill (effectiveDb.begin(), effectiveDb.end(), 0.0f);
    std::fill (prefix.begin(), prefix.end(), 0.0);
    std::fill (harmonicHoldCount.begin(), harmonicHoldCount.end(), 0);
    std::fill (stabilityHoldCount.begin(), stabilityHoldCount.end(), 0);
    std::fill (harmonicFlag.begin(), harmonicFlag.end(), (std::uint8_t) 0);
    std::fill (weight.begin(), weight.end(), 1.0f);
    std::fill (slot.begin(), slot.end(), -1);
    candidateList.fill (Candidate {});
    used.fill (0);
    series = candidates = mostMatched = 0;
    ratio = 0.0f;
    std::fill (levelHistory.begin(), levelHistory.end(), 0.0f);
    std::fill (stableFlags.begin(), stableFlags.end(), (std::uint8_t) 0);
    std::fill (stableVotes.begin(), stableVotes.end(), 0);
    stabilityFrame = 0;
}

void SpectralDetector::setLowProtect (bool isOff, int top, int limit) noexcept
{
    lowProtectOff = isOff;
    protectTop = top;
    protectLimit = limit;
}

void SpectralDetector::analyse (const float* levelDb) noexcept
{
    if (bins == 0)
        return;

    float* S = smoothedDb.data();

    if (firstSmooth)
    {
        std::copy (levelDb, levelDb + bins, S);
        firstSmooth = false;
    }
    else
    {
        for (int k = 0; k < bins; ++k)
            S[k] += (levelDb[k] - S[k]) * smoothCoefficient;
    }

    if (config.pitchGuardOn != 0)
    {
        if (firstHold)
        {
            std::copy (S, S + bins, peakHoldDb.data());
            std::copy (S, S + bins, slowAverageDb.data());
            firstHold = false;
        }
        else
        {
            for (int k = 0; k < bins; ++k)
            {
                peakHoldDb[(size_t) k] = std::max (peakHoldDb[(size_t) k] - holdDecay, S[k]);
                slowAverageDb[(size_t) k] += (S[k] - slowAverageDb[(size_t) k]) * slowCoefficient;
            }
        }
    }

    prefix[0] = 0.0;
    for (int k = 0; k < bins; ++k)
        prefix[(size_t) k + 1] = prefix[(size_t) k] + S[k];

    const auto sum = [this] (int lo, int hi) { return prefix[(size_t) hi + 1] - prefix[(size_t) lo]; };
    const int strongLimit = std::min (protectLimit, bins - 1);

    for (int k = first; k <= last; ++k)
    {
        const int oLo = outerLo[(size_t) k], oHi = outerHi[(size_t) k];
        const int iLo = innerLo[(size_t) k], iHi = innerHi[(size_t) k];

        // ring baseline from prefix sums
        const int ringBins = (oHi - oLo) - (iHi - iLo);
        const double base = ringBins < 4 ? (double) S[k] : (sum (oLo, oHi) - sum (iLo, iHi)) / ringBins;
        double e = S[k] - base;

        if (config.sideLimitDb > 0.0f && config.sideLimitFromHz <= k * binWidth && iLo - oLo > 1 && oHi - iHi > 1)
        {
            const double upper = sum (iHi + 1, oHi) / (oHi - iHi);
            const double lower = sum (oLo, iLo - 1) / (iLo - oLo);
            e = std::min (e, S[k] - std::max (upper, lower) + config.sideLimitDb);
        }

        excessDb[(size_t) k] = (float) e;

        if (k <= protectTop && config.lowStrongPeakDb > 0.0f && levelDb[k] - base > config.lowStrongPeakDb)
            for (int j = k - 1; j <= std::min (k + 1, strongLimit); ++j)
                stabilityHoldCount[(size_t) j] = std::max (stabilityHoldCount[(size_t) j], lowHold);

        float t = 0.0f;
        if (harmonicHoldCount[(size_t) k] < 1 && stabilityHoldCount[(size_t) k] < 1)
        {
            const float ef = excessDb[(size_t) k];
            t = trackedDb[(size_t) k];
            t = ef > t ? std::min (t + riseStep, ef) : std::max (t - fallStep, ef);
        }
        trackedDb[(size_t) k] = std::clamp (t, 0.0f, maxTrackedDb);
        effectiveDb[(size_t) k] = std::min (trackedDb[(size_t) k], excessDb[(size_t) k]);
    }

    analyseHarmonics();
    analyseStability (levelDb);
}

float SpectralDetector::parabolaOffset (int k) const noexcept
{
    const float* S = smoothedDb.data();
    const float c = S[k - 1] - 2.0f * S[k] + S[k + 1];
    if (! (c < -1e-9f))
        return 0.0f;
    return std::clamp ((S[k - 1] - S[k + 1]) / (2.0f * c), -0.5f, 0.5f);
}

void SpectralDetector::addCandidate (int bin, float freqHz, float levelDb) noexcept
{
    if (candidates < maxCandidates)
    {
        candidateList[(size_t) candidates++] = { bin, freqHz, levelDb, 0.0 };
        return;
    }

    int weakest = 0;
    for (int i = 1; i < maxCandidates; ++i)
        if (candidateList[(size_t) i].levelDb < candidateList[(size_t) weakest].levelDb)
            weakest = i;

    if (levelDb > candidateList[(size_t) weakest].levelDb)
        candidateList[(size_t) weakest] = { bin, freqHz, levelDb, 0.0 };
}

SpectralDetector::Match SpectralDetector::countHarmonics (double f0) noexcept
{
    std::fill (slot.begin(), slot.end(), -1);
    Match m { 0, INT_MAX, 0 };
    const double tolBins = binWidth * config.harmonicToleranceBins;

    for (int i = 0; i < candidates; ++i)
    {
        const double fi = candidateList[(size_t) i].freqHz;
        const double r = fi / f0;
        if (! (r >= 0.5 && r < config.maxHarmonic + 0.5))
            continue;
        const int h = (int) std::lround (r);
        if (h < 1 || h > config.maxHarmonic || std::abs (fi - h * f0) > fi * config.harmonicToleranceRel + tolBins)
            continue;

        int& s = slot[(size_t) h];
        if (s < 0)
        {
            m.lo = std::min (m.lo, h);
            m.hi = std::max (m.hi, h);
            ++m.matched;
            s = i;
        }
        else if (candidateList[(size_t) i].levelDb > candidateList[(size_t) s].levelDb)
        {
            s = i;
        }
    }
    return m;
}

void SpectralDetector::markSeries() noexcept
{
    for (int h = 1; h < (int) slot.size(); ++h)
    {
        if (slot[(size_t) h] < 0)
            continue;
        const int b = candidateList[(size_t) slot[(size_t) h]].bin;
        for (int j = std::max (0, b - 1); j <= std::min (bins - 1, b + 1); ++j)
        {
            if (weightingOn)
                harmonicFlag[(size_t) j] = 1;
            else
                harmonicHoldCount[(size_t) j] = harmonicHoldLength;
        }
    }
}

void SpectralDetector::analyseHarmonics() noexcept
{
    series = candidates = mostMatched = 0;
    ratio = 0.0f;
    for (auto& h : harmonicHoldCount)
        if (h > 0)
            --h;

    if (config.harmonicAnalysisOn == 0)
        return;
    if (weightingOn)
        std::fill (harmonicFlag.begin(), harmonicFlag.end(), (std::uint8_t) 0);

    const float* E = excessDb.data();
    for (int k = first + 1; k <= last - 1; ++k)
    {
        if (E[k] >= config.harmonicCandidateMinDb && E[k] > E[k - 1] && E[k] >= E[k + 1])
            addCandidate (k, (float) ((k + parabolaOffset (k)) * binWidth), E[k]);
    }
    if (candidates < config.harmonicMinCount)
        return;

    double total = 0.0;
    for (int i = 0; i < candidates; ++i)
    {
        auto& c = candidateList[(size_t) i];
        c.power = std::pow (10.0, c.levelDb / 10.0);
        total += c.power;
    }

    const double tolBins = binWidth * config.harmonicToleranceBins;
    const auto denseEnough = [this] (const Match& m)
    { return ! ((m.hi - m.lo + 1) * config.harmonicDensity > m.matched); };

    // sub-bass pass: series with a fundamental below the sub-bass limit claim their partials
    const bool restricted = lowProtectOff && config.subBassLimitHz > 0.0f;
    if (restricted)
    {
        used.fill (0);
        for (int i = 0; i < candidates; ++i)
        {
            for (int j = 1; j <= 3; ++j)
            {
                const double f0 = (double) candidateList[(size_t) i].freqHz / j;
                if (! (config.detectLowHz <= f0 && f0 < config.subBassLimitHz))
                    continue;
                const Match m = countHarmonics (f0);
                if (m.matched >= config.harmonicMinCount && denseEnough (m))
                    for (int s : slot)
                        if (s >= 0)
                            used[(size_t) s] = 1;
            }
        }
    }

    for (int i = 0; i < candidates; ++i)
    {
        for (int j = 1; j <= 3; ++j)
        {
            const double f0 = (double) candidateList[(size_t) i].freqHz / j;
            if (f0 < config.minFundamentalHz || (restricted && f0 < config.subBassLimitHz))
                continue;

            const Match m = countHarmonics (f0);
            if (m.matched < config.harmonicMinCount)
                continue;
            if (m.matched < config.harmonicDenseCount && ! denseEnough (m))
                continue;

            if (restricted)
            {
                bool fresh = false;
                for (int s : slot)
                    fresh = fresh || (s >= 0 && used[(size_t) s] == 0);
                if (! fresh)
                    continue;
            }

            ++series;
            mostMatched = std::max (mostMatched, m.matched);
            double slotted = 0.0;
            for (int s : slot)
                if (s >= 0)
                    slotted += candidateList[(size_t) s].power;
            ratio = std::max (ratio, (float) (slotted / std::max (total, 1e-30)));

            // upper partials of stiff strings run sharp
            if (m.matched > 3 && config.inharmonicity > 0.0f)
            {
                for (int c = 0; c < candidates; ++c)
                {
                    const double fc = candidateList[(size_t) c].freqHz;
                    const double r = fc / f0;
                    if (! (r >= 1.5 && r < config.maxHarmonic + 0.5))
                        continue;
                    const int h = (int) std::lround (r);
                    if (h <= 1 || h > config.maxHarmonic || slot[(size_t) h] >= 0)
                        continue;
                    const double dev = fc - h * f0;
                    const double allowed = fc * config.harmonicToleranceRel + tolBins
                                           + (double) h * h * h * f0 * config.inharmonicity;
                    if (dev > 0.0 && dev <= allowed)
                        slot[(size_t) h] = c;
                }
            }

            markSeries();
        }
    }

    if (weightingOn && bins >= 3)
    {
        for (int k = 1; k <= bins - 2; ++k)
        {
            auto& w = weight[(size_t) k];
            if (excessDb[(size_t) k] >= config.harmonicCandidateMinDb)
            {
                const bool flagged = harmonicFlag[(size_t) k - 1] != 0 || harmonicFlag[(size_t) k] != 0
                                     || harmonicFlag[(size_t) k + 1] != 0;
                w += ((flagged ? 1.0f : 0.0f) - w) * weightAttack;
            }
            else
            {
                w += (1.0f - w) * weightRelease;
            }

            if (harmonicFlag[(size_t) k] != 0 && w >= config.harmonicWeightThreshold)
                harmonicHoldCount[(size_t) k] = harmonicHoldLength;
        }
    }
}

void SpectralDetector::analyseStability (const float* levelDb) noexcept
{
    // counted down even without a stability region, so no hold can outlive its length
    for (auto& h : stabilityHoldCount)
        if (h > 0)
            --h;

    if (stabCount < 1)
        return;

    const std::int64_t c = stabilityFrame++;
    const int rows = 2 * spanFrames + 1;
    const auto rowOf = [&] (std::int64_t frame) { return (size_t) (frame % rows) * (size_t) stabCount; };

    float* newest = levelHistory.data() + rowOf (c);
    for (int i = 0; i < stabCount; ++i)
    {
        const int k = first + i;
        const double p = std::pow (10.0, levelDb[k - 1] / 10.0) + std::pow (10.0, levelDb[k] / 10.0)
                         + std::pow (10.0, levelDb[k + 1] / 10.0) + 1e-30;
        newest[i] = (float) (10.0 * std::log10 (p));
    }

    if (c < 2 * spanFrames)
        return;

    const float* middle = levelHistory.data() + rowOf (c - spanFrames);
    const float* oldest = levelHistory.data() + rowOf (c - 2 * spanFrames);
    std::uint8_t* flags = stableFlags.data() + (size_t) (c % voteFrames) * (size_t) stabCount;
    const int limit = std::min (protectLimit, bins - 1);

    for (int i = 0; i < stabCount; ++i)
    {
        const float d = std::abs (newest[i] - 2.0f * middle[i] + oldest[i]) * 0.40824828f;
        const std::uint8_t stable = d < config.stabilityMaxDb ? 1 : 0;
        stableVotes[(size_t) i] += (int) stable - (int) flags[i];
        flags[i] = stable;

        const int k = first + i;
        if (stableVotes[(size_t) i] >= stableVotesNeeded && k <= protectTop)
            for (int j = std::max (0, k - 1); j <= std::min (k + 1, limit); ++j)
                stabilityHoldCount[(size_t) j] = std::max (stabilityHoldCount[(size_t) j], lowHold);
    }
}

int SpectralDetector::pickPeaks (float threshold, float knee, PeakRecord* out, int capacity,
                                 const float* curve) noexcept
{
    const int room = std::min (capacity, maxPickList);
    if (out == nullptr || room <= 0 || bins == 0)
        return 0;

    const float* E = excessDb.data();
    const float* R = effectiveDb.data();
    const float gate = threshold - knee / 2.0f;
    int count = 0;

    for (int k = first + 1; k <= last - 1; ++k)
    {
        const float c = curve != nullptr ? R[k] + curve[k] : R[k];
        if (! (c > gate && E[k] > E[k - 1] && E[k] >= E[k + 1]))
            continue;

        if (count < room)
        {
            pickBin[(size_t) count] = k;
            pickValue[(size_t) count] = c;
            ++count;
            continue;
        }

        int weakest = 0;
        for (int i = 1; i < room; ++i)
            if (pickValue[(size_t) i] < pickValue[(size_t) weakest])
                weakest = i;
        if (c > pickValue[(size_t) weakest])
        {
            pickBin[(size_t) weakest] = k;
            pickValue[(size_t) weakest] = c;
        }
    }

    for (int i = 0; i < count; ++i)
    {
        const int k = pickBin[(size_t) i];
        const float fracBin = (float) k + parabolaOffset (k);
        const float edge = E[k] - 3.0f;

        float left = (float) k;
        for (int l = k - 1; l >= std::max (first, k - maxEdgeSearch); --l)
        {
            if (E[l] < edge)
            {
                left = (float) (l + 1) - (E[l + 1] - edge) / std::max (E[l + 1] - E[l], 1e-6f);
                break;
            }
            left = (float) l;
        }

        float right = (float) k;
        for (int m = k + 1; m <= std::min (k + maxEdgeSearch, last); ++m)
        {
            if (E[m] < edge)
            {
                right = (float) (m - 1) + (E[m - 1] - edge) / std::max (E[m - 1] - E[m], 1e-6f);
                break;
            }
            right = (float) m;
        }

        const float width = std::max (right - left, 1.0f);
        auto& p = out[i];
        p.bin = k;
        p.fracBin = fracBin;
        p.freqHz = (float) (fracBin * binWidth);
        p.levelDb = pickValue[(size_t) i];
        p.widthBins = width;
        p.q = fracBin / width;
        p.isProtected = harmonicHoldCount[(size_t) k] > 0 || stabilityHoldCount[(size_t) k] > 0;
    }
    return count;
}

} // namespace reso
