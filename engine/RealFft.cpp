#include "RealFft.h"

#include <algorithm>
#include <cmath>

namespace reso
{

void RealFft::prepare (int size)
{
    n = size;
    half = size / 2;

    int bitsCount = 0;
    while ((1 << bitsCount) < half)
        ++bitsCount;

    bitReverse.assign ((size_t) half, 0);
    for (int i = 0; i < half; ++i)
    {
        int r = 0;
        for (int b = 0; b < bitsCount; ++b)
            if (i & (1 << b))
                r |= 1 << (bitsCount - 1 - b);
        bitReverse[(size_t) i] = r;
    }

    const double pi = 3.14159265358979323846;
    stageCos.assign ((size_t) std::max (half, 1), 0.0f);
    stageSin.assign ((size_t) std::max (half, 1), 0.0f);
    for (int e = 1; e < half; e *= 2)
        for (int j = 0; j < e; ++j)
        {
            stageCos[(size_t) (e + j)] = (float) std::cos (-pi * j / e);
            stageSin[(size_t) (e + j)] = (float) std::sin (-pi * j / e);
        }

    splitCos.assign ((size_t) half + 1, 0.0f);
    splitSin.assign ((size_t) half + 1, 0.0f);
    for (int j = 0; j <= half; ++j)
    {
        splitCos[(size_t) j] = (float) std::cos (-2.0 * pi * j / n);
        splitSin[(size_t) j] = (float) std::sin (-2.0 * pi * j / n);
    }

    zr.assign ((size_t) half, 0.0f);
    zi.assign ((size_t) half, 0.0f);
}

void RealFft::complexTransform() noexcept
{
    float* xr = zr.data();
    float* xi = zi.data();

    for (int e = 1; e < half; e *= 2)
    {
        const float* wc = stageCos.data() + e;
        const float* ws = stageSin.data() + e;
        for (int start = 0; start < half; start += 2 * e)
        {
            float* ar = xr + start;
            float* ai = xi + start;
            float* br = ar + e;
            float* bi = ai + e;
            for (int j = 0; j < e; ++j)
            {
                const float tr = br[j] * wc[j] - bi[j] * ws[j];
                const float ti = br[j] * ws[j] + bi[j] * wc[j];
                br[j] = ar[j] - tr;
                bi[j] = ai[j] - ti;
                ar[j] += tr;
                ai[j] += ti;
            }
        }
    }
}

void RealFft::forward (const float* input, float* re, float* im) noexcept
{
    for (int i = 0; i < half; ++i)
    {
        const int r = bitReverse[(size_t) i];
        zr[(size_t) r] = input[2 * i];
        zi[(size_t) r] = input[2 * i + 1];
    }

    complexTransform();

    // split: X[k] = Fe[k] + W^k Fo[k], Fe = (Z[k] + conj Z[M-k]) / 2, Fo = (Z[k] - conj Z[M-k]) / 2i
    re[0] = zr[0] + zi[0];
    im[0] = 0.0f;
    re[half] = zr[0] - zi[0];
    im[half] = 0.0f;

    for (int k = 1; k < half; ++k)
    {
        const float ar = zr[(size_t) k], ai = zi[(size_t) k];
        const float br = zr[(size_t) (half - k)], bi = -zi[(size_t) (half - k)];
        const float er = 0.5f * (ar + br), ei = 0.5f * (ai + bi);
        // (a - b) / 2i = (ai - bi) / 2 - i (ar - br) / 2
        const float orr = 0.5f * (ai - bi), oi = -0.5f * (ar - br);
        const float wc = splitCos[(size_t) k], ws = splitSin[(size_t) k];
        re[k] = er + orr * wc - oi * ws;
        im[k] = ei + orr * ws + oi * wc;
    }
}

void RealFft::inverse (const float* re, const float* im, float* output) noexcept
{
    // Z[k] = Fe[k] + i Fo[k] with Fe = (X[k] + conj X[M-k]) / 2, Fo = (X[k] - conj X[M-k]) conj(W^k) / 2.
    // The inverse complex transform runs as conj (forward (conj Z)) / M.
    for (int k = 0; k < half; ++k)
    {
        const float ar = re[k], ai = (k == 0 ? 0.0f : im[k]);
        const float br = re[half - k], bi = (k == 0 ? 0.0f : -im[half - k]);
        const float er = 0.5f * (ar + br), ei = 0.5f * (ai + bi);
        const float dr = 0.5f * (ar - br), di = 0.5f * (ai - bi);
        const float wc = splitCos[(size_t) k], ws = -splitSin[(size_t) k];
        const float orr = dr * wc - di * ws, oi = dr * ws + di * wc;
        const int r = bitReverse[(size_t) k];
        zr[(size_t) r] = er - oi;     // Re (Fe + i Fo)
        zi[(size_t) r] = -(ei + orr); // conjugated Im (Fe + i Fo)
    }

    complexTransform();

    const float scale = 1.0f / (float) half;
    for (int i = 0; i < half; ++i)
    {
        output[2 * i] = zr[(size_t) i] * scale;
        output[2 * i + 1] = -zi[(size_t) i] * scale;
    }
}

} // namespace reso
