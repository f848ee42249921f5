#include "RealFft.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

namespace reso
{

namespace
{
std::shared_ptr<const RealFft::Tables> makeTables (int size)
{
    const int half = size / 2;
    auto t = std::make_shared<RealFft::Tables>();

    int bitsCount = 0;
    while ((1 << bitsCount) < half)
        ++bitsCount;

    t->bitReverse.assign ((size_t) half, 0);
    for (int i = 0; i < half; ++i)
    {
        int r = 0;
        for (int b = 0; b < bitsCount; ++b)
            if (i & (1 << b))
                r |= 1 << (bitsCount - 1 - b);
        t->bitReverse[(size_t) i] = r;
    }

    const double pi = 3.14159265358979323846;
    t->stageCos.assign ((size_t) std::max (half, 1), 0.0f);
    t->stageSin.assign ((size_t) std::max (half, 1), 0.0f);
    for (int e = 1; e < half; e *= 2)
        for (int j = 0; j < e; ++j)
        {
            t->stageCos[(size_t) (e + j)] = (float) std::cos (-pi * j / e);
            t->stageSin[(size_t) (e + j)] = (float) std::sin (-pi * j / e);
        }

    t->splitCos.assign ((size_t) half + 1, 0.0f);
    t->splitSin.assign ((size_t) half + 1, 0.0f);
    for (int j = 0; j <= half; ++j)
    {
        t->splitCos[(size_t) j] = (float) std::cos (-2.0 * pi * j / size);
        t->splitSin[(size_t) j] = (float) std::sin (-2.0 * pi * j / size);
    }
    return t;
}

// One table set per size for the whole process while any instance of that size lives.
std::shared_ptr<const RealFft::Tables> sharedTables (int size)
{
    static std::mutex lock;
    static std::vector<std::pair<int, std::weak_ptr<const RealFft::Tables>>> cache;

    const std::lock_guard<std::mutex> guard (lock);
    for (auto& [cachedSize, weak] : cache)
        if (cachedSize == size)
            if (auto live = weak.lock())
                return live;

    auto made = makeTables (size);
    cache.erase (std::remove_if (cache.begin(), cache.end(), [] (const auto& entry) { return entry.second.expired(); }),
                 cache.end());
    cache.emplace_back (size, made);
    return made;
}
} // namespace

void RealFft::prepare (int size)
{
    n = size;
    half = size / 2;
    tables = sharedTables (size);
    zr.assign ((size_t) half, 0.0f);
    zi.assign ((size_t) half, 0.0f);
}

void RealFft::complexTransform() noexcept
{
    float* xr = zr.data();
    float* xi = zi.data();

    for (int e = 1; e < half; e *= 2)
    {
        const float* wc = tables->stageCos.data() + e;
        const float* ws = tables->stageSin.data() + e;
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
    const auto& bitReverse = tables->bitReverse;
    const auto& splitCos = tables->splitCos;
    const auto& splitSin = tables->splitSin;
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
    const auto& bitReverse = tables->bitReverse;
    const auto& splitCos = tables->splitCos;
    const auto& splitSin = tables->splitSin;
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
