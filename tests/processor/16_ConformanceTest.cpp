#include "support/HostedPlugin.h"
#include "support/ProcessorHelpers.h"

#include <gtest/gtest.h>
#include <pluginterfaces/vst/ivstcomponent.h>
#include <pluginterfaces/vst/ivstunits.h>

#include <atomic>
#include <random>
#include <thread>

// What a VST3 conformance validator checks of an effect, exercised through the built bundle.

namespace
{

using reso::test::HostedPlugin;

std::unique_ptr<juce::AudioPluginInstance> load (double rate = 48000.0, int block = 512)
{
    juce::String error;
    auto instance = HostedPlugin::create (rate, block, error);
    EXPECT_NE (instance, nullptr) << error;
    return instance;
}

// Processes a block of noise (or silence) in place; returns the largest magnitude seen, NaN if any sample is not finite.
float processBlock (juce::AudioPluginInstance& p, juce::AudioBuffer<float>& buffer, std::mt19937* rng)
{
    if (rng != nullptr)
    {
        std::uniform_real_distribution<float> dist (-0.5f, 0.5f);
        for (int c = 0; c < buffer.getNumChannels(); ++c)
            for (int i = 0; i < buffer.getNumSamples(); ++i)
                buffer.setSample (c, i, dist (*rng));
    }
    else
    {
        buffer.clear();
    }
    juce::MidiBuffer midi;
    p.processBlock (buffer, midi);
    float largest = 0.0f;
    for (int c = 0; c < buffer.getNumChannels(); ++c)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const float v = buffer.getSample (c, i);
            if (! std::isfinite (v))
                return std::numeric_limits<float>::quiet_NaN();
            largest = std::max (largest, std::abs (v));
        }
    return largest;
}

TEST (Conformance, BundleHoldsOneEffectClassWithItsIdentity)
{
    const auto bundle = HostedPlugin::bundle();
    EXPECT_TRUE (bundle.getChildFile ("Contents/x86_64-linux/Tesmar ORVEL.so").existsAsFile());

    const auto types = HostedPlugin::describe();
    ASSERT_EQ (types.size(), 1) << "one audio effect class";
    EXPECT_EQ (types[0]->category, "Fx|Restoration");
    EXPECT_EQ (types[0]->manufacturerName, "Tesmar");
    EXPECT_EQ (types[0]->version, "1.0.3");
    EXPECT_EQ (types[0]->numInputChannels, 2);
    EXPECT_EQ (types[0]->numOutputChannels, 2);
}

// Hosts list the plug-in's program list; every program in it needs a name.
TEST (Conformance, TheSingleProgramHasAName)
{
    auto p = load();

    struct ProgramLister : juce::ExtensionsVisitor
    {
        void visitVST3Client (const VST3Client& client) override
        {
            Steinberg::Vst::IUnitInfo* units = nullptr;
            auto* component = client.getIComponentPtr();
            if (component == nullptr
                || component->queryInterface (Steinberg::Vst::IUnitInfo::iid, (void**) &units) != Steinberg::kResultOk
                || units == nullptr)
                return;

            lists = units->getProgramListCount();
            Steinberg::Vst::ProgramListInfo info {};
            if (lists > 0 && units->getProgramListInfo (0, info) == Steinberg::kResultOk)
            {
                programs = info.programCount;
                Steinberg::Vst::String128 name {};
                if (units->getProgramName (info.id, 0, name) == Steinberg::kResultOk)
                    firstName = juce::String (juce::CharPointer_UTF16 ((const juce::CharPointer_UTF16::CharType*) name));
            }
            units->release();
        }

        int lists = -1, programs = -1;
        juce::String firstName;
    } lister;

    p->getExtensions (lister);
    EXPECT_EQ (lister.lists, 1);
    EXPECT_EQ (lister.programs, 1) << "presets are not exposed as programs";
    EXPECT_EQ (lister.firstName, "Default");

    reso::ResoProcessor processor;
    EXPECT_EQ (processor.getNumPrograms(), 1);
    EXPECT_EQ (processor.getProgramName (0), "Default");
    processor.changeProgramName (0, "Other");
    processor.setCurrentProgram (3);
    EXPECT_EQ (processor.getProgramName (0), "Default");
    EXPECT_EQ (processor.getCurrentProgram(), 0);
}

struct RateAndBlock
{
    double rate;
    int block;
};

void PrintTo (const RateAndBlock& c, std::ostream* os) { *os << c.rate << " Hz, " << c.block << " samples"; }

