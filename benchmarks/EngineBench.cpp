#include "BenchCommon.h"

#include "engine/ResoEngine.h"

#include <algorithm>
#include <string>

// One engine at one quality, mono or stereo in each stereo mode, on the programme at 48 kHz. One iteration
// is one hop of samples; the analysis runs on every second hop, so the mean covers both kinds.

namespace
{

using namespace reso::bench;

struct EngineCase
{
    int channels;
    int stereoMode;
    int fftSize;
};

void engineHops (benchmark::State& state, EngineCase c)
{
    const auto& signal = programme();
    reso::EngineConfig config;
    config.fftSize = c.fftSize;
    reso::BlockControls controls;
    controls.stereoMode = c.stereoMode;

    reso::ResoEngine engine;
    engine.loadBlockControls (controls);
    engine.prepare (sampleRate, config, c.channels);
    engine.loadBlockControls (controls);

    const int hop = c.fftSize / config.overlap;
    std::vector<float> left ((size_t) hop), right ((size_t) hop);
    float* rightPointer = c.channels > 1 ? right.data() : nullptr;
    int position = 0;

    auto step = [&] {
        std::copy_n (signal[0].begin() + position, hop, left.begin());
        std::copy_n (signal[1].begin() + position, hop, right.begin());
        engine.loadBlockControls (controls);
        engine.process (left.data(), rightPointer, hop);
        position = (position + hop) % signalLength;
    };

    runSettledThenMeasure (state, hop, step, left.data(), right.data());

    describeCase (state, 1.0, hop / sampleRate, c.channels, c.fftSize);
}

} // namespace

void reso::bench::registerEngineBenchmarks()
{
    const std::pair<const char*, int> layouts[] = { { "mono", -1 }, { "stereo-LR", 0 }, { "stereo-LINK", 1 }, { "stereo-MS", 2 } };
    for (const auto& [name, mode] : layouts)
        for (int size : qualitySizes)
        {
            const EngineCase c { mode < 0 ? 1 : 2, std::max (mode, 0), size };
            benchmark::RegisterBenchmark ((std::string ("engine/") + name + "/" + std::to_string (size)).c_str(),
                                          engineHops, c)
                ->Unit (benchmark::kMicrosecond);
        }
}
