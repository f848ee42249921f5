#include "engine/RealFft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{

class RealFftSizes : public ::testing::TestWithParam<int>
{
protected:
    std::vector<float> noise (int n, unsigned seed)
    {
        std::mt19937 rng (seed);
        std::uniform_real_distribution<float> dist (-1.0f, 1.0f);
        std::vector<float> x ((size_t) n);
        for (auto& v : x)
            v = dist (rng);
        return x;
    }
};

TEST_P (RealFftSizes, ForwardMatchesDirectDft)
{
    const int n = GetParam();
    const auto x = noise (n, 7u + (unsigned) n);

    reso::RealFft fft;
    fft.prepare (n);
    std::vector<float> re ((size_t) n / 2 + 1), im ((size_t) n / 2 + 1);
    fft.forward (x.data(), re.data(), im.data());

    double worst = 0.0;
    const double pi = 3.14159265358979323846;
    for (int k = 0; k <= n / 2; ++k)
    {
        double sr = 0.0, si = 0.0;
        for (int t = 0; t < n; ++t)
        {
            const double phase = -2.0 * pi * (double) ((long long) k * t % n) / n;
            sr += x[(size_t) t] * std::cos (phase);
            si += x[(size_t) t] * std::sin (phase);
        }
        worst = std::max ({ worst, std::abs (sr - re[(size_t) k]), std::abs (si - im[(size_t) k]) });
    }
    // unscaled transform of unit-amplitude noise: magnitudes around sqrt(n)
    EXPECT_LT (worst, 2e-6 * n);
}

TEST_P (RealFftSizes, InverseUndoesForward)
{
    const int n = GetParam();
    const auto x = noise (n, 99u);

    reso::RealFft fft;
    fft.prepare (n);
    std::vector<float> re ((size_t) n / 2 + 1), im ((size_t) n / 2 + 1), y ((size_t) n);
    fft.forward (x.data(), re.data(), im.data());
    fft.inverse (re.data(), im.data(), y.data());

    for (int i = 0; i < n; ++i)
        ASSERT_NEAR (y[(size_t) i], x[(size_t) i], 2e-6f) << "sample " << i;
}

TEST_P (RealFftSizes, SineOnABinPeaksAtHalfTheWindowSum)
{
    // a rectangular window: a unit sine centred on bin k gives magnitude N / 2 there
    const int n = GetParam();
    const int k = std::max (1, n / 8);
    std::vector<float> x ((size_t) n);
    for (int i = 0; i < n; ++i)
        x[(size_t) i] = (float) std::sin (2.0 * 3.14159265358979323846 * k * i / n);

    reso::RealFft fft;
    fft.prepare (n);
    std::vector<float> re ((size_t) n / 2 + 1), im ((size_t) n / 2 + 1);
    fft.forward (x.data(), re.data(), im.data());

    EXPECT_NEAR (std::hypot (re[(size_t) k], im[(size_t) k]), n / 2.0, 1e-3 * n);
    EXPECT_NEAR (std::hypot (re[(size_t) k + 1], im[(size_t) k + 1]), 0.0, 1e-3 * n);
}

INSTANTIATE_TEST_SUITE_P (PowersOfTwo, RealFftSizes, ::testing::Values (4, 8, 64, 1024, 2048, 4096, 8192));

} // namespace
