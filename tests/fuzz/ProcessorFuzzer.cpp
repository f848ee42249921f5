#include "DocumentFuzzDrivers.h"
#include "ProcessorFuzzDriver.h"

#include <juce_events/juce_events.h>

#include <cstdio>
#include <cstdlib>

// libFuzzer target: fuzz bytes become a host session with one processor (see ProcessorFuzzDriver.h).

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    juce::initialiseJuce_GUI(); // the parameter tree needs the message manager
    reso::fuzz::useTemporaryDataFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const auto failure = reso::fuzz::runProcessorSession (data, size);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (0); // latency updates posted by the session
    if (! failure.empty())
    {
        std::fprintf (stderr, "processor session failed: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
