#include "engine/FastMath.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

// Levels from far below the spectrum floor to far above full scale, in small steps.
TEST (FastMath, PowerToDbMatchesExactWithinAThousandthOfADecibel)
{
    double worst = 0.0;
    for (double db = -200.0; db <= 200.0; db += 0.0137)
    {
        const float power = (float) std::pow (10.0, db / 10.0);
        const double exact = 10.0 * std::log10 ((double) power);
        worst = std::max (worst, std::abs ((double) reso::fastmath::powerToDb (power) - exact));
    }
    EXPECT_LT (worst, 0.001);
}

TEST (FastMath, DbToPowerMatchesExactWithinAThousandthOfADecibel)
{
    double worst = 0.0;
    for (double db = -300.0; db <= 300.0; db += 0.0113)
    {
        const float power = reso::fastmath::dbToPower ((float) db);
        ASSERT_GT (power, 0.0f) << db;
        worst = std::max (worst, std::abs (10.0 * std::log10 ((double) power) - db));
    }
    EXPECT_LT (worst, 0.001);
}

TEST (FastMath, Exp2ClampsItsExponent)
{
    EXPECT_EQ (reso::fastmath::exp2 (-126.5f), 0.0f);
    EXPECT_EQ (reso::fastmath::exp2 (-1000.0f), 0.0f);
    EXPECT_EQ (reso::fastmath::exp2 (std::nanf ("")), 0.0f);
    EXPECT_FLOAT_EQ (reso::fastmath::exp2 (500.0f), std::ldexp (1.0f, 126));
    EXPECT_FLOAT_EQ (reso::fastmath::exp2 (-126.0f), std::ldexp (1.0f, -126));
    EXPECT_FLOAT_EQ (reso::fastmath::exp2 (3.0f), 8.0f);
    EXPECT_FLOAT_EQ (reso::fastmath::exp2 (-3.0f), 0.125f);
}

TEST (FastMath, LogOfNonPositiveIsFiniteAndVeryLow)
{
    for (float x : { 0.0f, -1.0f, std::nanf ("") })
    {
        const float db = reso::fastmath::powerToDb (x);
        EXPECT_TRUE (std::isfinite (db));
        EXPECT_LT (db, -370.0f);
    }
}

} // namespace
