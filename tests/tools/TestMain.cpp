#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

// The format classes and the processor in some tests need the framework to be initialised.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
