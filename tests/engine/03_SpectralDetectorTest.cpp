#include "engine/FastMath.h"
#include "engine/RealFft.h"
#include "engine/SpectralDetector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{

constexpr double pi = 3.14159265358979323846;

struct Tone
{
    double hz;
    double dbOverFloor; // level of the tone's peak bin (when centred on a bin) above the floor
};

// Level spectra as the channel makes them: a periodic square-root Hann window, an unscaled FFT and
// 10 * log10 (|X|^2 + 1e-10), for a steady sum of sines over a floor.
class SpectrumMaker
{
public:
    SpectrumMaker (int n, double sampleRate)
        : size (n), rate (sampleRate), window ((size_t) n), frame ((size_t) n), re ((size_t) n / 2 + 1),
          im ((size_t) n / 2 + 1)
    {
        fft.prepare (n);
        for (int i = 0; i < n; ++i)
        {
            window[(size_t) i] = (float) std::sqrt ((1.0 - std::cos (2.0 * pi * i / n)) / 2.0);
            windowSum += window[(size_t) i];
        }
    }

    // The floor adds as a power: flat without rng; with rng drawn afresh per bin and frame from an
    // exponential distribution, like the periodogram of noise.
    std::vector<float> make (const std::vector<Tone>& tones, double floorDb, std::mt19937* rng = nullptr)
    {
        std::fill (frame.begin(), frame.end(), 0.0f);
        for (size_t t = 0; t < tones.size(); ++t)
        {
            const double amplitude = std::pow (10.0, (floorDb + tones[t].dbOverFloor) / 20.0) * 2.0 / windowSum;
            const double phase = 0.7 * (double) t;
            for (int i = 0; i < size; ++i)
                frame[(size_t) i] += (float) (amplitude * std::sin (2.0 * pi * tones[t].hz * i / rate + phase));
        }
        for (int i = 0; i < size; ++i)
            frame[(size_t) i] *= window[(size_t) i];
        fft.forward (frame.data(), re.data(), im.data());

        const double floorPower = std::pow (10.0, floorDb / 10.0);
        std::exponential_distribution<double> spread (1.0);
        std::vector<float> level (re.size());
        for (size_t k = 0; k < re.size(); ++k)
        {
            const double noise = rng != nullptr ? floorPower * spread (*rng) : floorPower;
            const double power = (double) re[k] * re[k] + (double) im[k] * im[k] + noise;
            level[k] = reso::fastmath::powerToDb ((float) (power + 1e-10));
        }
        return level;
    }

private:
    int size;
    double rate, windowSum = 0.0;
    reso::RealFft fft;
    std::vector<float> window, frame, re, im;
};

// A flat floor at 0 dB with three-bin peaks: centre + height, neighbours + height - 10.
std::vector<float> synthetic (int bins, const std::vector<std::pair<int, float>>& peaks)
{
    std::vector<float> level ((size_t) bins, 0.0f);
    for (auto [bin, height] : peaks)
    {
        level[(size_t) bin] = std::max (level[(size_t) bin], height);
        if (bin > 0)
            level[(size_t) bin - 1] = std::max (level[(size_t) bin - 1], height - 10.0f);
        if (bin + 1 < bins)
            level[(size_t) bin + 1] = std::max (level[(size_t) bin + 1], height - 10.0f);
    }
    return level;
}

int analysisPeriod (int n) { return 2 * (n / 8); }

// The channel's low-protect rule: top bin from the frequency, capped at the stability top.
void setLowProtectHz (reso::SpectralDetector& d, double hz)
{
    if (hz <= 0.0)
    {
        d.setLowProtect (true, -1, -1);
        return;
    }
    const int top = std::min ((int) std::floor (hz / d.binWidthHz()), d.stabilityTop());
    d.setLowProtect (false, top, top < d.stabilityTop() ? top : d.stabilityTop() + 1);
}

int nearestBin (const reso::SpectralDetector& d, double hz) { return (int) std::lround (hz / d.binWidthHz()); }

