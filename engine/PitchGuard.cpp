#include "PitchGuard.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace reso
{

namespace
{
constexpr double pi = 3.14159265358979323846;
constexpr int maxDecimation = 256;
constexpr int minFftLength = 16;
constexpr int maxFftLength = 1 << 20;
constexpr int walkLimitBins = 160;

// Converts a whole-numbered double to int, clamped to [lo, hi]; NaN gives lo.
int clampToInt (double value, int lo, int hi) noexcept
{
    if (!(value >= (double) lo))
        return lo;
    if (value >= (double) hi)
        return hi;
    return (int) value;
}

float smoothingCoefficient (double periodSeconds, float timeMs) noexcept
{
    if (!(timeMs > 0.0f))
        return 1.0f;
    return (float) (1.0 - std::exp (-1000.0 * periodSeconds / (double) timeMs));
}
} // namespace

void PitchGuard::prepare (double sampleRate, const EngineConfig& config)
{
    cfg = config;
    isEnabled = cfg.pitchGuardOn != 0 && cfg.fftSize >= cfg.pitchGuardMinFft && sampleRate > 0.0;

    decimationFactor = 1;
    rate = 0.0;
    numStages = 0;
    length = hopSize = spectrumBins = maxBin = lowBandTop = 0;
    first = 0;
    last = -1;
    pw = 0.0;
    holdFrameCount = 1;
    numPeaks = 0;
    analysisCount = 0;

    if (!isEnabled)
    {
        hann.clear();
        history.clear();
        frame.clear();
        re.clear();
        im.clear();
        outerLo.clear();
        outerHi.clear();
        innerLo.clear();
        innerHi.clear();
        fast.clear();
        slow.clear();
        excess.clear();
        tracked.clear();
        effective.clear();
        prefixFast.clear();
        prefixSlow.clear();
        slot.clear();
        holdCounters.clear();
        peakCandidates.clear();
        peakList.clear();
        return;
    }

    // decimation: the decimated Nyquist frequency is the first power-of-two division below 3 x pitchHighHz
    const double aliasLimit = 3.0 * (double) cfg.pitchHighHz;
    if (!(sampleRate / 2.0 < aliasLimit))
    {
        decimationFactor = 2;
        while (decimationFactor < maxDecimation && !(sampleRate / (2.0 * decimationFactor) < aliasLimit))
            decimationFactor *= 2;
    }
    rate = sampleRate / decimationFactor;
    for (int d = decimationFactor; d > 1; d /= 2)
        ++numStages;

    // last stage: 31-tap Blackman-windowed half-band sinc, normalised to unity gain at DC
    double tapSum = 0.0;
    double taps[longHalfLength / 2 + 1] = {};
    for (int n = 0; n <= longHalfLength / 2; ++n)
    {
        const double j = 2.0 * n + 1.0;
        const double window = 0.42 + 0.5 * std::cos (j * pi / 16.0) + 0.08 * std::cos (2.0 * j * pi / 16.0);
        taps[n] = std::sin (j * pi / 2.0) / (j * pi) * window;
        tapSum += taps[n];
    }
    const double norm = 0.5 + 2.0 * tapSum;
    longCentre = (float) (0.5 / norm);
    for (int n = 0; n <= longHalfLength / 2; ++n)
        longTaps[(size_t) n] = (float) (taps[n] / norm);

    // long FFT geometry
    const double neededLength = (double) cfg.pitchWindowMs * 0.001 * rate;
    length = minFftLength;
    while (length < maxFftLength && !(neededLength <= length * std::sqrt (2.0)))
        length *= 2;
    hopSize = std::max (1, length / std::max (cfg.pitchOverlap, 1));
    spectrumBins = length / 2 + 1;
    pw = rate / length;
    maxBin = std::min (clampToInt (std::floor (0.4 * rate / pw), 0, spectrumBins), spectrumBins - 2);
    first = std::max (3, clampToInt (std::ceil ((double) cfg.pitchLowHz / pw), 0, spectrumBins));
    last = std::min (clampToInt (std::floor ((double) cfg.pitchHighHz / pw), -1, spectrumBins), maxBin - 2);
    lowBandTop = clampToInt (std::floor ((double) cfg.pitchLowBandTopHz / pw), -1, spectrumBins);

    hann.resize ((size_t) length);
    for (int i = 0; i < length; ++i)
        hann[(size_t) i] = (float) (0.5 - 0.5 * std::cos (2.0 * pi * i / length));

    history.assign ((size_t) length * 2, 0.0f);
    historyMask = length * 2 - 1;
    frame.assign ((size_t) length, 0.0f);
    re.assign ((size_t) spectrumBins, 0.0f);
    im.assign ((size_t) spectrumBins, 0.0f);
    fft.prepare (length);

    // ring baseline windows
    const double outerRatio = std::pow (2.0, (double) cfg.pitchOuterOctaves) - 1.0;
    const double innerRatio = std::pow (2.0, (double) cfg.pitchInnerOctaves) - 1.0;
    outerLo.assign ((size_t) maxBin + 1, 0);
    outerHi.assign ((size_t) maxBin + 1, 0);
    innerLo.assign ((size_t) maxBin + 1, 0);
    innerHi.assign ((size_t) maxBin + 1, 0);
    for (int i = 0; i <= maxBin; ++i)
    {
        const int outerHalf =
            clampToInt (std::ceil (std::max (pw * i * outerRatio, (double) cfg.pitchOuterMinHz) / pw), 0, spectrumBins);
        const int innerHalf =
            clampToInt (std::ceil (std::max (pw * i * innerRatio, (double) cfg.pitchInnerMinHz) / pw), 0, spectrumBins);
        outerLo[(size_t) i] = std::max (1, i - outerHalf);
        outerHi[(size_t) i] = std::min (i + outerHalf, maxBin);
        innerLo[(size_t) i] = std::max (1, i - innerHalf);
        innerHi[(size_t) i] = std::min (i + innerHalf, maxBin);
    }

    const double period = hopSize / rate;
    fastCoefficient = smoothingCoefficient (period, cfg.pitchFastMs);
    slowCoefficient = smoothingCoefficient (period, cfg.pitchSlowMs);
    riseStep = (float) (cfg.pitchRiseDbPerS * period);
    fallStep = (float) (cfg.excessFallDbPerS * period);
    holdFrameCount = std::max (1, clampToInt (std::round (cfg.pitchHoldMs * 0.001 * rate / hopSize), 0, INT_MAX));

    fast.assign ((size_t) spectrumBins, 0.0f);
    slow.assign ((size_t) spectrumBins, 0.0f);
    excess.assign ((size_t) spectrumBins, 0.0f);
    tracked.assign ((size_t) spectrumBins, 0.0f);
    effective.assign ((size_t) spectrumBins, 0.0f);
    prefixFast.assign ((size_t) spectrumBins + 1, 0.0);
    prefixSlow.assign ((size_t) spectrumBins + 1, 0.0);
    slot.assign ((size_t) std::max (cfg.maxHarmonic, 0) + 1, -1);
    holdCounters.assign ((size_t) spectrumBins, 0);
    peakCandidates.assign ((size_t) std::max (cfg.pitchMaxPeaks, 0), PeakCandidate{});
    peakList.assign ((size_t) std::max (cfg.pitchMaxPeaks, 0), PitchPeak{});

    reset();
}

void PitchGuard::reset() noexcept
{
    for (auto& stage : stages)
    {
        stage.ring.fill (0.0f);
        stage.write = 0;
        stage.phase = false;
    }
    std::fill (history.begin(), history.end(), 0.0f);
    historyWrite = decimatedCount = hopCounter = 0;
    std::fill (fast.begin(), fast.end(), 0.0f);
    std::fill (slow.begin(), slow.end(), 0.0f);
    std::fill (excess.begin(), excess.end(), 0.0f);
    std::fill (tracked.begin(), tracked.end(), 0.0f);
    std::fill (effective.begin(), effective.end(), 0.0f);
    std::fill (holdCounters.begin(), holdCounters.end(), 0);
    std::fill (peakList.begin(), peakList.end(), PitchPeak{});
    used.fill (0);
    candidateCount = 0;
    numPeaks = 0;
    analysisCount = 0;
}

bool PitchGuard::push (float sample) noexcept
{
    if (!isEnabled)
        return false;

    float x = sample;
    for (int s = 0; s < numStages; ++s)
    {
        Stage& stage = stages[(size_t) s];
        const int writeBefore = stage.write;
        stage.ring[(size_t) writeBefore] = x;
        const bool wasSet = stage.phase;
        stage.phase = !wasSet;
        stage.write = (writeBefore + 1) & stageRingMask;
        if (wasSet)
            return false;

        const float* q = stage.ring.data();
        if (s == numStages - 1)
        {
            const int c = writeBefore + stageRingSize - longHalfLength;
            float y = q[c & stageRingMask] * longCentre;
            for (int n = 0; n <= longHalfLength / 2; ++n)
            {
                const int j = 2 * n + 1;
                y += (q[(c - j) & stageRingMask] + q[(c + j) & stageRingMask]) * longTaps[(size_t) n];
            }
            x = y;
        }
        else
        {
            const int c = writeBefore + stageRingSize - shortHalfLength;
            x = (q[(c - 2) & stageRingMask] + q[(c + 2) & stageRingMask]) * (1.0f / 16.0f)
                + (q[(c - 1) & stageRingMask] + q[(c + 1) & stageRingMask]) * 0.25f + q[c & stageRingMask] * 0.375f;
        }
    }

    history[(size_t) historyWrite] = x;
    historyWrite = (historyWrite + 1) & historyMask;
    if (decimatedCount < length)
        ++decimatedCount;
    if (++hopCounter < hopSize)
        return false;
    hopCounter = 0;
    if (decimatedCount < length)
        return false;

    analyse();
    return true;
}

float PitchGuard::decimatedSample (int age) const noexcept
{
    if (!isEnabled || age < 0 || age > historyMask)
        return 0.0f;
    return history[(size_t) ((historyWrite + historyMask - age) & historyMask)];
}

void PitchGuard::analyse() noexcept
{
    for (int j = 0; j < length; ++j)
        frame[(size_t) j] = history[(size_t) ((historyWrite + j + length) & historyMask)] * hann[(size_t) j];
    fft.forward (frame.data(), re.data(), im.data());

    const bool firstAnalysis = analysisCount == 0;
    const float catchUp = 1.0f / (float) ((double) analysisCount + 1.0);
    const float fastStep = std::max (catchUp, fastCoefficient);
    const float slowStep = std::max (catchUp, slowCoefficient);
    for (int i = 0; i <= maxBin; ++i)
    {
        const double r = re[(size_t) i], m = im[(size_t) i];
        const float w = (float) (10.0 * std::log10 (r * r + m * m + 1e-20));
        if (firstAnalysis)
        {
            fast[(size_t) i] = w;
            slow[(size_t) i] = w;
        }
        else
        {
            fast[(size_t) i] += (w - fast[(size_t) i]) * fastStep;
            slow[(size_t) i] += (w - slow[(size_t) i]) * slowStep;
        }
    }
    if (analysisCount < INT_MAX)
        ++analysisCount;

    prefixFast[0] = prefixSlow[0] = 0.0;
    for (int i = 0; i <= maxBin; ++i)
    {
        prefixFast[(size_t) i + 1] = prefixFast[(size_t) i] + fast[(size_t) i];
        prefixSlow[(size_t) i + 1] = prefixSlow[(size_t) i] + slow[(size_t) i];
    }

    for (int i = first; i <= last; ++i)
    {
        const int ol = outerLo[(size_t) i], oh = outerHi[(size_t) i];
        const int il = innerLo[(size_t) i], ih = innerHi[(size_t) i];
        const int ringBins = (oh - ol) - (ih - il);
        float fe = 0.0f, se = 0.0f;
        if (ringBins >= 8)
        {
            const double fastRing = prefixFast[(size_t) oh + 1] - prefixFast[(size_t) ol]
                                    - (prefixFast[(size_t) ih + 1] - prefixFast[(size_t) il]);
            const double slowRing = prefixSlow[(size_t) oh + 1] - prefixSlow[(size_t) ol]
                                    - (prefixSlow[(size_t) ih + 1] - prefixSlow[(size_t) il]);
            fe = fast[(size_t) i] - (float) (fastRing / ringBins);
            se = slow[(size_t) i] - (float) (slowRing / ringBins);
        }
        float e = std::min (fe + cfg.pitchSlowMarginDb, se);
        if (i <= lowBandTop)
            e = std::max (fe - cfg.pitchLowBoostDb, e);
        excess[(size_t) i] = e;
    }

    for (int i = first; i <= last; ++i)
    {
        const float e = excess[(size_t) i];
        float t = tracked[(size_t) i];
        t = e > t ? std::min (t + riseStep, e) : std::max (t - fallStep, e);
        tracked[(size_t) i] = std::clamp (t, 0.0f, 60.0f);
        effective[(size_t) i] = std::min (tracked[(size_t) i], e);
    }

    trackHarmonics();
    findPeaks();
}

float PitchGuard::slowParabolaOffset (int i) const noexcept
{
    const float a = slow[(size_t) i - 1], b = slow[(size_t) i], c = slow[(size_t) i + 1];
    const float curve = a - 2.0f * b + c;
    if (!(curve < -1e-9f))
        return 0.0f;
    return std::clamp ((a - c) / (2.0f * curve), -0.5f, 0.5f);
}

int PitchGuard::countHarmonics (double f0, int& lo, int& hi) noexcept
{
    std::fill (slot.begin(), slot.end(), -1);
    lo = INT_MAX;
    hi = 0;
    int matched = 0;
    const double toleranceBins = (double) cfg.pitchToleranceBins * pw;
    const int topHarmonic = (int) slot.size() - 1;

    for (int i = 0; i < candidateCount; ++i)
    {
        const double f = candidates[(size_t) i].freqHz;
        const double ratio = f / f0;
        if (!(ratio >= 0.5 && ratio < topHarmonic + 0.5))
            continue;
        const int h = (int) std::lround (ratio);
        if (h < 1 || h > topHarmonic || std::abs (f - h * f0) > f * cfg.pitchToleranceRel + toleranceBins)
            continue;

        int& s = slot[(size_t) h];
        if (s < 0)
        {
            lo = std::min (lo, h);
            hi = std::max (hi, h);
            ++matched;
            s = i;
        }
        else if (candidates[(size_t) i].levelDb > candidates[(size_t) s].levelDb)
        {
            s = i;
        }
    }
    return matched;
}

bool PitchGuard::seriesDenseEnough (int matched, int lo, int hi) const noexcept
{
    return !((float) (hi - lo + 1) * cfg.harmonicDensity > (float) matched);
}

void PitchGuard::trackHarmonics() noexcept
{
    for (auto& hold : holdCounters)
        if (hold > 0)
            --hold;
    candidateCount = 0;
    if (cfg.pitchHarmonicsOn == 0)
        return;

    for (int i = first + 1; i <= last - 1; ++i)
    {
        const float e = excess[(size_t) i];
        if (!(e >= cfg.pitchCandidateMinDb && e > excess[(size_t) i - 1] && e >= excess[(size_t) i + 1]))
            continue;

        const Candidate candidate{ i, (float) ((i + slowParabolaOffset (i)) * pw), e };
        if (candidateCount < maxCandidates)
        {
            candidates[(size_t) candidateCount++] = candidate;
            continue;
        }
        int smallest = 0;
        for (int k = 1; k < maxCandidates; ++k)
            if (candidates[(size_t) k].levelDb < candidates[(size_t) smallest].levelDb)
                smallest = k;
        if (e > candidates[(size_t) smallest].levelDb)
            candidates[(size_t) smallest] = candidate;
    }
    if (candidateCount < cfg.pitchMinCount)
        return;

    const int topHarmonic = (int) slot.size() - 1;
    int lo = 0, hi = 0;

    // sub-bass pass: series below subBassLimitHz consume their partials when low protect is off
    const bool restricted = lowProtectOff && cfg.subBassLimitHz > 0.0f;
    if (restricted)
    {
        used.fill (0);
        for (int c = 0; c < candidateCount; ++c)
            for (int divisor = 1; divisor <= 3; ++divisor)
            {
                const double f0 = (double) candidates[(size_t) c].freqHz / divisor;
                if (!(f0 >= cfg.pitchMinFundamentalHz && f0 < cfg.subBassLimitHz))
                    continue;
                const int matched = countHarmonics (f0, lo, hi);
                if (matched < cfg.pitchMinCount || !seriesDenseEnough (matched, lo, hi))
                    continue;
                for (int h = 1; h <= topHarmonic; ++h)
                    if (slot[(size_t) h] >= 0)
                        used[(size_t) slot[(size_t) h]] = 1;
            }
    }

    for (int c = 0; c < candidateCount; ++c)
        for (int divisor = 1; divisor <= 3; ++divisor)
        {
            const double f0 = (double) candidates[(size_t) c].freqHz / divisor;
            if (!(f0 >= cfg.pitchMinFundamentalHz) || (restricted && f0 < cfg.subBassLimitHz))
                continue;
            const int matched = countHarmonics (f0, lo, hi);
            if (matched < cfg.pitchMinCount)
                continue;
            if (matched < cfg.harmonicDenseCount && !seriesDenseEnough (matched, lo, hi))
                continue;
            if (restricted)
            {
                bool fresh = false;
                for (int h = 1; h <= topHarmonic && !fresh; ++h)
                    fresh = slot[(size_t) h] >= 0 && used[(size_t) slot[(size_t) h]] == 0;
                if (!fresh)
                    continue;
            }

            for (int h = 1; h <= topHarmonic; ++h)
            {
                if (slot[(size_t) h] < 0)
                    continue;
                const int b = candidates[(size_t) slot[(size_t) h]].bin;
                for (int k = std::max (0, b - 2); k <= std::min (b + 2, spectrumBins - 1); ++k)
                    holdCounters[(size_t) k] = holdFrameCount;
            }
        }
}

float PitchGuard::meanExcess5 (int k) const noexcept
{
    float sum = 0.0f;
    for (int j = k - 2; j <= k + 2; ++j)
        sum += excess[(size_t) std::clamp (j, first, last)];
    return sum * 0.2f;
}

void PitchGuard::findPeaks() noexcept
{
    numPeaks = 0;
    if (analysisCount < cfg.pitchWarmupFrames)
        return;

    const int capacity = (int) peakCandidates.size();
    if (capacity == 0)
        return;

    const float minLevel = cfg.thresholdDb - 6.0f;
    int kept = 0;
    for (int i = first + 1; i <= last - 1; ++i)
    {
        const float level = effective[(size_t) i];
        const float e = excess[(size_t) i];
        if (!(level > minLevel && e > excess[(size_t) i - 1] && e >= excess[(size_t) i + 1]))
            continue;
        if (kept < capacity)
        {
            peakCandidates[(size_t) kept++] = { i, level };
            continue;
        }
        int smallest = 0;
        for (int k = 1; k < capacity; ++k)
            if (peakCandidates[(size_t) k].levelDb < peakCandidates[(size_t) smallest].levelDb)
                smallest = k;
        if (level > peakCandidates[(size_t) smallest].levelDb)
            peakCandidates[(size_t) smallest] = { i, level };
    }

    const int protectHalf = clampToInt (std::ceil ((double) cfg.pitchProtectHz / pw), -1, spectrumBins);
    for (int n = 0; n < kept; ++n)
    {
        const int i = peakCandidates[(size_t) n].bin;
        const double freqHz = (i + slowParabolaOffset (i)) * pw;

        // width: 3 dB walk on the 5-bin mean of the excess
        const float limit = meanExcess5 (i) - 3.0f;
        int left = i, right = i;
        for (int l = i - 1; l >= std::max (first, i - walkLimitBins); --l)
        {
            left = l;
            if (meanExcess5 (l) < limit)
                break;
        }
        for (int r = i + 1; r <= std::min (i + walkLimitBins, last); ++r)
        {
            right = r;
            if (meanExcess5 (r) < limit)
                break;
        }

        bool isProtected = false;
        if (cfg.pitchHarmonicsOn != 0)
        {
            const int centre = clampToInt (std::round (freqHz / pw), 0, spectrumBins);
            const int from = std::max (1, centre - protectHalf);
            const int to = std::min (centre + protectHalf, spectrumBins - 1);
            for (int k = from; k <= to && !isProtected; ++k)
                isProtected = holdCounters[(size_t) k] > 0;
        }

        peakList[(size_t) n] = { (float) freqHz, peakCandidates[(size_t) n].levelDb,
            (float) (std::max (right - left, 1) * pw), isProtected };
    }
    numPeaks = kept;
}

bool PitchGuard::holdNear (float freqHz, float toleranceHz) const noexcept
{
    if (!isEnabled || cfg.pitchHarmonicsOn == 0)
        return false;

    const double centre = std::round ((double) freqHz / pw);
    const double reach = std::ceil ((double) toleranceHz / pw);
    const double from = std::max (1.0, centre - reach);
    const double to = std::min (centre + reach, (double) (spectrumBins - 1));
    if (!(from <= to))
        return false;

    for (int k = (int) from; k <= (int) to; ++k)
        if (holdCounters[(size_t) k] > 0)
            return true;
    return false;
}

} // namespace reso
