#pragma once

#include "AudioFiles.h"
#include "ParameterText.h"

namespace reso::render
{

// What the user asked orvel-render to do, read from its arguments.
struct CommandLine
{
    enum class Action
    {
        render,
        listParameters,
        listPresets,
        demo,
        help
    };

    Action action = Action::render;
    juce::File input, output, demoFolder;
    juce::String preset;                    // empty: none
    std::vector<ParameterSetting> settings; // in the order given
    BitDepth bits = BitDepth::asInput;
    juce::String report; // empty: none; "-": standard output; else a path
    juce::File plot;     // a ".png" path, or none
    bool hasPlot = false;
    bool force = false, quiet = false, dryRun = false;

    bool reportToStandardOutput() const { return report == "-"; }
    juce::File reportFile() const;
};

// Reads the arguments (without the program name); relative paths are taken from workingFolder.
// False with a message when they make no sense.
bool parseCommandLine (
    const juce::StringArray& arguments, const juce::File& workingFolder, CommandLine& result, juce::String& error);

// The --help text.
juce::String usageText();

// Exit codes.
inline constexpr int exitOk = 0;
inline constexpr int exitFileProblem = 1;  // a file could not be read, checked or written
inline constexpr int exitUsageProblem = 2; // wrong arguments, parameter, value or preset; OUTPUT = INPUT
inline constexpr int exitInterrupted = 130;

} // namespace reso::render
