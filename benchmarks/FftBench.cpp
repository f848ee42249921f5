#include "BenchCommon.h"

#include "engine/RealFft.h"

#include <fftw3.h>

#include <string>

// The cost floor of a hop: one forward plus one inverse real transform of size N, with FFTW (single
// precision, measured plans) and with the engine's own RealFft. The input is left untouched, so every
// iteration transforms the same windowed programme.

namespace
{

using namespace reso::bench;

std::vector<float> windowedFrame (int n)
{
    const auto& signal = programme()[0];
    std::vector<float> frame ((size_t) n);
    for (int i = 0; i < n; ++i)
        frame[(size_t) i] = signal[(size_t) (48000 + i)] * (float) std::sqrt ((1.0 - std::cos (2.0 * 3.14159265358979 * i / n)) / 2.0);
    return frame;
}

void fftwPair (benchmark::State& state, int n)
{
    auto* input = fftwf_alloc_real ((size_t) n);
    auto* output = fftwf_alloc_real ((size_t) n);
    auto* spectrum = fftwf_alloc_complex ((size_t) n / 2 + 1);
    auto forward = fftwf_plan_dft_r2c_1d (n, input, spectrum, FFTW_MEASURE);
    auto inverse = fftwf_plan_dft_c2r_1d (n, spectrum, output, FFTW_MEASURE);

    const auto frame = windowedFrame (n); // after planning: FFTW_MEASURE overwrites the arrays
    std::copy (frame.begin(), frame.end(), input);

    for (auto _ : state)
    {
        fftwf_execute (forward);
        fftwf_execute (inverse); // destroys the spectrum, which the next forward rebuilds
        benchmark::DoNotOptimize (output);
        benchmark::ClobberMemory();
    }

    describeCase (state, 1.0, n / 8 / sampleRate, 1, n);
    fftwf_destroy_plan (forward);
    fftwf_destroy_plan (inverse);
    fftwf_free (input);
    fftwf_free (output);
    fftwf_free (spectrum);
}

void realFftPair (benchmark::State& state, int n)
{
    reso::RealFft fft;
    fft.prepare (n);
    const auto input = windowedFrame (n);
    std::vector<float> output ((size_t) n), re ((size_t) n / 2 + 1), im ((size_t) n / 2 + 1);

    for (auto _ : state)
    {
        fft.forward (input.data(), re.data(), im.data());
        fft.inverse (re.data(), im.data(), output.data());
        benchmark::DoNotOptimize (output.data());
        benchmark::ClobberMemory();
    }

    describeCase (state, 1.0, n / 8 / sampleRate, 1, n);
}

} // namespace

void reso::bench::registerFftBenchmarks()
{
    for (int size : qualitySizes)
    {
        benchmark::RegisterBenchmark (("fft/fftw-pair/" + std::to_string (size)).c_str(), fftwPair, size)
            ->Unit (benchmark::kMicrosecond);
        benchmark::RegisterBenchmark (("fft/realfft-pair/" + std::to_string (size)).c_str(), realFftPair, size)
            ->Unit (benchmark::kMicrosecond);
    }
}
