#include "support/HostedPlugin.h"
#include "support/ProcessorHelpers.h"

#include <gtest/gtest.h>

#include <thread>

// The built bundle driven the way hosts drive it: several instances alive at once, each prepared at several
// rates and block sizes, processing, reset, released, prepared again and destroyed, all of it twice over.
// With "Depth" at 0 an instance is a pure delay of 2048 samples, so every render is checked sample by
// sample: silence for the latency after each prepare or reset, then the input.

namespace
{

using reso::test::HostedPlugin;

struct Setting
{
    double rate;
    int block;
};

std::unique_ptr<juce::AudioPluginInstance> transparentInstance()
{
    juce::String error;
    auto instance = HostedPlugin::create (48000.0, 512, error);
    EXPECT_NE (instance, nullptr) << error;
    if (instance != nullptr)
        HostedPlugin::parameter (*instance, "Depth")->setValueNotifyingHost (0.0f);
    return instance;
}

// Renders blocks of the given size (the last one shorter) and returns the worst deviation from
// "silence for 2048 samples, then the input delayed by 2048".
float renderAndCompare (juce::AudioPluginInstance& instance, int length, int block, unsigned seed)
{
    const auto left = reso::test::noise (length, seed), right = reso::test::noise (length, seed + 1);
    juce::AudioBuffer<float> buffer (2, block);
    juce::MidiBuffer midi;
    float worst = 0.0f;
    for (int start = 0; start < length; start += block)
    {
        const int n = std::min (block, length - start);
        buffer.setSize (2, n, false, false, true);
        buffer.copyFrom (0, 0, left.data() + start, n);
        buffer.copyFrom (1, 0, right.data() + start, n);
        instance.processBlock (buffer, midi);
        for (int i = 0; i < n; ++i)
        {
            const int t = start + i;
            const float expectedLeft = t >= 2048 ? left[(size_t) (t - 2048)] : 0.0f;
            const float expectedRight = t >= 2048 ? right[(size_t) (t - 2048)] : 0.0f;
            worst = std::max ({ worst, std::abs (buffer.getSample (0, i) - expectedLeft),
                                std::abs (buffer.getSample (1, i) - expectedRight) });
            if (! std::isfinite (buffer.getSample (0, i)) || ! std::isfinite (buffer.getSample (1, i)))
                return std::numeric_limits<float>::infinity();
        }
    }
    return worst;
}

TEST (HostLifecycle, SeveralInstancesPrepareProcessResetReleaseAndComeBack)
{
    const Setting settings[] = { { 44100.0, 64 }, { 48000.0, 512 }, { 96000.0, 1000 }, { 22050.0, 4096 }, { 192000.0, 32 } };

    for (int round = 0; round < 2; ++round)
    {
        std::vector<std::unique_ptr<juce::AudioPluginInstance>> instances;
        for (int i = 0; i < 3; ++i)
        {
            instances.push_back (transparentInstance());
            ASSERT_NE (instances.back(), nullptr);
        }

        unsigned seed = 1;
        for (const auto& s : settings)
            for (auto& instance : instances)
            {
                instance->setRateAndBufferSizeDetails (s.rate, s.block);
                instance->prepareToPlay (s.rate, s.block);
                EXPECT_EQ (instance->getLatencySamples(), 2048);
                EXPECT_LT (renderAndCompare (*instance, 6000, s.block, seed++), 1e-5f) << s.rate << " Hz, " << s.block;

                instance->reset();
                EXPECT_LT (renderAndCompare (*instance, 3000, s.block, seed++), 1e-5f) << "after reset";
                instance->releaseResources();
            }

        instances.erase (instances.begin() + 1); // one goes while the others stay
        for (auto& instance : instances)
        {
            instance->prepareToPlay (48000.0, 256);
            EXPECT_LT (renderAndCompare (*instance, 5000, 256, seed++), 1e-5f) << "re-prepared";
            instance->releaseResources();
        }
    }
}

// Hosts run the instances of different tracks on different threads at the same time.
TEST (HostLifecycle, InstancesProcessConcurrently)
{
    std::vector<std::unique_ptr<juce::AudioPluginInstance>> instances;
    for (int i = 0; i < 3; ++i)
    {
        instances.push_back (transparentInstance());
        ASSERT_NE (instances.back(), nullptr);
        instances.back()->prepareToPlay (48000.0, 256 + 128 * i);
    }

    std::vector<float> worst (instances.size(), 0.0f);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < instances.size(); ++i)
        threads.emplace_back ([&, i] { worst[i] = renderAndCompare (*instances[i], 48000, 256 + 128 * (int) i, 50u + (unsigned) i); });
    for (auto& t : threads)
        t.join();

    for (size_t i = 0; i < instances.size(); ++i)
        EXPECT_LT (worst[i], 1e-5f) << "instance " << i;
}

} // namespace
