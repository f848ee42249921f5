#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <functional>
#include <memory>

namespace reso::test
{

// The built "Tesmar ORVEL.vst3" bundle, loaded through the framework's VST3 hosting as a DAW would load it.
class HostedPlugin
{
public:
    static juce::File bundle() { return juce::File (ORVEL_VST3_BUNDLE_PATH); }

    // The plug-in descriptions the bundle's factory offers.
    static juce::OwnedArray<juce::PluginDescription> describe()
    {
        juce::VST3PluginFormat format;
        juce::OwnedArray<juce::PluginDescription> types;
        format.findAllTypesForFile (types, bundle().getFullPathName());
        return types;
    }

    // A new instance, or null with the reason in error.
    static std::unique_ptr<juce::AudioPluginInstance> create (double sampleRate, int blockSize, juce::String& error)
    {
        auto types = describe();
        if (types.isEmpty())
        {
            error = "no plug-in found in " + bundle().getFullPathName();
            return nullptr;
        }
        juce::VST3PluginFormat format;
        return format.createInstanceFromDescription (*types[0], sampleRate, blockSize, error);
    }

    // Runs the message loop until the condition holds or the time is up; true when it held.
    static bool pumpUntil (const std::function<bool()>& condition, int timeoutMs = 20000)
    {
        const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
        while (! condition())
        {
            if (juce::Time::getMillisecondCounter() > end)
                return false;
            juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
        }
        return true;
    }

    // The hosted parameter with this display name (a VST3 host sees numeric IDs, derived from the string IDs).
    static juce::AudioProcessorParameter* parameter (juce::AudioPluginInstance& instance, const juce::String& name)
    {
        for (auto* p : instance.getParameters())
            if (p->getName (100) == name)
                return p;
        return nullptr;
    }
};

} // namespace reso::test
