#include "processor/ControlValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace
{

using reso::BlockControls;
using reso::RawControlValues;

struct DerivationCase
{
    const char* what;
    std::function<void (RawControlValues&)> set;
    std::function<void (const BlockControls&)> check;
};

void PrintTo (const DerivationCase& c, std::ostream* os) { *os << c.what; }

class BlockControlsDerivation : public ::testing::TestWithParam<DerivationCase>
{
};

TEST_P (BlockControlsDerivation, FollowsTheRawValues)
{
    RawControlValues raw;
    GetParam().set (raw);
    GetParam().check (reso::makeBlockControls (raw, false));
}

INSTANTIATE_TEST_SUITE_P (
    Cases, BlockControlsDerivation,
    ::testing::Values (
        DerivationCase { "defaults: no focus limits, low protect 250, unit time scales",
                         [] (RawControlValues&) {},
                         [] (const BlockControls& c) {
                             EXPECT_EQ (c.focusLow, 0.0f);
                             EXPECT_EQ (c.focusHigh, 0.0f);
                             EXPECT_EQ (c.lowProtect, 250.0f);
                             EXPECT_EQ (c.attackScale, 1.0f);
                             EXPECT_EQ (c.releaseScale, 1.0f);
                             EXPECT_FALSE (c.bypassed);
                             EXPECT_EQ (c.bands[0].type, 1);
                             EXPECT_EQ (c.bands[4].type, 2);
                         } },
        DerivationCase { "focus low at 20.02 is off, just above is on",
                         [] (RawControlValues& r) { r.focusLow = 20.02f; },
                         [] (const BlockControls& c) { EXPECT_EQ (c.focusLow, 0.0f); } },
        DerivationCase { "focus low 20.05 is a limit", [] (RawControlValues& r) { r.focusLow = 20.05f; },
                         [] (const BlockControls& c) { EXPECT_FLOAT_EQ (c.focusLow, 20.05f); } },
        DerivationCase { "focus high is at least 1.1 x focus low",
                         [] (RawControlValues& r) {
                             r.focusLow = 1000.0f;
                             r.focusHigh = 1050.0f;
                         },
                         [] (const BlockControls& c) {
                             EXPECT_FLOAT_EQ (c.focusLow, 1000.0f);
                             EXPECT_FLOAT_EQ (c.focusHigh, 1100.0f);
                         } },
        DerivationCase { "an off focus low still lifts focus high",
                         [] (RawControlValues& r) {
                             r.focusLow = 20.0f;
                             r.focusHigh = 20.0f;
                         },
                         [] (const BlockControls& c) {
                             EXPECT_EQ (c.focusLow, 0.0f);
                             EXPECT_FLOAT_EQ (c.focusHigh, 22.0f);
                         } },
        DerivationCase { "focus high pushed to 19980 or above is off",
                         [] (RawControlValues& r) {
                             r.focusLow = 18200.0f;
                             r.focusHigh = 500.0f;
                         },
                         [] (const BlockControls& c) { EXPECT_EQ (c.focusHigh, 0.0f); } },
        DerivationCase { "attack within 0.01 ms of 40 is exactly 1",
                         [] (RawControlValues& r) {
                             r.attack = 40.009f;
                             r.release = 220.04f;
                         },
                         [] (const BlockControls& c) {
                             EXPECT_EQ (c.attackScale, 1.0f);
                             EXPECT_EQ (c.releaseScale, 1.0f);
                         } },
        DerivationCase { "time scales are ratios to 40 and 220 ms",
                         [] (RawControlValues& r) {
                             r.attack = 80.0f;
                             r.release = 440.0f;
                         },
                         [] (const BlockControls& c) {
                             EXPECT_FLOAT_EQ (c.attackScale, 2.0f);
                             EXPECT_FLOAT_EQ (c.releaseScale, 2.0f);
                         } },
        DerivationCase { "low protect at its minimum is off", [] (RawControlValues& r) { r.lowProtect = 40.0f; },
                         [] (const BlockControls& c) { EXPECT_EQ (c.lowProtect, 0.0f); } },
        DerivationCase { "low protect 40.5 is off, 41 is on",
                         [] (RawControlValues& r) { r.lowProtect = 40.5f; },
                         [] (const BlockControls& c) { EXPECT_EQ (c.lowProtect, 0.0f); } },
        DerivationCase { "low protect 41 Hz", [] (RawControlValues& r) { r.lowProtect = 41.0f; },
                         [] (const BlockControls& c) { EXPECT_EQ (c.lowProtect, 41.0f); } },
        DerivationCase { "tiny band gains and trims count as zero",
                         [] (RawControlValues& r) {
                             r.bands[2].gain = 0.0049f;
                             r.bands[3].gain = -0.006f;
                             r.trim = -0.0049f;
                         },
                         [] (const BlockControls& c) {
                             EXPECT_EQ (c.bands[2].gain, 0.0f);
                             EXPECT_FLOAT_EQ (c.bands[3].gain, -0.006f);
                             EXPECT_EQ (c.trimDb, 0.0f);
                         } },
        DerivationCase { "choices take the nearest index, clamped",
                         [] (RawControlValues& r) {
                             r.stereo = 1.6f;
                             r.bands[0].type = 7.0f;
                             r.bands[1].type = -3.0f;
                             r.mode = 0.6f;
                         },
                         [] (const BlockControls& c) {
                             EXPECT_EQ (c.stereoMode, 2);
                             EXPECT_EQ (c.bands[0].type, 2);
                             EXPECT_EQ (c.bands[1].type, 0);
                             EXPECT_TRUE (c.hardMode);
                         } },
        DerivationCase { "the bypass parameter bypasses", [] (RawControlValues& r) { r.bypass = 1.0f; },
                         [] (const BlockControls& c) { EXPECT_TRUE (c.bypassed); } },
        DerivationCase { "delta and mix pass through",
                         [] (RawControlValues& r) {
                             r.delta = 1.0f;
                             r.mix = 0.25f;
                         },
                         [] (const BlockControls& c) {
                             EXPECT_TRUE (c.delta);
                             EXPECT_EQ (c.mix, 0.25f);
                         } }));

TEST (BlockControls, HostBypassCallBypassesWhateverTheParameter)
{
    RawControlValues raw;
    EXPECT_TRUE (reso::makeBlockControls (raw, true).bypassed);
    EXPECT_FALSE (reso::makeBlockControls (raw, false).bypassed);
}

TEST (BlockControls, QualityIndexIsNearestAndClamped)
{
    EXPECT_EQ (reso::choiceIndex (0.49f, 3), 0);
    EXPECT_EQ (reso::choiceIndex (1.5f, 3), 2);
    EXPECT_EQ (reso::choiceIndex (9.0f, 3), 2);
    EXPECT_EQ (reso::choiceIndex (-2.0f, 3), 0);
    EXPECT_EQ (reso::choiceIndex (std::nanf (""), 3), 0);
}

} // namespace