// The bin of largest excess next to a tone's nearest bin: where its peak is found.
int peakBinNear (const reso::SpectralDetector& d, double hz)
{
    const int b = nearestBin (d, hz);
    const float* e = d.excess();
    return e[b + 1] > e[b] ? b + 1 : (e[b - 1] > e[b] ? b - 1 : b);
}

constexpr float defaultThreshold = 6.5f; // selectivity 0.5
constexpr float defaultKnee = 7.0f;      // sharpness 0.5

//==============================================================================
TEST (SpectralDetectorSizes, DerivedLengthsAt48kHzWith2048)
{
    reso::SpectralDetector d;
    d.prepare (2048, 48000.0, {}, 512);

    EXPECT_EQ (d.binCount(), 1025);
    EXPECT_EQ (d.span(), 4);
    EXPECT_EQ (d.voteWindow(), 15);
    EXPECT_EQ (d.stableNeeded(), 13);
    EXPECT_EQ (d.lowHoldFrames(), 23);
    EXPECT_EQ (d.harmonicHoldFrames(), 23);
    EXPECT_EQ (d.firstBin(), 2);
    EXPECT_EQ (d.lastBin(), 768);
    EXPECT_EQ (d.stabilityTop(), 10);
    EXPECT_EQ (d.stabilityCount(), 9);
}

struct RangeCase
{
    double sampleRate;
    int n, first, last, stabilityTop;
};

class SpectralDetectorRange : public ::testing::TestWithParam<RangeCase>
{
};

TEST_P (SpectralDetectorRange, AnalysedRangeFollowsRateAndSize)
{
    const auto c = GetParam();
    reso::SpectralDetector d;
    d.prepare (c.n, c.sampleRate, {}, analysisPeriod (c.n));

    EXPECT_EQ (d.firstBin(), c.first);
    EXPECT_EQ (d.lastBin(), c.last);
    EXPECT_EQ (d.stabilityTop(), c.stabilityTop);
    EXPECT_LE (d.lastBin(), c.n / 2 - 2);
    EXPECT_LE (d.lastBin() * d.binWidthHz(), 0.45 * c.sampleRate);
}

TEST_P (SpectralDetectorRange, NothingOutsideTheRangeIsAnalysedOrPicked)
{
    const auto c = GetParam();
    reso::SpectralDetector d;
    d.prepare (c.n, c.sampleRate, {}, analysisPeriod (c.n));
    const int bins = d.binCount();
    const int mid = (d.firstBin() + d.lastBin()) / 2;

    // strong peaks at the very bottom, on the first bin, just above the last bin and at the top
    const auto level = synthetic (bins, { { 1, 40.0f }, { d.firstBin(), 40.0f }, { mid, 30.0f },
                                          { d.lastBin() + 2, 40.0f }, { bins - 2, 40.0f } });
    // low protect as high as it goes, so every guarded index path runs
    setLowProtectHz (d, 1.0e6);

    // two seconds, so the tracked excess clears the gate at any rate
    std::vector<reso::PeakRecord> peaks (64);
    const int frames = (int) (2.0 * c.sampleRate / analysisPeriod (c.n));
    for (int frame = 0; frame < frames; ++frame)
        d.analyse (level.data());

    const int count = d.pickPeaks (defaultThreshold, defaultKnee, peaks.data(), 64, nullptr);
    ASSERT_EQ (count, 1);
    EXPECT_EQ (peaks[0].bin, mid);

    for (int k = 0; k < bins; ++k)
    {
        if (k >= d.firstBin() && k <= d.lastBin())
            continue;
        EXPECT_EQ (d.excess()[k], 0.0f) << "bin " << k;
        EXPECT_EQ (d.tracked()[k], 0.0f) << "bin " << k;
        EXPECT_EQ (d.harmonicHold()[k], 0) << "bin " << k;
    }
}

