#pragma once

#include "engine/RealFft.h"
#include "tools/render/SignalGenerators.h"

#include <cmath>
#include <random>
#include <vector>

namespace reso::test
{

using signals::addResonance;
using signals::pinkNoise;

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
