#include "SensitivityCurve.h"

#include <algorithm>
#include <cmath>

namespace reso
{

namespace
{
constexpr double twoPi = 6.283185307179586476925;

// Unnormalised biquad coefficients (b0, b1, b2, a0, a1, a2).
struct Biquad
{
    double b0, b1, b2, a0, a1, a2;
};

Biquad makeBiquad (const BandControl& band, double sampleRate) noexcept
{
    const double a = std::pow (10.0, band.gain / 40.0);
    const double freq = std::clamp ((double) band.freq, 1.0, 0.49 * sampleRate);
    const double w0 = twoPi * freq / sampleRate;
    const double cw = std::cos (w0);
    const double alpha = std::sin (w0) / (2.0 * std::max ((double) band.q, 0.05));
    const double shelfAlpha = 2.0 * std::sqrt (a) * alpha;

    switch (std::clamp (band.type, 0, 2))
    {
        case 1: // low shelf
            return { a * ((a + 1.0) - (a - 1.0) * cw + shelfAlpha), 2.0 * a * ((a - 1.0) - (a + 1.0) * cw),
                a * ((a + 1.0) - (a - 1.0) * cw - shelfAlpha), (a + 1.0) + (a - 1.0) * cw + shelfAlpha,
                -2.0 * ((a - 1.0) + (a + 1.0) * cw), (a + 1.0) + (a - 1.0) * cw - shelfAlpha };
        case 2: // high shelf
            return { a * ((a + 1.0) + (a - 1.0) * cw + shelfAlpha), -2.0 * a * ((a - 1.0) + (a + 1.0) * cw),
                a * ((a + 1.0) + (a - 1.0) * cw - shelfAlpha), (a + 1.0) - (a - 1.0) * cw + shelfAlpha,
                2.0 * ((a - 1.0) - (a + 1.0) * cw), (a + 1.0) - (a - 1.0) * cw - shelfAlpha };
        default: // peaking bell
            return { 1.0 + alpha * a, -2.0 * cw, 1.0 - alpha * a, 1.0 + alpha / a, -2.0 * cw, 1.0 - alpha / a };
    }
}

// 20 log10 |H(e^jw)| from cos/sin of w and 2w.
double magnitudeDb (const Biquad& f, double c1, double s1, double c2, double s2) noexcept
{
    const double nr = f.b0 + f.b1 * c1 + f.b2 * c2;
    const double ni = f.b1 * s1 + f.b2 * s2;
    const double dr = f.a0 + f.a1 * c1 + f.a2 * c2;
    const double di = f.a1 * s1 + f.a2 * s2;
    const double num = std::max (nr * nr + ni * ni, 1e-300);
    const double den = std::max (dr * dr + di * di, 1e-300);
    return 10.0 * std::log10 (num / den);
}

double evaluationOmega (double hz, double sampleRate) noexcept
{
    return twoPi * std::min (std::max (hz, 1.0), 0.499 * sampleRate) / sampleRate;
}
} // namespace

double SensitivityCurve::response (const BandControl& band, double hz, double sampleRate) noexcept
{
    if (band.gain == 0.0f)
        return 0.0;
    const double w = evaluationOmega (hz, sampleRate);
    return magnitudeDb (
        makeBiquad (band, sampleRate), std::cos (w), std::sin (w), std::cos (2.0 * w), std::sin (2.0 * w));
}

void SensitivityCurve::prepare (int fftSize, double sampleRate)
{
    bins = fftSize / 2 + 1;
    rate = sampleRate;
    curve.assign ((size_t) bins, 0.0f);
    trig.assign ((size_t) bins * 4, 0.0);
    for (int k = 0; k < bins; ++k)
    {
        const double w = evaluationOmega ((double) k * sampleRate / fftSize, sampleRate);
        double* t = trig.data() + 4 * k;
        t[0] = std::cos (w);
        t[1] = std::sin (w);
        t[2] = std::cos (2.0 * w);
        t[3] = std::sin (2.0 * w);
    }
    cacheValid = false;
    isActive = false;
    computeCount = 0;
}

void SensitivityCurve::update (const BandControl (&bands)[5]) noexcept
{
    bool same = cacheValid;
    for (int b = 0; b < 5 && same; ++b)
        same = bands[b].type == cache[b].type && bands[b].freq == cache[b].freq && bands[b].gain == cache[b].gain
               && bands[b].q == cache[b].q;
    if (same)
        return;

    std::copy (bands, bands + 5, cache);
    cacheValid = true;
    ++computeCount;

    Biquad filters[5];
    int count = 0;
    for (const auto& band : bands)
        if (band.gain != 0.0f)
            filters[count++] = makeBiquad (band, rate);

    isActive = count > 0;
    for (int k = 0; k < bins; ++k)
    {
        const double* t = trig.data() + 4 * k;
        double sum = 0.0;
        for (int i = 0; i < count; ++i)
            sum += magnitudeDb (filters[i], t[0], t[1], t[2], t[3]);
        curve[(size_t) k] = (float) sum;
    }
}

} // namespace reso