INSTANTIATE_TEST_SUITE_P (RatesAndSizes, SpectralDetectorRange,
    ::testing::Values (RangeCase { 48000.0, 2048, 2, 768, 10 },
                       RangeCase { 44100.0, 1024, 2, 417, 5 },
                       RangeCase { 22050.0, 1024, 2, 460, 11 }, // 0.45 x fs below 18 kHz
                       RangeCase { 22050.0, 4096, 8, 1843, 46 },
                       RangeCase { 32000.0, 4096, 6, 1843, 32 },
                       RangeCase { 96000.0, 4096, 2, 768, 10 },
                       RangeCase { 192000.0, 1024, 2, 96, 1 })); // empty low-stability region

//==============================================================================
struct ExcessCase
{
    double sampleRate;
    int n, bin;
};

class SpectralDetectorExcess : public ::testing::TestWithParam<ExcessCase>
{
};

TEST_P (SpectralDetectorExcess, IsolatedPeakExcessIsItsHeightOverTheFloor)
{
    const auto c = GetParam();
    reso::SpectralDetector d;
    d.prepare (c.n, c.sampleRate, {}, analysisPeriod (c.n));
    const auto level = synthetic (d.binCount(), { { c.bin, 30.0f } });

    d.analyse (level.data());
    EXPECT_NEAR (d.excess()[c.bin], 30.0f, 1e-3f);
    EXPECT_NEAR (d.effective()[c.bin], d.tracked()[c.bin], 1e-6f);

    // a bin well outside the peak's reach sees nothing of it
    const int far = std::max (c.bin * 2, c.bin + 40) <= d.lastBin() ? std::max (c.bin * 2, c.bin + 40) : c.bin / 2;
    EXPECT_NEAR (d.excess()[far], 0.0f, 1e-3f);
}

INSTANTIATE_TEST_SUITE_P (Positions, SpectralDetectorExcess,
    ::testing::Values (ExcessCase { 48000.0, 2048, 5 },     // inside the widened low baseline
                       ExcessCase { 48000.0, 2048, 40 },    // plain ring
                       ExcessCase { 48000.0, 2048, 200 },   // side limit active
                       ExcessCase { 44100.0, 4096, 1500 },
                       ExcessCase { 22050.0, 1024, 400 })); // ring clipped near the top

TEST (SpectralDetectorExcess, StepInTheSpectrumCountsAsExcessOnlyBelowTheSideLimit)
{
    reso::SpectralDetector d;
    d.prepare (2048, 48000.0, {}, 512);
    const int bins = d.binCount();

    const auto stepAt = [bins] (int stepBin)
    {
        std::vector<float> level ((size_t) bins, 0.0f);
        std::fill (level.begin() + stepBin, level.end(), 20.0f);
        return level;
    };

    // 703 Hz: a bin just above the step stands out from the ring mean
    auto low = stepAt (30);
    d.analyse (low.data());
    EXPECT_GT (d.excess()[33], 6.0f);

    // 3.5 kHz: the side limit caps the same shape at its 4 dB margin
    d.reset();
    auto high = stepAt (150);
    d.analyse (high.data());
    EXPECT_NEAR (d.excess()[153], 4.0f, 1e-3f);
}

//==============================================================================
struct PickCase
{
    float curveDb;
    int firstPickFrame; // -1: never within the run
};

class SpectralDetectorPicking : public ::testing::TestWithParam<PickCase>
{
};

