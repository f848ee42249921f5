#pragma once

#include "support/Signals.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace reso::bench
{

inline constexpr double sampleRate = 48000.0;
inline constexpr int signalLength = 1 << 19; // about 10.9 s at 48 kHz, a multiple of every hop and block
inline constexpr int qualitySizes[] = { 1024, 2048, 4096 };

// A realistic stereo programme: pink noise with narrow resonances and a harmonic tone, the right channel
// partly correlated with the left so that every stereo mode has work to do.
inline const std::vector<std::vector<float>>& programme()
{
    static const auto signal = [] {
        auto left = test::pinkNoise (signalLength, 7, 0.1f);
        const auto other = test::pinkNoise (signalLength, 8, 0.1f);
        std::vector<float> right ((size_t) signalLength);
        for (size_t t = 0; t < right.size(); ++t)
            right[t] = 0.6f * left[t] + 0.4f * other[t];
        test::addResonance (left, sampleRate, 180.0, 10.0, 10.0);
        test::addResonance (left, sampleRate, 2500.0, 12.0, 8.0);
        test::addResonance (right, sampleRate, 3700.0, 12.0, 10.0);
        test::addResonance (right, sampleRate, 7200.0, 9.0, 12.0);
        for (size_t t = 0; t < left.size(); ++t)
            for (int h = 1; h <= 6; ++h)
            {
                const float tone = 0.02f / (float) h * (float) std::sin (2.0 * 3.14159265358979 * 220.0 * h * (double) t / sampleRate);
                left[t] += tone;
                right[t] += 0.7f * tone;
            }
        return std::vector<std::vector<float>> { std::move (left), std::move (right) };
    }();
    return signal;
}

// What the summary table needs from a case, stored as its counters: work per iteration and the reference.
inline void describeCase (benchmark::State& state, double hopsPerIteration, double audioSecondsPerIteration,
                          int channels, int fftSize)
{
    state.counters["hops"] = hopsPerIteration;
    state.counters["audio_s"] = audioSecondsPerIteration;
    state.counters["ch"] = channels;
    state.counters["N"] = fftSize;
}

// Registration, in the order of the table.
// Runs step for two seconds of audio (stepSamples each) so that the analysis settles, then times it once per
// benchmark iteration, keeping the outputs alive.
template <typename Step>
void runSettledThenMeasure (benchmark::State& state, int stepSamples, Step&& step, const float* left,
                            const float* right)
{
    for (int done = 0; done < (int) (2.0 * sampleRate); done += stepSamples)
        step();

    for (auto _ : state)
    {
        step();
        benchmark::DoNotOptimize (left);
        benchmark::DoNotOptimize (right);
        benchmark::ClobberMemory();
    }
}

void registerFftBenchmarks();
void registerEngineBenchmarks();
void registerProcessorBenchmarks();

} // namespace reso::bench
