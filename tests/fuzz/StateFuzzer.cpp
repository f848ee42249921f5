#include "DocumentFuzzDrivers.h"

#include <juce_events/juce_events.h>

#include <cstdio>
#include <cstdlib>

// libFuzzer target: fuzz bytes through reso::fuzz::checkStateBlob (see DocumentFuzzDrivers.h).

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    juce::initialiseJuce_GUI();
    reso::fuzz::useTemporaryDataFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const auto failure = reso::fuzz::checkStateBlob (data, size);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (0);
    if (! failure.empty())
    {
        std::fprintf (stderr, "state input failed: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
