#pragma once

#include "engine/RealFft.h"

#include <cmath>
#include <random>
#include <vector>

namespace reso::test
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

// Average power spectrum (Hann-windowed segments of 8192, half overlap) of x[from .. to).
inline std::vector<double> powerSpectrum (const std::vector<float>& x, int from, int to, int size = 8192)
{
    reso::RealFft fft;
    fft.prepare (size);
    std::vector<float> frame ((size_t) size), re ((size_t) size / 2 + 1), im ((size_t) size / 2 + 1);
    std::vector<double> sum ((size_t) size / 2 + 1, 0.0);
    for (int start = from; start + size <= to; start += size / 2)
    {
        for (int i = 0; i < size; ++i)
            frame[(size_t) i] = x[(size_t) (start + i)] * (float) (0.5 - 0.5 * std::cos (2.0 * 3.14159265358979323846 * i / size));
        fft.forward (frame.data(), re.data(), im.data());
        for (size_t k = 0; k < sum.size(); ++k)
            sum[k] += (double) re[k] * re[k] + (double) im[k] * im[k];
    }
    return sum;
}

// Level in dB of a spectrum summed over lo .. hi Hz.
inline double bandLevelDb (const std::vector<double>& spectrum, double sampleRate, double lo, double hi)
{
    const double binHz = sampleRate / (2.0 * (double) (spectrum.size() - 1));
    double sum = 1e-30;
    for (size_t k = 0; k < spectrum.size(); ++k)
        if (k * binHz >= lo && k * binHz < hi)
            sum += spectrum[k];
    return 10.0 * std::log10 (sum);
}

// Change in dB of the third-octave band around hz between input and (latency-aligned) output.
inline double thirdOctaveChangeDb (const std::vector<double>& in, const std::vector<double>& out, double sampleRate, double hz)
{
    const double edge = std::pow (2.0, 1.0 / 6.0);
    return bandLevelDb (out, sampleRate, hz / edge, hz * edge) - bandLevelDb (in, sampleRate, hz / edge, hz * edge);
}

} // namespace reso::test
