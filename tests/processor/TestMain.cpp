#include "processor/UserData.h"
#include "support/TestDataRoot.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace reso::test
{
juce::File childDataRoot;
}

// Parameter trees, timers and the message loop need the framework to be initialised. Nothing may touch the
// user's real data folder: processors built here use a temporary folder (or the one a parent test hands a
// child process with --orvel-data-root=), and HOME points at a temporary folder too, so that a hosted
// bundle, which has its own copy of everything, writes there as well.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);

    const juce::String rootOption ("--orvel-data-root=");
    for (int i = 1; i < argc; ++i)
        if (juce::String (argv[i]).startsWith (rootOption))
            reso::test::childDataRoot = juce::File (juce::String (argv[i]).fromFirstOccurrenceOf (rootOption, false, false));

    const auto home = juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getChildFile ("orvel-test-home-" + juce::Uuid().toString());
    home.createDirectory();
    setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    reso::setUserDataFolderOverride (reso::test::childDataRoot != juce::File() ? reso::test::childDataRoot
                                                                              : home.getChildFile ("data"));

    int result = 0;
    {
        juce::ScopedJuceInitialiser_GUI juce;
        result = RUN_ALL_TESTS();
    }
    home.deleteRecursively();
    return result;
}