TEST_P (SpectralDetectorPicking, SteadySineIsPickedOnceTrackedExcessClearsTheKnee)
{
    const auto c = GetParam();
    reso::SpectralDetector d;
    d.prepare (2048, 48000.0, {}, 512);
    SpectrumMaker maker (2048, 48000.0);
    const double trueBin = 100.3;
    const auto level = maker.make ({ { trueBin * 48000.0 / 2048.0, 30.0 } }, 0.0);
    const std::vector<float> curve ((size_t) d.binCount(), c.curveDb);
    setLowProtectHz (d, 0.0);

    const float riseStep = 20.0f * 512.0f / 48000.0f; // 0.213 dB per frame
    std::vector<reso::PeakRecord> peaks (64);
    int firstPick = -1;
    for (int frame = 1; frame <= 300; ++frame)
    {
        d.analyse (level.data());
        if (frame <= 100)
        {
            ASSERT_NEAR (d.tracked()[100], std::min (frame * riseStep, d.excess()[100]), 1e-3f) << frame;
        }

        const float* sensitivity = c.curveDb != 0.0f ? curve.data() : nullptr;
        const int count = d.pickPeaks (defaultThreshold, defaultKnee, peaks.data(), 64, sensitivity);
        const auto end = peaks.begin() + count;
        const auto found = std::find_if (peaks.begin(), end, [] (const auto& p) { return p.bin == 100; });
        if (found != end && firstPick < 0)
        {
            firstPick = frame;
            const auto& p = *found;
            EXPECT_EQ (p.bin, 100);
            EXPECT_NEAR (p.fracBin, trueBin, 0.1);
            EXPECT_NEAR (p.freqHz, p.fracBin * 48000.0 / 2048.0, 1e-2);
            EXPECT_NEAR (p.levelDb, d.effective()[100] + c.curveDb, 1e-4f);
            EXPECT_GT (p.levelDb, defaultThreshold - defaultKnee / 2.0f);
            EXPECT_GE (p.widthBins, 1.0f);
            EXPECT_LT (p.widthBins, 3.0f); // the -3 dB width of the window's main lobe
            EXPECT_NEAR (p.q, p.fracBin / p.widthBins, 1e-3f);
            EXPECT_FALSE (p.isProtected);
        }
    }
    EXPECT_EQ (firstPick, c.firstPickFrame);

    // after long enough the tracked excess has caught up with the excess itself
    EXPECT_GT (d.excess()[100], 25.0f);
    EXPECT_FLOAT_EQ (d.tracked()[100], d.excess()[100]);
    EXPECT_FLOAT_EQ (d.effective()[100], d.excess()[100]);
}

INSTANTIATE_TEST_SUITE_P (SensitivityOffsets, SpectralDetectorPicking,
    ::testing::Values (PickCase { 0.0f, 15 },    // 3 dB gate at 0.213 dB per frame
                       PickCase { 2.0f, 5 },     // the curve lifts the effective excess
                       PickCase { 10.0f, 1 },
                       PickCase { -30.0f, -1 })); // pushed below the gate for good

TEST (SpectralDetectorPicking, FullListKeepsTheStrongestPeaks)
{
    reso::SpectralDetector d;
    d.prepare (4096, 48000.0, {}, 1024);
    std::vector<std::pair<int, float>> shape;
    for (int i = 0; i < 90; ++i)
        shape.push_back ({ 200 + 15 * i, 10.0f + (float) ((i * 37) % 90) * 0.25f });
    const auto level = synthetic (d.binCount(), shape);
    setLowProtectHz (d, 0.0);
    for (int frame = 0; frame < 200; ++frame)
        d.analyse (level.data());

    std::vector<reso::PeakRecord> all (100), few (5);
    const int allCount = d.pickPeaks (defaultThreshold, defaultKnee, all.data(), 100, nullptr);
    EXPECT_EQ (allCount, reso::SpectralDetector::maxPickList);

    const int fewCount = d.pickPeaks (defaultThreshold, defaultKnee, few.data(), 5, nullptr);
    ASSERT_EQ (fewCount, 5);

    std::vector<float> allLevels;
    for (int i = 0; i < allCount; ++i)
        allLevels.push_back (all[(size_t) i].levelDb);
    std::sort (allLevels.begin(), allLevels.end(), std::greater<float>());
    std::vector<float> fewLevels;
    for (auto& p : few)
        fewLevels.push_back (p.levelDb);
    std::sort (fewLevels.begin(), fewLevels.end(), std::greater<float>());
    for (int i = 0; i < 5; ++i)
        EXPECT_FLOAT_EQ (fewLevels[(size_t) i], allLevels[(size_t) i]);
}

