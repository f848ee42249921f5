#include "ReductionStats.h"

#include <algorithm>
#include <cmath>

namespace reso::render
{

namespace
{
constexpr float nominalCentres[] = { 20.0f, 25.0f, 31.5f, 40.0f, 50.0f, 63.0f, 80.0f, 100.0f, 125.0f, 160.0f, 200.0f,
    250.0f, 315.0f, 400.0f, 500.0f, 630.0f, 800.0f, 1000.0f, 1250.0f, 1600.0f, 2000.0f, 2500.0f, 3150.0f, 4000.0f,
    5000.0f, 6300.0f, 8000.0f, 10000.0f, 12500.0f, 16000.0f, 20000.0f };
constexpr int firstBandIndex = -17; // 20 Hz is 1000 Hz * 2^(-17/3)

// Fixed decimals, without a minus sign on a value that rounds to zero.
juce::String number (double value, int decimals)
{
    if (std::abs (value) < 0.5 * std::pow (10.0, -decimals))
        value = 0.0;
    return juce::String (value, decimals);
}
} // namespace

void ReductionStats::setUp (int bins, float sampleRate)
{
    binCount = bins;
    rate = sampleRate;
    reductionSum.assign ((size_t) bins, 0.0);
    cutWeight.assign ((size_t) bins, 0.0);
    deepest.assign ((size_t) bins, 0.0f);
    combined.assign ((size_t) bins, 0.0f);

    bandRanges.clear();
    const double nyquist = sampleRate / 2.0;
    const double step = binHz();
    for (int i = 0; i < (int) std::size (nominalCentres); ++i)
    {
        const double centre = 1000.0 * std::pow (2.0, (firstBandIndex + i) / 3.0);
        const double low = centre * std::pow (2.0, -1.0 / 6.0), high = centre * std::pow (2.0, 1.0 / 6.0);
        if (low >= nyquist)
            break;

        int first = (int) std::ceil (low / step), last = (int) std::ceil (std::min (high, nyquist) / step) - 1;
        last = std::min (last, bins - 1);
        if (first > last) // narrower than a bin: the bin nearest the centre stands for it
            first = last = std::min (bins - 1, (int) std::lround (centre / step));
        bandRanges.push_back ({ nominalCentres[i], (float) low, (float) std::min (high, nyquist), first, last });
    }
    bandSum.assign (bandRanges.size(), 0.0);
    bandCutWeight.assign (bandRanges.size(), 0.0);
    bandDeepest.assign (bandRanges.size(), 0.0f);
}

void ReductionStats::addFrame (
    const float* const* levels, const float* const* reductions, int channels, int bins, float sampleRate, double weight)
{
    if (bins < 3 || channels < 1 || weight <= 0.0)
        return;
    if (binCount == 0)
        setUp (bins, sampleRate);
    if (bins != binCount)
        return;

    totalWeight += weight;
    for (int k = 0; k < bins; ++k)
    {
        float r = 0.0f;
        for (int c = 0; c < channels; ++c)
            r = std::min (r, reductions[c][k]);
        combined[(size_t) k] = r;
        reductionSum[(size_t) k] += r * weight;
        deepest[(size_t) k] = std::min (deepest[(size_t) k], r);
        if (r <= cutThresholdDb)
            cutWeight[(size_t) k] += weight;
    }

    for (size_t b = 0; b < bandRanges.size(); ++b)
    {
        const auto& range = bandRanges[b];
        double before = 0.0, after = 0.0;
        float deepestBin = 0.0f;
        for (int c = 0; c < channels; ++c)
        {
            for (int k = range.firstBin; k <= range.lastBin; ++k)
            {
                const double power = std::pow (10.0, levels[c][k] / 10.0);
                before += power;
                after += power * std::pow (10.0, reductions[c][k] / 10.0);
            }
        }
        for (int k = range.firstBin; k <= range.lastBin; ++k)
            deepestBin = std::min (deepestBin, combined[(size_t) k]);

        const float change = before > 0.0 ? (float) std::min (0.0, 10.0 * std::log10 (after / before)) : 0.0f;
        bandSum[b] += change * weight;
        bandDeepest[b] = std::min (bandDeepest[b], change);
        if (deepestBin <= cutThresholdDb)
            bandCutWeight[b] += weight;
    }
}

std::vector<float> ReductionStats::averageReductionDb() const
{
    std::vector<float> average ((size_t) binCount, 0.0f);
    if (empty())
        return average;
    for (size_t k = 0; k < average.size(); ++k)
        average[k] = (float) (reductionSum[k] / totalWeight);
    return average;
}

std::vector<ReductionStats::Band> ReductionStats::bands() const
{
    std::vector<Band> result;
    for (size_t b = 0; b < bandRanges.size(); ++b)
    {
        const auto& r = bandRanges[b];
        const bool any = ! empty();
        result.push_back ({ r.nominalHz, r.lowHz, r.highHz, any ? (float) (bandSum[b] / totalWeight) : 0.0f,
            bandDeepest[b], any ? (float) (bandCutWeight[b] / totalWeight) : 0.0f });
    }
    return result;
}

std::vector<ReductionStats::Resonance> ReductionStats::resonances (int maxCount) const
{
    std::vector<Resonance> result;
    if (empty())
        return result;

    const auto average = averageReductionDb();
    std::vector<int> dips;
    for (int k = 1; k + 1 < binCount; ++k)
    {
        const float a = average[(size_t) k - 1], b = average[(size_t) k], c = average[(size_t) k + 1];
        if (b < a && b <= c
            && std::min ({ deepest[(size_t) k - 1], deepest[(size_t) k], deepest[(size_t) k + 1] }) <= cutThresholdDb)
            dips.push_back (k);
    }
    std::sort (dips.begin(), dips.end(), [&] (int x, int y) { return average[(size_t) x] < average[(size_t) y]; });

    const double step = binHz();
    std::vector<std::pair<int, int>> taken; // bin ranges of the resonances already reported
    for (const int k : dips)
    {
        if ((int) result.size() >= maxCount)
            break;
        if (std::any_of (taken.begin(), taken.end(), [k] (const auto& r) { return k >= r.first && k <= r.second; }))
            continue;

        // the dip's extent: the bins around it cut by at least half its depth; its centre of gravity is the
        // frequency (a cut is often a flat-bottomed band gain, whose deepest bin says little)
        const float half = 0.5f * average[(size_t) k];
        int first = k, last = k;
        while (first > 0 && average[(size_t) first - 1] <= half)
            --first;
        while (last + 1 < binCount && average[(size_t) last + 1] <= half)
            ++last;

        double weightSum = 0.0, binSum = 0.0, share = 0.0;
        float largest = 0.0f;
        for (int j = first; j <= last; ++j)
        {
            const double w = -average[(size_t) j];
            weightSum += w;
            binSum += w * j;
            largest = std::min (largest, deepest[(size_t) j]);
            share = std::max (share, cutWeight[(size_t) j] / totalWeight);
        }
        const float hz = (float) (binSum / weightSum * step);

        const bool tooClose = std::any_of (result.begin(), result.end(),
            [&] (const Resonance& r) { return std::abs (r.hz - hz) < 0.03 * std::min (r.hz, hz); });
        taken.push_back ({ first, last });
        if (tooClose)
            continue;

        result.push_back ({ hz, (float) ((first - 0.5) * step), (float) ((last + 0.5) * step), largest,
            average[(size_t) k], (float) share });
    }
    return result;
}

juce::String ReductionStats::toCsv() const
{
    juce::String csv = "kind,frequency_hz,low_hz,high_hz,mean_reduction_db,largest_reduction_db,time_cut_percent\n";
    for (const auto& b : bands())
        csv << "band," << number (b.nominalHz, b.nominalHz < 100.0f ? 1 : 0) << "," << number (b.lowHz, 1) << ","
            << number (b.highHz, 1) << "," << number (b.meanDb, 2) << "," << number (b.largestDb, 2) << ","
            << number (100.0 * b.cutShare, 1) << "\n";
    for (const auto& r : resonances())
        csv << "resonance," << number (r.hz, 1) << "," << number (std::max (0.0f, r.lowHz), 1) << ","
            << number (r.highHz, 1) << "," << number (r.meanDb, 2) << "," << number (r.largestDb, 2) << ","
            << number (100.0 * r.cutShare, 1) << "\n";
    return csv;
}

} // namespace reso::render
