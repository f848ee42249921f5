#include "BenchCommon.h"
#include "HeapMeter.h"
#include "ProcessorBench.h"

#include "support/ProcessorHelpers.h"

#include <string>

// The processor as a host drives it: stereo, "NORMAL", default parameters, host blocks of 32 to 4096
// samples (cut into chunks of at most 1024 inside). The cost per hop should not depend on the block size.
// Also the time of prepareToPlay and of a fresh instance, and the heap an instance takes.

namespace
{

using namespace reso::bench;

constexpr int normalSize = 2048;
constexpr int normalHop = normalSize / 8;

void processorBlocks (benchmark::State& state, int blockSize)
{
    const auto& signal = programme();
    auto processor = reso::test::makePrepared (sampleRate, 2, blockSize);

    std::vector<float> left ((size_t) blockSize), right ((size_t) blockSize);
    float* channels[] = { left.data(), right.data() };
    juce::AudioBuffer<float> buffer (channels, 2, blockSize);
    juce::MidiBuffer midi;
    int position = 0;

    auto step = [&] {
        std::copy_n (signal[0].begin() + position, blockSize, left.begin());
        std::copy_n (signal[1].begin() + position, blockSize, right.begin());
        processor->processBlock (buffer, midi);
        position = (position + blockSize) % signalLength;
    };

    runSettledThenMeasure (state, blockSize, step, left.data(), right.data());

    describeCase (state, (double) blockSize / normalHop, blockSize / sampleRate, 2, normalSize);
}

void prepareAgain (benchmark::State& state)
{
    auto processor = reso::test::makePrepared (sampleRate, 2);
    for (auto _ : state)
        processor->prepareToPlay (sampleRate, 512);
}

void constructAndPrepare (benchmark::State& state)
{
    for (auto _ : state)
    {
        auto processor = reso::test::makePrepared (sampleRate, 2);
        benchmark::DoNotOptimize (processor.get());
    }
}

InstanceMemory measure (int channels)
{
    HeapMeter meter;
    auto processor = reso::test::makePrepared (sampleRate, channels);
    return { meter.allocations(), meter.bytesRequested(), meter.bytesInUse() };
}

} // namespace

void reso::bench::registerProcessorBenchmarks()
{
    for (int block : { 32, 64, 256, 1024, 4096 })
        benchmark::RegisterBenchmark (("processor/stereo-NORMAL/block" + std::to_string (block)).c_str(),
                                      processorBlocks, block)
            ->Unit (benchmark::kMicrosecond);

    benchmark::RegisterBenchmark ("setup/prepareToPlay", prepareAgain)->Unit (benchmark::kMillisecond);
    benchmark::RegisterBenchmark ("setup/construct+prepare", constructAndPrepare)->Unit (benchmark::kMillisecond);
}

reso::bench::InstanceMemoryReport reso::bench::measureInstanceMemory()
{
    InstanceMemoryReport report;
    measure (2); // the first instance also creates process-wide objects
    report.stereo = measure (2);
    report.mono = measure (1);

    for (int size : qualitySizes)
    {
        HeapMeter meter;
        ResoEngine engine;
        EngineConfig config;
        config.fftSize = size;
        engine.prepare (sampleRate, config, 2);
        report.stereoEngineBytes.push_back (meter.bytesInUse());
    }
    return report;
}