//==============================================================================
struct SeriesCase
{
    int n;
    double f0;
    int partials;
    double lowProtectHz; // 0 = off
    bool protectedSeries;
};

class SpectralDetectorSeries : public ::testing::TestWithParam<SeriesCase>
{
};

TEST_P (SpectralDetectorSeries, HarmonicPartialsAreHeldOrLeftToTheSuppressor)
{
    const auto c = GetParam();
    reso::SpectralDetector d;
    d.prepare (c.n, 48000.0, {}, analysisPeriod (c.n));
    SpectrumMaker maker (c.n, 48000.0);
    std::vector<Tone> tones;
    for (int h = 1; h <= c.partials; ++h)
        tones.push_back ({ c.f0 * h, 30.0 });
    const auto level = maker.make (tones, 0.0);

    std::vector<reso::PeakRecord> peaks (64);
    int anyHarmonicHold = 0;
    for (int frame = 1; frame <= 60; ++frame)
    {
        setLowProtectHz (d, c.lowProtectHz);
        d.analyse (level.data());
        for (int k = 0; k < d.binCount(); ++k)
            anyHarmonicHold = std::max (anyHarmonicHold, d.harmonicHold()[k]);

        if (frame == 1 && c.protectedSeries)
        {
            // fresh weights start at 1, so the first accepted frame already holds every partial
            EXPECT_GE (d.seriesCount(), 1);
            EXPECT_EQ (d.maxMatched(), c.partials);
            EXPECT_GT (d.harmonicRatio(), 0.9f);
            for (const auto& t : tones)
            {
                const int b = peakBinNear (d, t.hz);
                for (int j = b - 1; j <= b + 1; ++j)
                    EXPECT_EQ (d.harmonicHold()[j], d.harmonicHoldFrames()) << t.hz << " Hz, bin " << j;
            }
        }
    }

    const int count = d.pickPeaks (defaultThreshold, defaultKnee, peaks.data(), 64, nullptr);
    int unprotectedAtPartials = 0;
    for (int i = 0; i < count; ++i)
        for (const auto& t : tones)
            if (std::abs (peaks[(size_t) i].fracBin - t.hz / d.binWidthHz()) <= 1.0 && ! peaks[(size_t) i].isProtected)
                ++unprotectedAtPartials;

    if (c.protectedSeries)
    {
        EXPECT_EQ (unprotectedAtPartials, 0);
        EXPECT_GT (d.harmonicRatio(), 0.9f);
    }
    else
    {
        EXPECT_EQ (anyHarmonicHold, 0);
        EXPECT_EQ (d.seriesCount(), 0);
        EXPECT_GE (unprotectedAtPartials, c.partials / 2);
        for (int k = 0; k < d.binCount(); ++k)
            EXPECT_EQ (d.stabilityHold()[k], 0) << "bin " << k;
    }
}

INSTANTIATE_TEST_SUITE_P (Fundamentals, SpectralDetectorSeries,
    ::testing::Values (SeriesCase { 2048, 200.0, 8, 0.0, true },
                       SeriesCase { 1024, 440.0, 6, 0.0, true },
                       SeriesCase { 4096, 110.0, 10, 0.0, true },
                       SeriesCase { 4096, 55.0, 8, 100.0, true },  // low protect on: an ordinary series
                       SeriesCase { 4096, 55.0, 8, 0.0, false },   // low protect off: left alone
                       SeriesCase { 4096, 45.0, 8, 0.0, false },
                       SeriesCase { 4096, 65.0, 8, 0.0, false }));

