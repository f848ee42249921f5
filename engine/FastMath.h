#pragma once

#include <cstdint>
#include <cstring>

namespace reso::fastmath
{

// Natural logarithm from the mantissa/exponent split and a short odd series in g = (m - 1) / (m + 1)
// with m folded into [sqrt(1/2), sqrt(2)]. Error well below 0.001 dB for any positive normal float.
inline float ln(float x) noexcept
{
    if (! (x > 1.17549435e-38f)) // non-positive, NaN or subnormal: clamp to the smallest normal
        x = 1.17549435e-38f;
    if (x > 3.40282347e+38f)
        x = 3.40282347e+38f;

    std::uint32_t bits;
    std::memcpy (&bits, &x, sizeof bits);
    int e = (int) ((bits >> 23) & 0xffu) - 127;
    bits = (bits & 0x007fffffu) | 0x3f800000u; // mantissa in [1, 2)
    float m;
    std::memcpy (&m, &bits, sizeof m);

    if (m > 1.41421356f)
    {
        m *= 0.5f;
        e += 1;
    }

    const float g = (m - 1.0f) / (m + 1.0f);
    const float g2 = g * g;
    const float series = 1.0f + g2 * (1.0f / 3.0f + g2 * (1.0f / 5.0f + g2 * (1.0f / 7.0f)));
    return 2.0f * g * series + (float) e * 0.69314718f;
}

// 10 * log10(x) through the fast logarithm.
inline float powerToDb(float power) noexcept { return ln (power) * 4.3429446f; }

// 2^x with the exponent clamped to +-126; anything below -126 gives 0. The fraction uses a fifth-order
// polynomial, accurate to about 1e-7 relative.
inline float exp2(float x) noexcept
{
    if (! (x >= -126.0f)) // below the range, or NaN
        return 0.0f;
    if (x > 126.0f)
        x = 126.0f;

    int i = (int) x;
    if ((float) i > x)
        --i; // floor for negative values
    const float t = x - (float) i;
    const float p = 1.0f + t * (0.6931472f + t * (0.2402265f + t * (0.05550411f + t * (0.00961813f + t * 0.00133336f))));

    const std::uint32_t bits = (std::uint32_t) (i + 127) << 23;
    float scale;
    std::memcpy (&scale, &bits, sizeof scale);
    return p * scale;
}

// 10^(db / 10) through the fast exp2.
inline float dbToPower(float db) noexcept { return exp2 (db * 0.3321928f); }

} // namespace reso::fastmath
