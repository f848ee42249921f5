// orvel-render: runs the plug-in's processor offline over an audio file. See --help.
#include "render/RenderTool.h"

#include <juce_events/juce_events.h>

#include <csignal>
#include <iostream>
#include <unistd.h>

namespace
{
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop (int) { stopRequested = 1; }
} // namespace

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce;

    std::signal (SIGINT, requestStop);
    std::signal (SIGTERM, requestStop);

    juce::StringArray arguments;
    for (int i = 1; i < argc; ++i)
        arguments.add (juce::String::fromUTF8 (argv[i]));

    reso::render::ToolEnvironment environment{ std::cout, std::cerr, ::isatty (STDERR_FILENO) != 0,
        juce::File::getCurrentWorkingDirectory(), [] { return stopRequested != 0; } };
    return reso::render::runRenderTool (arguments, environment);
}
