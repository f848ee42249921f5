#pragma once

#include <cmath>
#include <random>
#include <vector>

// Generated test signals, shared by the renderer's demonstration and the tests. Plain C++, no framework.

namespace reso::signals
{

// Seeded pink noise (white noise through a fixed set of one-pole filters, about -3 dB per octave).
inline std::vector<float> pinkNoise (int length, unsigned seed, float rms = 0.1f)
{
    std::mt19937 rng (seed);
    std::normal_distribution<float> white (0.0f, 1.0f);
    std::vector<float> out ((size_t) length);
    float b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
    double power = 0.0;
    for (auto& v : out)
    {
        const float w = white (rng);
        b0 = 0.99886f * b0 + w * 0.0555179f;
        b1 = 0.99332f * b1 + w * 0.0750759f;
        b2 = 0.96900f * b2 + w * 0.1538520f;
        b3 = 0.86650f * b3 + w * 0.3104856f;
        b4 = 0.55000f * b4 + w * 0.5329522f;
        b5 = -0.7616f * b5 - w * 0.0168980f;
        v = b0 + b1 + b2 + b3 + b4 + b5 + b6 + w * 0.5362f;
        b6 = w * 0.115926f;
        power += (double) v * v;
    }
    const float scale = rms / (float) std::sqrt (power / length);
    for (auto& v : out)
        v *= scale;
    return out;
}

// Applies a peaking biquad (gain in dB, centre Hz, Q) in place: a narrow resonance.
inline void addResonance (std::vector<float>& x, double sampleRate, double hz, double gainDb, double q)
{
    const double a = std::pow (10.0, gainDb / 40.0);
    const double w0 = 2.0 * 3.14159265358979323846 * hz / sampleRate;
    const double alpha = std::sin (w0) / (2.0 * q);
    const double a0 = 1.0 + alpha / a;
    const double b0 = (1.0 + alpha * a) / a0, b1 = -2.0 * std::cos (w0) / a0, b2 = (1.0 - alpha * a) / a0;
    const double a1 = -2.0 * std::cos (w0) / a0, a2 = (1.0 - alpha / a) / a0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (auto& v : x)
    {
        const double y = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = v;
        y2 = y1;
        y1 = y;
        v = (float) y;
    }
}

} // namespace reso::signals