TEST (SpectralDetectorSeries, FormerLoneResonanceJoinsTheSeriesOnlyAfterItsWeightRecovers)
{
    reso::SpectralDetector d;
    d.prepare (2048, 48000.0, {}, 512);
    SpectrumMaker maker (2048, 48000.0);
    setLowProtectHz (d, 0.0);

    // phase 1: four unrelated resonances for three seconds (no series; their weights sink)
    const auto scattered = maker.make ({ { 1000.0, 30.0 }, { 1370.0, 30.0 }, { 1810.0, 30.0 }, { 2630.0, 30.0 } }, 0.0);
    const int loneBin = nearestBin (d, 1000.0);
    for (int frame = 0; frame < 300; ++frame)
    {
        d.analyse (scattered.data());
        ASSERT_EQ (d.seriesCount(), 0);
    }
    EXPECT_LT (d.harmonicWeight()[loneBin], 0.4f);

    // phase 2: a series on 250 Hz whose fourth partial is the former lone resonance
    std::vector<Tone> tones;
    for (int h = 1; h <= 8; ++h)
        tones.push_back ({ 250.0 * h, 30.0 });
    const auto series = maker.make (tones, 0.0);

    const int freshBin = nearestBin (d, 500.0);
    int freshHeldAt = -1, loneHeldAt = -1, loneUnprotectedPicks = 0;
    std::vector<reso::PeakRecord> peaks (64);
    for (int frame = 1; frame <= 600 && loneHeldAt < 0; ++frame)
    {
        d.analyse (series.data());
        if (freshHeldAt < 0 && d.harmonicHold()[freshBin] > 0)
            freshHeldAt = frame;
        if (d.harmonicHold()[loneBin] > 0)
            loneHeldAt = frame;

        const int count = d.pickPeaks (defaultThreshold, defaultKnee, peaks.data(), 64, nullptr);
        for (int i = 0; i < count; ++i)
            if (peaks[(size_t) i].bin == loneBin && ! peaks[(size_t) i].isProtected)
                ++loneUnprotectedPicks;
    }

    EXPECT_GE (freshHeldAt, 1);
    EXPECT_LE (freshHeldAt, 5);
    // the weight climbs back with the 2.5 s attack time constant: about three seconds
    EXPECT_GT (loneHeldAt, 240);
    EXPECT_LT (loneHeldAt, 330);
    EXPECT_GT (loneUnprotectedPicks, 200);
}

//==============================================================================
struct StabilityCase
{
    double toneHz, lowProtectHz, wobbleDb, toneDb;
    int firstHoldMin, firstHoldMax; // -1, -1: never held
};

class SpectralDetectorStability : public ::testing::TestWithParam<StabilityCase>
{
};

TEST_P (SpectralDetectorStability, SteadyLowTonesAreHeld)
{
    const auto c = GetParam();
    reso::SpectralDetector d;
    d.prepare (2048, 48000.0, {}, 512);
    SpectrumMaker maker (2048, 48000.0);
    std::mt19937 rng (1234);
    std::uniform_real_distribution<double> wobble (-c.wobbleDb, c.wobbleDb);
    const int toneBin = nearestBin (d, c.toneHz);

    std::vector<reso::PeakRecord> peaks (64);
    int firstHold = -1;
    for (int frame = 1; frame <= 80; ++frame)
    {
        const auto level = maker.make ({ { c.toneHz, c.toneDb + wobble (rng) } }, 0.0, &rng);
        setLowProtectHz (d, c.lowProtectHz);
        d.analyse (level.data());
        if (firstHold < 0 && d.stabilityHold()[toneBin] > 0)
            firstHold = frame;

        // holds stay near the tone; the noise floor is never steady enough
        for (int k = 0; k < d.binCount(); ++k)
        {
            if (d.stabilityHold()[k] > 0)
            {
                ASSERT_LE (std::abs (k - toneBin), 3) << "frame " << frame << " bin " << k;
            }
        }
    }

    if (c.firstHoldMin < 0)
    {
        EXPECT_EQ (firstHold, -1);
        // still analysed: its excess is tracked and picked as a resonance
        EXPECT_GT (d.tracked()[toneBin], 3.0f);
        const int count = d.pickPeaks (defaultThreshold, defaultKnee, peaks.data(), 64, nullptr);
        bool picked = false;
        for (int i = 0; i < count; ++i)
            picked = picked || (std::abs (peaks[(size_t) i].bin - toneBin) <= 1 && ! peaks[(size_t) i].isProtected);
        EXPECT_TRUE (picked);
    }
    else
    {
        EXPECT_GE (firstHold, c.firstHoldMin);
        EXPECT_LE (firstHold, c.firstHoldMax);
        // a strong-peak hold is written before the frame's countdown, a vote hold after it
        EXPECT_GE (d.stabilityHold()[toneBin], d.lowHoldFrames() - 1);
        EXPECT_EQ (d.tracked()[toneBin], 0.0f);
    }
}

