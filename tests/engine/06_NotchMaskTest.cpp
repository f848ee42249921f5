#include "engine/NotchMask.h"
#include "engine/SensitivityCurve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace
{

using reso::BlockControls;
using reso::EngineConfig;
using reso::NotchMask;
using reso::PeakRecord;
using reso::SensitivityCurve;

constexpr int fftSize = 2048;
constexpr int bins = fftSize / 2 + 1;
constexpr double sampleRate = 48000.0;
constexpr int period = 2 * fftSize / 8;

PeakRecord peakAt (float fracBin, float widthBins = 2.0f, float levelDb = 40.0f, float q = 50.0f)
{
    PeakRecord p;
    p.bin = (int) std::lround (fracBin);
    p.fracBin = fracBin;
    p.freqHz = (float) (fracBin * sampleRate / fftSize);
    p.levelDb = levelDb;
    p.widthBins = widthBins;
    p.q = q;
    return p;
}

// A mask whose current array equals this frame's notches (no smoothing, ballistics or slew) unless told.
class NotchMaskTest : public ::testing::Test
{
protected:
    void prepare (bool smoothing = false, bool ballistics = false, bool slew = false)
    {
        config.notchSmoothingOn = smoothing;
        config.notchBallisticsOn = ballistics;
        config.notchSlewOn = slew;
        mask.prepare (fftSize, sampleRate, config, period);
    }

    void build (std::initializer_list<PeakRecord> peaks, const float* amount = nullptr, const float* presence = nullptr,
        int first = 2, int last = bins - 3)
    {
        const std::vector<PeakRecord> list (peaks);
        mask.build (list.data(), (int) list.size(), controls, first, last, amount, presence);
    }

    float deepest() const { return *std::min_element (mask.raw(), mask.raw() + bins); }

    bool allZero (const float* values) const
    {
        return std::all_of (values, values + bins, [] (float v) { return v == 0.0f; });
    }

    EngineConfig config;
    BlockControls controls;
    NotchMask mask;
};

//==============================================================================
struct ShapeCase
{
    float sharpness, widthBins, halfWidth, flat;
};

class NotchShape : public NotchMaskTest, public ::testing::WithParamInterface<ShapeCase>
{
};

TEST_P (NotchShape, RaisedCosineWithAFlatTop)
{
    const auto c = GetParam();
    prepare();
    controls.sharpness = c.sharpness;
    controls.depth = 1.0f; // full strength, fallback depth 12 dB
    build ({ peakAt (300.0f, c.widthBins) });

    const float* raw = mask.raw();
    ASSERT_FLOAT_EQ (raw[300], -12.0f);
    for (int j = 250; j <= 350; ++j)
    {
        const float d = std::abs ((float) j - 300.0f);
        if (d <= c.flat)
        {
            EXPECT_FLOAT_EQ (raw[j], -12.0f) << j;
        }
        else if (d >= c.halfWidth)
        {
            EXPECT_EQ (raw[j], 0.0f) << j;
        }
        else
        {
            EXPECT_GT (raw[j], -12.0f) << j;
            EXPECT_LT (raw[j], 0.0f) << j;
            EXPECT_GT (raw[j], raw[j > 300 ? j - 1 : j + 1]) << j; // rises away from the centre
            EXPECT_FLOAT_EQ (raw[j], raw[600 - j]) << j;           // symmetric
        }
    }
    EXPECT_TRUE (std::equal (mask.current(), mask.current() + bins, raw));
}

INSTANTIATE_TEST_SUITE_P (Widths, NotchShape,
    ::testing::Values (ShapeCase{ 0.5f, 2.0f, 4.0f, 1.0f }, ShapeCase{ 1.0f, 1.0f, 3.0f, 0.5f },
        ShapeCase{ 0.0f, 2.0f, 6.0f, 1.0f }, ShapeCase{ 0.5f, 6.0f, 12.0f, 3.0f },
        ShapeCase{ 0.75f, 10.0f, 15.0f, 5.0f }));

TEST_F (NotchMaskTest, FractionalPeakIsCentredBetweenBins)
{
    prepare();
    controls.depth = 1.0f;
    build ({ peakAt (200.5f) });
    const float* raw = mask.raw();
    for (int d = 0; d < 6; ++d)
        EXPECT_FLOAT_EQ (raw[200 - d], raw[201 + d]) << d;
    EXPECT_EQ (raw[196], 0.0f);
    EXPECT_LT (raw[197], 0.0f);
}

TEST_F (NotchMaskTest, ThreeTapSmoothingWidensTheSkirtButKeepsTheTop)
{
    prepare (true);
    controls.depth = 1.0f;
    build ({ peakAt (300.0f) });
    const float* raw = mask.raw();
    EXPECT_FLOAT_EQ (raw[300], -12.0f);
    EXPECT_FLOAT_EQ (raw[301], -12.0f);
    EXPECT_FLOAT_EQ (raw[304], 0.25f * -12.0f * 0.25f); // a quarter of the unsmoothed skirt at 3 bins
    EXPECT_EQ (raw[305], 0.0f);
}

TEST_F (NotchMaskTest, OverlappingNotchesKeepTheDeeperCut)
{
    prepare();
    controls.depth = 1.0f;
    build ({ peakAt (300.0f, 2.0f, 40.0f), peakAt (303.0f, 2.0f, 11.5f) }); // the second at half strength
    const float* raw = mask.raw();
    EXPECT_FLOAT_EQ (raw[300], -12.0f);
    EXPECT_FLOAT_EQ (raw[303], -6.0f);
    EXPECT_FLOAT_EQ (raw[304], -6.0f);
}

TEST_F (NotchMaskTest, PeaksWithoutDepthOrProtectedGetNoNotch)
{
    prepare (true, true, true);
    const std::vector<float> noAmount (bins, 0.0f), fullAmount (bins, 1.0f), presence (bins, 1.0f);

    auto held = peakAt (300.0f);
    held.isProtected = true;
    controls.depth = 1.0f;
    build ({ held });
    EXPECT_TRUE (allZero (mask.raw()));

    build ({ peakAt (300.0f) }, noAmount.data(), presence.data()); // band amount 0
    EXPECT_TRUE (allZero (mask.raw()));

    build ({ peakAt (300.0f, 2.0f, 6.0f) }, fullAmount.data(), presence.data()); // below threshold
    EXPECT_TRUE (allZero (mask.raw()));

    controls.depth = 0.0f; // fallback path at depth 0
    build ({ peakAt (300.0f) });
    EXPECT_TRUE (allZero (mask.raw()));
    EXPECT_TRUE (allZero (mask.current()));

    controls.depth = 0.02f; // fallback depth 0.02^1.2 x 12 = 0.109 dB: drawn
    build ({ peakAt (300.0f) });
    EXPECT_NEAR (deepest(), -0.1090f, 1e-3f);
}

//==============================================================================
struct DepthCase
{
    float presence, q, levelDb, amount, sharpness;
    bool hard;
    float depthDb;
};

class NotchDepth : public NotchMaskTest, public ::testing::WithParamInterface<DepthCase>
{
};

TEST_P (NotchDepth, ScalesWithAmountSharpnessModeAndPresence)
{
    const auto c = GetParam();
    prepare (true);
    controls.sharpness = c.sharpness;
    controls.hardMode = c.hard;
    const std::vector<float> amount (bins, c.amount), presence (bins, c.presence);
    build ({ peakAt (300.0f, 2.0f, c.levelDb, c.q) }, amount.data(), presence.data());
    EXPECT_NEAR (-deepest(), c.depthDb, 1e-4f);
}

INSTANTIATE_TEST_SUITE_P (Cases, NotchDepth,
    ::testing::Values (DepthCase{ 1.0f, 5.0f, 30.0f, 0.5f, 0.5f, false, 2.0f },
        DepthCase{ 1.0f, 5.0f, 30.0f, 0.5f, 1.0f, false, 12.0f }, // six times deeper at full sharpness
        DepthCase{ 1.0f, 5.0f, 30.0f, 0.5f, 0.25f, false, 1.0f },
        DepthCase{ 1.0f, 5.0f, 30.0f, 0.5f, 0.5f, true, 3.0f },
        // no presence: only a sharp (high Q) and prominent peak gets a notch
        DepthCase{ 0.0f, 5.0f, 30.0f, 1.0f, 0.5f, false, 0.0f },
        DepthCase{ 0.0f, 30.0f, 30.0f, 1.0f, 0.5f, false, 4.0f },
        DepthCase{ 0.0f, 30.0f, 19.0f, 1.0f, 0.5f, false, 2.0f },
        DepthCase{ 0.0f, 18.0f, 30.0f, 1.0f, 0.5f, false, 2.0f },
        DepthCase{ 0.2f, 18.0f, 19.0f, 1.0f, 0.5f, false, 1.6f }));

TEST_F (NotchMaskTest, FallbackDepthFollowsTheDepthControl)
{
    prepare();
    controls.depth = 0.5f;
    build ({ peakAt (300.0f) });
    EXPECT_NEAR (deepest(), -12.0f * std::pow (0.5f, 1.2f), 1e-4f);
    controls.hardMode = true;
    build ({ peakAt (300.0f) });
    EXPECT_NEAR (deepest(), -18.0f * std::pow (0.5f, 1.2f), 1e-4f);
}

//==============================================================================
struct TimeCase
{
    float attackScale, releaseScale;
    double attackMs, releaseMs;
};

class NotchTiming : public NotchMaskTest, public ::testing::WithParamInterface<TimeCase>
{
};

TEST_P (NotchTiming, TimeConstantsEqualTheAttackAndReleaseControls)
{
    const auto c = GetParam();
    prepare (false, true, false);
    controls.depth = 1.0f;
    controls.attackScale = c.attackScale;
    controls.releaseScale = c.releaseScale;

    build ({ peakAt (300.0f) });
    const double afterAttack = mask.current()[300];
    EXPECT_NEAR (-mask.periodMs() / std::log (1.0 - afterAttack / -12.0), c.attackMs, 1e-3 * c.attackMs);

    build ({});
    const double afterRelease = mask.current()[300];
    EXPECT_NEAR (-mask.periodMs() / std::log (afterRelease / afterAttack), c.releaseMs, 1e-3 * c.releaseMs);
}

INSTANTIATE_TEST_SUITE_P (Controls, NotchTiming,
    ::testing::Values (TimeCase{ 1.0f, 1.0f, 40.0, 220.0 }, TimeCase{ 2.0f, 1.0f, 80.0, 220.0 },
        TimeCase{ 1.0f, 2.0f, 40.0, 440.0 }, TimeCase{ 0.25f, 0.5f, 10.0, 110.0 }));

struct SlewCase
{
    double sampleRate;
    int fftSize;
    float dbPerFrame;
};

class NotchSlew : public ::testing::TestWithParam<SlewCase>
{
};

TEST_P (NotchSlew, LimitsTheChangePerFrameTo0Point3DbPerMs)
{
    const auto c = GetParam();
    EngineConfig config;
    config.notchBallisticsOn = false;
    config.notchSmoothingOn = false;
    NotchMask mask;
    mask.prepare (c.fftSize, c.sampleRate, config, 2 * c.fftSize / 8);
    EXPECT_NEAR (mask.slewPerFrame(), c.dbPerFrame, 1e-4f);

    BlockControls controls;
    controls.depth = 1.0f;
    const PeakRecord peak = peakAt (100.0f);
    const int steps = (int) std::ceil (12.0f / c.dbPerFrame);
    for (int f = 1; f <= steps; ++f)
    {
        mask.build (&peak, 1, controls, 2, c.fftSize / 2 - 2, nullptr, nullptr);
        ASSERT_NEAR (mask.current()[100], std::max (-12.0f, -c.dbPerFrame * f), 1e-4f) << f;
    }
    mask.build (nullptr, 0, controls, 2, c.fftSize / 2 - 2, nullptr, nullptr);
    EXPECT_NEAR (mask.current()[100], -12.0f + c.dbPerFrame, 1e-4f);
}

INSTANTIATE_TEST_SUITE_P (Rates, NotchSlew,
    ::testing::Values (SlewCase{ 48000.0, 2048, 3.2f }, SlewCase{ 44100.0, 1024, 0.3f * 256000.0f / 44100.0f },
        SlewCase{ 96000.0, 4096, 3.2f }));

TEST_F (NotchMaskTest, SlewAlsoLimitsTheBallistics)
{
    prepare (false, true, true);
    controls.depth = 1.0f;
    build ({ peakAt (300.0f) }); // 12 dB step: the 40 ms attack moves 2.8 dB, below the slew limit
    EXPECT_NEAR (mask.current()[300], -12.0f * (1.0f - std::exp (-10.6667f / 40.0f)), 1e-3f);

    prepare (false, true, true);
    controls.hardMode = true;
    build ({ peakAt (300.0f) }); // 18 dB step: the attack would move 4.2 dB, the slew allows 3.2
    EXPECT_NEAR (mask.current()[300], -3.2f, 1e-4f);
}

//==============================================================================
TEST_F (NotchMaskTest, IndicesStayInsideTheBinRangeWhateverTheCallerPasses)
{
    prepare (true, true, true);
    controls.depth = 1.0f;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    auto broken = peakAt (400.0f, nan);
    build ({ peakAt (0.0f), peakAt ((float) bins - 1.0f), peakAt (-1e9f), peakAt (1e9f), peakAt (nan), broken },
        nullptr, nullptr, -50, bins + 50);

    for (int j = 0; j < bins; ++j)
    {
        ASSERT_TRUE (std::isfinite (mask.raw()[j])) << j;
        ASSERT_LE (mask.current()[j], 0.0f) << j;
    }
    EXPECT_LT (mask.raw()[0], -11.0f);
    EXPECT_LT (mask.raw()[bins - 1], -11.0f);
    EXPECT_EQ (mask.raw()[400], 0.0f);

    mask.combine (mask.current(), -50, bins + 50);
    EXPECT_TRUE (mask.finalValid());
}

TEST_F (NotchMaskTest, NotchesStayInsideTheGivenBinRange)
{
    prepare (true, true, true);
    controls.depth = 1.0f;
    build ({ peakAt (100.0f, 4.0f) }, nullptr, nullptr, 100, 102);
    for (int j = 0; j < bins; ++j)
    {
        if (j >= 100 && j <= 102)
        {
            EXPECT_LT (mask.raw()[j], 0.0f) << j;
        }
        else
        {
            EXPECT_EQ (mask.raw()[j], 0.0f) << j;
        }
    }
}

//==============================================================================
TEST_F (NotchMaskTest, CombineTakesTheDeeperOfNotchAndBandGainInsideTheRange)
{
    prepare();
    controls.depth = 1.0f;
    build ({ peakAt (300.0f) });
    EXPECT_FALSE (mask.finalValid());
    EXPECT_EQ (mask.curve(), mask.current());

    const std::vector<float> band (bins, -5.0f);
    mask.combine (band.data(), 250, 350);
    ASSERT_TRUE (mask.finalValid());
    EXPECT_EQ (mask.curve(), mask.finalMask());
    for (int j = 0; j < bins; ++j)
    {
        const float expected = j >= 250 && j <= 350 ? std::min (mask.current()[j], -5.0f) : mask.current()[j];
        ASSERT_EQ (mask.finalMask()[j], expected) << j;
    }

    NotchMask copy;
    copy.prepare (fftSize, sampleRate, config, period);
    copy.copyFrom (mask);
    EXPECT_TRUE (copy.finalValid());
    EXPECT_TRUE (std::equal (copy.curve(), copy.curve() + bins, mask.curve()));
    EXPECT_TRUE (std::equal (copy.raw(), copy.raw() + bins, mask.raw()));

    build ({}); // a new build invalidates the combination
    EXPECT_FALSE (mask.finalValid());
    EXPECT_EQ (mask.curve(), mask.current());
}

TEST_F (NotchMaskTest, ResetClearsTheMaskAndItsCombination)
{
    prepare (true, true, true);
    controls.depth = 1.0f;
    for (int f = 0; f < 5; ++f)
        build ({ peakAt (300.0f) });
    const std::vector<float> band (bins, -5.0f);
    mask.combine (band.data(), 2, bins - 3);
    mask.reset();
    EXPECT_FALSE (mask.finalValid());
    EXPECT_TRUE (allZero (mask.raw()));
    EXPECT_TRUE (allZero (mask.current()));
    EXPECT_TRUE (allZero (mask.finalMask()));
}

//==============================================================================
struct StrengthCase
{
    float levelDb, sharpness, selectivity;
    bool hard;
    float strength;
};

class Strength : public ::testing::TestWithParam<StrengthCase>
{
};

TEST_P (Strength, RampsFromTheThresholdToFullStrength)
{
    const auto c = GetParam();
    BlockControls controls;
    controls.sharpness = c.sharpness;
    controls.selectivity = c.selectivity;
    controls.hardMode = c.hard;
    EXPECT_NEAR (NotchMask::strength (c.levelDb, controls, EngineConfig()), c.strength, 1e-5f);
}

// Threshold 6.5 dB at selectivity 0.5, 9.5 dB at 1; the ramp runs from 4 dB (2.5 dB in HARD) to 6 dB above it.
INSTANTIATE_TEST_SUITE_P (Levels, Strength,
    ::testing::Values (StrengthCase{ -20.0f, 0.5f, 0.5f, false, 0.0f }, StrengthCase{ 10.5f, 0.5f, 0.5f, false, 0.0f },
        StrengthCase{ 11.5f, 0.5f, 0.5f, false, 0.5f }, StrengthCase{ 12.5f, 0.5f, 0.5f, false, 1.0f },
        StrengthCase{ 60.0f, 0.5f, 0.5f, false, 1.0f }, StrengthCase{ 8.5f, 0.5f, 0.5f, true, 0.0f },
        StrengthCase{ 10.75f, 0.5f, 0.5f, true, 0.5f }, StrengthCase{ 12.5f, 0.5f, 0.5f, true, 1.0f },
        StrengthCase{ 11.5f, 0.5f, 1.0f, false, 0.0f }, StrengthCase{ 14.5f, 0.5f, 1.0f, false, 0.5f },
        // sharpness 0: a 12 dB knee reaches past the ramp start and lifts the strength a little
        StrengthCase{ 11.5f, 0.0f, 0.5f, false, 0.531231f }));

TEST (NotchStrength, NeverDecreasesWithLevelAndStaysWithinZeroToOne)
{
    for (const bool hard : { false, true })
        for (const float sharpness : { 0.0f, 0.3f, 0.5f, 1.0f })
            for (const float selectivity : { 0.0f, 0.5f, 1.0f })
            {
                BlockControls controls;
                controls.hardMode = hard;
                controls.sharpness = sharpness;
                controls.selectivity = selectivity;
                float previous = 0.0f;
                for (float level = -10.0f; level < 40.0f; level += 0.05f)
                {
                    const float s = NotchMask::strength (level, controls, EngineConfig());
                    ASSERT_GE (s, previous) << level;
                    ASSERT_LE (s, 1.0f);
                    previous = s;
                }
                EXPECT_EQ (previous, 1.0f);
            }
}

TEST (NotchStrength, LinearRampWhenTheStartIsZero)
{
    EngineConfig config;
    config.strengthStartDb = 0.0f;
    BlockControls controls;
    controls.sharpness = 1.0f; // 2 dB knee
    EXPECT_NEAR (NotchMask::strength (6.5f + 3.0f, controls, config), 0.5f, 1e-6f);
    EXPECT_EQ (NotchMask::strength (6.5f + 9.0f, controls, config), 1.0f);
    EXPECT_EQ (NotchMask::strength (6.5f - 1.0f, controls, config), 0.0f);
}

//==============================================================================
class SensitivityCurveTest : public ::testing::Test
{
protected:
    void SetUp() override { curve.prepare (fftSize, sampleRate); }

    float at (double hz) const { return curve.values()[(int) std::lround (hz * fftSize / sampleRate)]; }

    SensitivityCurve curve;
    BlockControls controls; // five bands at 0 dB
};

TEST_F (SensitivityCurveTest, InactiveAndZeroWhileEveryGainIsZero)
{
    curve.update (controls.bands);
    EXPECT_FALSE (curve.active());

    controls.bands[2].gain = 6.0f;
    curve.update (controls.bands);
    EXPECT_TRUE (curve.active());

    controls.bands[2].gain = 0.0f;
    curve.update (controls.bands);
    EXPECT_FALSE (curve.active());
    for (int k = 0; k < bins; ++k)
        ASSERT_EQ (curve.values()[k], 0.0f) << k;
}

struct BandCase
{
    int type;
    float freq, gain, q;
    double probeHz, expectedDb, toleranceDb;
};

class BandResponse : public SensitivityCurveTest, public ::testing::WithParamInterface<BandCase>
{
};

TEST_P (BandResponse, ReachesItsGainWhereTheBandActs)
{
    const auto c = GetParam();
    controls.bands[1] = { c.type, c.freq, c.gain, c.q };
    curve.update (controls.bands);
    ASSERT_TRUE (curve.active());
    EXPECT_NEAR (at (c.probeHz), c.expectedDb, c.toleranceDb);
}

INSTANTIATE_TEST_SUITE_P (Bands, BandResponse,
    ::testing::Values (BandCase{ 0, 1000.0f, 6.0f, 1.0f, 1000.0, 6.0, 0.01 },
        BandCase{ 0, 1000.0f, 6.0f, 1.0f, 100.0, 0.0, 0.1 }, BandCase{ 0, 1000.0f, 6.0f, 1.0f, 12000.0, 0.0, 0.1 },
        BandCase{ 0, 4000.0f, -12.0f, 4.0f, 4000.0, -12.0, 0.1 },
        BandCase{ 0, 4000.0f, -12.0f, 4.0f, 1000.0, 0.0, 0.1 }, BandCase{ 1, 100.0f, 6.0f, 0.71f, 23.4375, 6.0, 0.3 },
        BandCase{ 1, 100.0f, 6.0f, 0.71f, 100.0, 3.0, 0.5 }, BandCase{ 1, 100.0f, 6.0f, 0.71f, 5000.0, 0.0, 0.01 },
        BandCase{ 2, 5000.0f, -6.0f, 0.71f, 20000.0, -6.0, 0.3 },
        BandCase{ 2, 5000.0f, -6.0f, 0.71f, 200.0, 0.0, 0.01 }));

TEST_F (SensitivityCurveTest, BandsAddUp)
{
    controls.bands[0] = { 1, 80.0f, 4.0f, 0.71f };
    controls.bands[2] = { 0, 1000.0f, -3.0f, 2.0f };
    controls.bands[4] = { 2, 9000.0f, 5.0f, 0.71f };
    curve.update (controls.bands);

    for (int k = 0; k < bins; k += 7)
    {
        const double hz = std::max (k * sampleRate / fftSize, 1.0);
        double sum = 0.0;
        for (const auto& band : controls.bands)
            sum += SensitivityCurve::response (band, hz, sampleRate);
        ASSERT_NEAR (curve.values()[k], sum, 1e-4) << k;
    }
    EXPECT_NEAR (at (1000.0), -3.0, 0.1);
}

TEST_F (SensitivityCurveTest, RecomputesOnlyWhenABandChanges)
{
    controls.bands[3].gain = 3.0f;
    curve.update (controls.bands);
    curve.update (controls.bands);
    curve.update (controls.bands);
    EXPECT_EQ (curve.computations(), 1);

    controls.bands[0].q = 1.2f; // a change in a band at 0 dB still counts as a change
    curve.update (controls.bands);
    EXPECT_EQ (curve.computations(), 2);

    controls.bands[3].type = 2;
    curve.update (controls.bands);
    curve.update (controls.bands);
    EXPECT_EQ (curve.computations(), 3);

    curve.prepare (1024, sampleRate); // prepare invalidates the cache
    curve.update (controls.bands);
    EXPECT_EQ (curve.computations(), 1);
    EXPECT_TRUE (curve.active());
}

TEST_F (SensitivityCurveTest, ExtremeBandsGiveAFiniteCurve)
{
    controls.bands[0] = { 0, 30000.0f, 18.0f, 0.0f };  // above Nyquist, no bandwidth
    controls.bands[1] = { 1, -5.0f, -18.0f, 40.0f };   // below 0 Hz
    controls.bands[2] = { 2, 23990.0f, 18.0f, 0.71f }; // at Nyquist
    controls.bands[3] = { 7, 1000.0f, 6.0f, 1.0f };    // unknown type
    curve.update (controls.bands);
    for (int k = 0; k < bins; ++k)
        ASSERT_TRUE (std::isfinite (curve.values()[k])) << k;
}

} // namespace