class ProcessingSetups : public ::testing::TestWithParam<RateAndBlock>
{
};

// Full blocks, shorter blocks than announced and empty blocks, then a second prepare without a release.
TEST_P (ProcessingSetups, ProcessesEveryBlockShapeWithFiniteOutput)
{
    const auto [rate, block] = GetParam();
    auto p = load (rate, block);
    std::mt19937 rng (7);

    for (int round = 0; round < 2; ++round)
    {
        p->prepareToPlay (rate, block);
        EXPECT_EQ (p->getLatencySamples(), 2048);
        for (int n : { block, block, block / 2 + 1, 1, 0, block, 3 })
        {
            juce::AudioBuffer<float> buffer (2, n);
            const float largest = processBlock (*p, buffer, &rng);
            ASSERT_TRUE (std::isfinite (largest)) << n;
            ASSERT_LT (largest, 4.0f) << n;
        }
    }
    p->releaseResources();
}

INSTANTIATE_TEST_SUITE_P (RatesAndBlocks, ProcessingSetups,
                          ::testing::Values (RateAndBlock { 44100.0, 64 }, RateAndBlock { 48000.0, 128 },
                                             RateAndBlock { 96000.0, 256 }, RateAndBlock { 44100.0, 512 },
                                             RateAndBlock { 48000.0, 1024 }, RateAndBlock { 96000.0, 1023 },
                                             RateAndBlock { 48000.0, 77 }));

TEST (Conformance, StateTravelsWhileAudioRunsAndParametersMoveFromManyThreads)
{
    auto p = load();
    p->prepareToPlay (48000.0, 256);
    auto& params = p->getParameters();

    std::atomic<bool> stop { false };
    std::atomic<int> stateRounds { 0 };
    std::vector<std::thread> threads;
    threads.emplace_back ([&] {
        while (! stop.load())
        {
            juce::MemoryBlock state;
            p->getStateInformation (state);
            p->setStateInformation (state.getData(), (int) state.getSize());
            ++stateRounds;
        }
    });
    for (unsigned seed : { 1u, 2u, 3u })
        threads.emplace_back ([&, seed] {
            std::mt19937 rng (seed);
            std::uniform_real_distribution<float> value (0.0f, 1.0f);
            while (! stop.load())
                params[(int) (rng() % 35)]->setValueNotifyingHost (value (rng));
        });

    // the audio thread; the message thread (this one) keeps running, as the host's own state calls need it
    std::atomic<bool> audioDone { false }, audioFinite { true };
    std::thread audio ([&] {
        std::mt19937 rng (9);
        for (int i = 0; i < 400 && audioFinite; ++i)
        {
            juce::AudioBuffer<float> buffer (2, 256);
            audioFinite = std::isfinite (processBlock (*p, buffer, &rng));
        }
        audioDone = true;
    });
    EXPECT_TRUE (HostedPlugin::pumpUntil ([&] { return audioDone.load(); }, 60000));
    audio.join();
    EXPECT_TRUE (audioFinite.load());

    stop = true;
    std::atomic<int> joined { 0 };
    std::thread joiner ([&] {
        for (auto& t : threads)
            t.join();
        joined = 1;
    });
    EXPECT_TRUE (HostedPlugin::pumpUntil ([&] { return joined.load() == 1; }, 10000));
    joiner.join();
    EXPECT_GT (stateRounds.load(), 0);
    p->releaseResources();
}

TEST (Conformance, RandomParameterValuesKeepTheOutputFinite)
{
    auto p = load();
    p->prepareToPlay (48000.0, 512);
    std::mt19937 rng (12);
    std::uniform_real_distribution<float> value (0.0f, 1.0f);
    for (int i = 0; i < 300; ++i)
    {
        for (auto* param : p->getParameters())
            if (rng() % 4 == 0)
                param->setValueNotifyingHost (value (rng));
        juce::AudioBuffer<float> buffer (2, 1 + (int) (rng() % 512));
        const float largest = processBlock (*p, buffer, &rng);
        ASSERT_TRUE (std::isfinite (largest)) << "block " << i;
        ASSERT_LT (largest, 16.0f) << "block " << i; // +12 dB trim on noise within +-0.5, plus overshoot
    }
    p->releaseResources();
}