INSTANTIATE_TEST_SUITE_P (LowTones, SpectralDetectorStability,
    ::testing::Values (StabilityCase { 100.0, 200.0, 0.0, 15.0, 21, 23 },  // 8 frames of history, then 13 votes
                       StabilityCase { 100.0, 200.0, 4.0, 15.0, -1, -1 },  // level jumps: never stable
                       StabilityCase { 200.0, 100.0, 0.0, 15.0, -1, -1 },  // above the protect top
                       StabilityCase { 100.0, 0.0, 0.0, 15.0, -1, -1 },    // low protect off
                       StabilityCase { 100.0, 200.0, 4.0, 40.0, 1, 1 }));  // strong low peak: held at once

//==============================================================================
TEST (SpectralDetectorLifecycle, ResetBehavesLikeAFreshDetector)
{
    SpectrumMaker maker (2048, 48000.0);
    std::mt19937 rng (99);
    std::vector<Tone> busy { { 100.0, 15.0 }, { 300.0, 30.0 }, { 600.0, 30.0 }, { 900.0, 30.0 }, { 1200.0, 30.0 },
                             { 5100.0, 25.0 } };
    std::vector<Tone> later { { 150.0, 20.0 }, { 2345.0, 28.0 } };

    reso::SpectralDetector used, fresh;
    used.prepare (2048, 48000.0, {}, 512);
    fresh.prepare (2048, 48000.0, {}, 512);

    for (int frame = 0; frame < 40; ++frame)
    {
        const auto level = maker.make (busy, 0.0, &rng);
        setLowProtectHz (used, 200.0);
        used.analyse (level.data());
    }
    used.reset();

    std::vector<reso::PeakRecord> a (64), b (64);
    for (int frame = 0; frame < 40; ++frame)
    {
        const auto level = maker.make (later, 0.0, &rng);
        setLowProtectHz (used, 200.0);
        setLowProtectHz (fresh, 200.0);
        used.analyse (level.data());
        fresh.analyse (level.data());
    }

    const auto sameArray = [&] (const float* x, const float* y)
    { return std::equal (x, x + fresh.binCount(), y); };
    EXPECT_TRUE (sameArray (used.smoothed(), fresh.smoothed()));
    EXPECT_TRUE (sameArray (used.peakHold(), fresh.peakHold()));
    EXPECT_TRUE (sameArray (used.slowAverage(), fresh.slowAverage()));
    EXPECT_TRUE (sameArray (used.tracked(), fresh.tracked()));
    EXPECT_TRUE (sameArray (used.harmonicWeight(), fresh.harmonicWeight()));
    EXPECT_TRUE (std::equal (used.stabilityHold(), used.stabilityHold() + fresh.binCount(), fresh.stabilityHold()));
    EXPECT_TRUE (std::equal (used.harmonicHold(), used.harmonicHold() + fresh.binCount(), fresh.harmonicHold()));

    const int na = used.pickPeaks (defaultThreshold, defaultKnee, a.data(), 64, nullptr);
    const int nb = fresh.pickPeaks (defaultThreshold, defaultKnee, b.data(), 64, nullptr);
    ASSERT_EQ (na, nb);
    ASSERT_GT (na, 0);
    for (int i = 0; i < na; ++i)
    {
        EXPECT_EQ (a[(size_t) i].bin, b[(size_t) i].bin);
        EXPECT_EQ (a[(size_t) i].levelDb, b[(size_t) i].levelDb);
    }
}

} // namespace
