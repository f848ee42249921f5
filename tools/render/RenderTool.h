#pragma once

#include "OfflineRenderer.h"
#include "SpectrumAverager.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <iosfwd>

namespace reso::render
{

// The orvel-render program without its main(): reads the arguments, does what they ask and returns the
// exit code. Messages go to the given streams; the caller owns JUCE's initialisation.
struct ToolEnvironment
{
    std::ostream& out;
    std::ostream& err;
    bool errorIsTerminal = false;     // a progress bar may be drawn on err
    juce::File workingFolder;         // relative paths start here
    std::function<bool()> shouldStop; // polled while rendering (a signal arrived)
};

int runRenderTool (const juce::StringArray& arguments, ToolEnvironment& environment);

// What a finished render measured, for callers that want more than the files.
struct RenderOutcome
{
    ReductionStats stats;
    SpectrumAverager inputSpectrum, outputSpectrum;
    int latency = 0;
    double sampleRate = 0.0;
    juce::int64 length = 0;
};

} // namespace reso::render