TEST (Conformance, BusesCanBeSwitchedDisabledAndRestored)
{
    auto p = load();
    ASSERT_EQ (p->getBusCount (true), 1);
    ASSERT_EQ (p->getBusCount (false), 1);
    EXPECT_EQ (p->getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (p->getBus (false, 0)->getName(), "Output");
    const auto original = p->getBusesLayout();
    EXPECT_EQ (original.getMainOutputChannelSet(), juce::AudioChannelSet::stereo());

    juce::AudioProcessor::BusesLayout mono;
    mono.inputBuses.add (juce::AudioChannelSet::mono());
    mono.outputBuses.add (juce::AudioChannelSet::mono());
    ASSERT_TRUE (p->setBusesLayout (mono));
    p->prepareToPlay (48000.0, 512);
    std::mt19937 rng (4);
    juce::AudioBuffer<float> monoBuffer (1, 512);
    EXPECT_TRUE (std::isfinite (processBlock (*p, monoBuffer, &rng)));
    p->releaseResources();

    p->getBus (false, 0)->enable (false);
    p->getBus (true, 0)->enable (false);
    p->getBus (true, 0)->enable (true);
    p->getBus (false, 0)->enable (true);
    ASSERT_TRUE (p->setBusesLayout (original));
    EXPECT_EQ (p->getBusesLayout(), original);

    p->prepareToPlay (48000.0, 512);
    juce::AudioBuffer<float> buffer (2, 512);
    EXPECT_TRUE (std::isfinite (processBlock (*p, buffer, &rng)));
    p->releaseResources();
}

TEST (Conformance, SilenceWithNothingPendingIsSilence)
{
    auto p = load();
    p->prepareToPlay (48000.0, 512);
    std::mt19937 rng (5);
    juce::AudioBuffer<float> buffer (2, 512);
    for (int i = 0; i < 20; ++i)
        processBlock (*p, buffer, &rng);

    // the dry delay drains within the latency and the overlap-add tail of cut spectra within twice that;
    // after that silence stays exact
    for (int i = 0; i < 2 * 2048 / 512; ++i)
        processBlock (*p, buffer, nullptr);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ (processBlock (*p, buffer, nullptr), 0.0f) << "block " << i;
    p->releaseResources();
}

TEST (Conformance, BypassPersistsInTheStateAndFadesWithoutAClick)
{
    auto p = load();
    auto* bypass = p->getBypassParameter();
    ASSERT_NE (bypass, nullptr);

    bypass->setValueNotifyingHost (1.0f);
    juce::MemoryBlock state;
    p->getStateInformation (state);
    auto restored = load();
    restored->setStateInformation (state.getData(), (int) state.getSize());
    EXPECT_EQ (restored->getBypassParameter()->getValue(), 1.0f);
    bypass->setValueNotifyingHost (0.0f);

    // a steady resonant signal, cut deeply, then bypassed mid-stream
    if (auto* depth = HostedPlugin::parameter (*p, "Depth"))
        depth->setValueNotifyingHost (1.0f);
    p->prepareToPlay (48000.0, 256);
    const int length = 256 * 375, switchAt = 256 * 188; // the switch lands on a block start
    auto in = reso::test::noise (length, 3, 0.2f);
    for (int t = 0; t < length; ++t)
        in[(size_t) t] += 0.4f * (float) std::sin (2.0 * 3.14159265358979 * 2500.0 * t / 48000.0);

    std::vector<float> out ((size_t) length);
    juce::MidiBuffer midi;
    for (int start = 0; start < length; start += 256)
    {
        if (start == switchAt)
            bypass->setValueNotifyingHost (1.0f);
        juce::AudioBuffer<float> buffer (2, 256);
        for (int c = 0; c < 2; ++c)
            buffer.copyFrom (c, 0, in.data() + start, 256);
        p->processBlock (buffer, midi);
        std::copy (buffer.getReadPointer (0), buffer.getReadPointer (0) + 256, out.begin() + start);
    }

    float largestJump = 0.0f, largestDryJump = 0.0f;
    for (int t = switchAt - 256; t < switchAt + 4800; ++t)
    {
        largestJump = std::max (largestJump, std::abs (out[(size_t) t] - out[(size_t) t - 1]));
        largestDryJump = std::max (largestDryJump, std::abs (in[(size_t) t - 2048] - in[(size_t) t - 2049]));
    }
    EXPECT_LT (largestJump, largestDryJump * 1.1f);
    for (int t = switchAt + 4800; t < length; ++t)
        ASSERT_NEAR (out[(size_t) t], in[(size_t) t - 2048], 1e-4f) << "the equally delayed dry signal";
    p->releaseResources();
}

} // namespace
