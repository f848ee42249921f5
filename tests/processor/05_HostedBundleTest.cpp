#include "processor/Parameters.h"
#include "processor/ResoProcessor.h"
#include "support/HostedPlugin.h"

#include <gtest/gtest.h>

namespace
{

using reso::test::HostedPlugin;

class HostedBundle : public ::testing::Test
{
protected:
    void SetUp() override
    {
        juce::String error;
        instance = HostedPlugin::create (48000.0, 512, error);
        ASSERT_NE (instance, nullptr) << error;
    }

    juce::AudioProcessorParameter& param (const char* name)
    {
        auto* p = HostedPlugin::parameter (*instance, name);
        EXPECT_NE (p, nullptr) << name;
        return *p;
    }

    juce::AudioProcessor::BusesLayout layout (juce::AudioChannelSet in, juce::AudioChannelSet out)
    {
        juce::AudioProcessor::BusesLayout l;
        l.inputBuses.add (in);
        l.outputBuses.add (out);
        return l;
    }

    std::unique_ptr<juce::AudioPluginInstance> instance;
};

TEST_F (HostedBundle, FactoryDescribesOneEffect)
{
    const auto types = HostedPlugin::describe();
    ASSERT_EQ (types.size(), 1);
    const auto& d = *types[0];
    EXPECT_EQ (d.name, "Tesmar ORVEL");
    EXPECT_EQ (d.manufacturerName, "Tesmar");
    EXPECT_EQ (d.version, "1.0.3");
    EXPECT_EQ (d.category, "Fx|Restoration");
    EXPECT_FALSE (d.isInstrument);
    EXPECT_EQ (d.pluginFormatName, "VST3");
}

TEST_F (HostedBundle, ThirtyFiveParametersInOrderWithNamesAndDefaults)
{
    reso::ResoProcessor reference;
    const auto& expected = reference.getParameters().processor.getParameters();
    const auto& hosted = instance->getParameters();
    ASSERT_EQ (hosted.size(), 35) << "no extra bypass parameter";

    for (int i = 0; i < 35; ++i)
    {
        EXPECT_EQ (hosted[i]->getName (100), expected[i]->getName (100)) << i;
        EXPECT_NEAR (hosted[i]->getDefaultValue(), expected[i]->getDefaultValue(), 1e-6f) << i;
        EXPECT_NEAR (hosted[i]->getValue(), expected[i]->getValue(), 1e-6f) << i;
        EXPECT_EQ (hosted[i]->getCurrentValueAsText(), expected[i]->getCurrentValueAsText()) << i;
    }
}

TEST_F (HostedBundle, BypassIsTheHostBypass)
{
    auto* bypass = instance->getBypassParameter();
    ASSERT_NE (bypass, nullptr);
    EXPECT_EQ (bypass->getName (100), "Bypass");
    EXPECT_EQ (bypass, &param ("Bypass"));
}

TEST_F (HostedBundle, TypedTextGoesThroughTheParametersOwnRules)
{
    auto& focusLow = param ("Focus Low");
    focusLow.setValueNotifyingHost (focusLow.getValueForText ("2k"));
    EXPECT_EQ (focusLow.getCurrentValueAsText(), "2.00 kHz");

    auto& lowProtect = param ("Low Protect");
    lowProtect.setValueNotifyingHost (lowProtect.getValueForText ("off"));
    EXPECT_EQ (lowProtect.getCurrentValueAsText(), "Off");

    auto& trim = param ("Trim");
    trim.setValueNotifyingHost (trim.getValueForText ("-3 dB"));
    EXPECT_EQ (trim.getCurrentValueAsText(), "-3.0 dB");
}

TEST_F (HostedBundle, AcceptsMonoAndStereoOnly)
{
    using Set = juce::AudioChannelSet;
    EXPECT_TRUE (instance->checkBusesLayoutSupported (layout (Set::mono(), Set::mono())));
    EXPECT_TRUE (instance->checkBusesLayoutSupported (layout (Set::stereo(), Set::stereo())));
    EXPECT_FALSE (instance->checkBusesLayoutSupported (layout (Set::mono(), Set::stereo())));
    EXPECT_FALSE (instance->checkBusesLayoutSupported (layout (Set::stereo(), Set::mono())));
    EXPECT_FALSE (instance->checkBusesLayoutSupported (layout (Set::createLCR(), Set::createLCR())));
}

TEST_F (HostedBundle, LatencyFollowsTheQuality)
{
    instance->prepareToPlay (48000.0, 512);
    EXPECT_EQ (instance->getLatencySamples(), 2048);

    auto& quality = param ("Quality");
    quality.setValueNotifyingHost (quality.getValueForText ("HIGH"));
    EXPECT_TRUE (HostedPlugin::pumpUntil ([&] { return instance->getLatencySamples() == 4096; }))
        << "latency " << instance->getLatencySamples();

    quality.setValueNotifyingHost (quality.getValueForText ("LOW LAT"));
    EXPECT_TRUE (HostedPlugin::pumpUntil ([&] { return instance->getLatencySamples() == 1024; }))
        << "latency " << instance->getLatencySamples();
    instance->releaseResources();
}

} // namespace
