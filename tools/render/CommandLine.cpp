#include "CommandLine.h"

namespace reso::render
{

namespace
{
// Options that take a value.
const juce::StringArray valueOptions{ "--preset", "--set", "--bits", "--report", "--plot", "--demo" };
const juce::StringArray switchOptions{ "--force", "--quiet", "-q", "--dry-run", "--list-params", "--list-presets",
    "--help", "-h" };
} // namespace

juce::File CommandLine::reportFile() const { return juce::File (report); }

bool parseCommandLine (
    const juce::StringArray& arguments, const juce::File& workingFolder, CommandLine& result, juce::String& error)
{
    result = {};
    juce::StringArray positional;
    const auto pathOf = [&workingFolder] (const juce::String& text) { return workingFolder.getChildFile (text); };

    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i)
    {
        auto argument = arguments[i];
        if (optionsEnded || ! argument.startsWithChar ('-') || argument == "-")
        {
            positional.add (argument);
            continue;
        }
        if (argument == "--")
        {
            optionsEnded = true;
            continue;
        }

        juce::String value;
        bool hasInlineValue = false;
        if (argument.startsWith ("--") && argument.containsChar ('='))
        {
            value = argument.fromFirstOccurrenceOf ("=", false, false);
            argument = argument.upToFirstOccurrenceOf ("=", false, false);
            hasInlineValue = true;
        }

        if (valueOptions.contains (argument))
        {
            if (! hasInlineValue)
            {
                if (i + 1 >= arguments.size())
                {
                    error = argument + " needs a value";
                    return false;
                }
                value = arguments[++i];
            }

            if (argument == "--preset")
                result.preset = value;
            else if (argument == "--set")
            {
                ParameterSetting setting;
                if (! splitSetting (value, setting, error))
                    return false;
                result.settings.push_back (setting);
            }
            else if (argument == "--bits")
            {
                if (value == "16")
                    result.bits = BitDepth::int16;
                else if (value == "24")
                    result.bits = BitDepth::int24;
                else if (value.equalsIgnoreCase ("32f"))
                    result.bits = BitDepth::float32;
                else
                {
                    error = "--bits takes 16, 24 or 32f, not \"" + value + "\"";
                    return false;
                }
            }
            else if (argument == "--report")
                result.report = value == "-" ? value : pathOf (value).getFullPathName();
            else if (argument == "--plot")
            {
                result.plot = pathOf (value);
                result.hasPlot = true;
                if (! result.plot.hasFileExtension ("png"))
                {
                    error = "--plot writes a PNG picture: give a FILE.png, not \"" + value + "\"";
                    return false;
                }
            }
            else if (argument == "--demo")
            {
                result.action = CommandLine::Action::demo;
                result.demoFolder = pathOf (value);
            }
            continue;
        }

        if (hasInlineValue || ! switchOptions.contains (argument))
        {
            error = "unknown option \"" + arguments[i] + "\" (see --help)";
            return false;
        }

        if (argument == "--force")
            result.force = true;
        else if (argument == "--quiet" || argument == "-q")
            result.quiet = true;
        else if (argument == "--dry-run")
            result.dryRun = true;
        else if (argument == "--list-params")
            result.action = CommandLine::Action::listParameters;
        else if (argument == "--list-presets")
            result.action = CommandLine::Action::listPresets;
        else if (argument == "--help" || argument == "-h")
            result.action = CommandLine::Action::help;
    }

    switch (result.action)
    {
        case CommandLine::Action::render:
            if (positional.size() != 2)
            {
                error = positional.isEmpty()
                            ? "give INPUT and OUTPUT (see --help)"
                            : "expected INPUT and OUTPUT, got " + juce::String (positional.size()) + " file name"
                                  + (positional.size() == 1 ? "" : "s") + " (see --help)";
                return false;
            }
            result.input = pathOf (positional[0]);
            result.output = pathOf (positional[1]);
            return true;

        case CommandLine::Action::demo:
            if (! positional.isEmpty())
            {
                error = "--demo writes its own files: give no INPUT or OUTPUT";
                return false;
            }
            return true;

        case CommandLine::Action::listParameters:
        case CommandLine::Action::listPresets:
        case CommandLine::Action::help:
            return true;
    }
    return true;
}

juce::String usageText()
{
    return R"(orvel-render: runs the Tesmar ORVEL resonance suppressor over an audio file, as a host would.

usage: orvel-render INPUT OUTPUT [options]
       orvel-render --demo DIR
       orvel-render --list-params | --list-presets | --help

The output has the input's length and lines up with it sample for sample (the processor's latency is
compensated). WAV and AIFF are read and written, FLAC too when the tool was built with libFLAC; mono or
stereo, 22.05 to 192 kHz. OUTPUT's extension picks its format.

options:
  --set ID=VALUE   set a parameter, with VALUE as the parameter displays it ("depth=45%", "focus_low=2k",
                   "low_protect=off", "trim=-3", "mode=HARD", "stereo=M/S", "quality=HIGH"); repeatable,
                   applied in order after --preset (see --list-params)
  --preset NAME    start from a preset: "FOLDER/NAME", a name alone, or a preset file
  --bits B         output bit depth: 16, 24 or 32f (32-bit float, WAV only); default: as the input
  --report FILE    write what was cut as CSV ("-" for standard output): per third-octave band the mean and
                   the largest reduction of the band level, and the strongest resonances
  --plot FILE.png  draw the average input and output spectra and the average reduction curve
  --dry-run        check everything and show the settings, but write nothing
  --force          allow OUTPUT to be INPUT (it is replaced only after a successful render)
  --quiet, -q      print nothing but errors
  --demo DIR       write a generated demonstration (input, output, report and plot) into DIR
  --list-params    list the parameters: IDs, names, ranges, defaults
  --list-presets   list the presets
  --help, -h       show this text

exit codes: 0 done, 1 a file could not be read or written, 2 a wrong option, parameter, value or preset
(or OUTPUT is INPUT without --force), 130 interrupted. A failed render leaves no output behind and never
touches an existing OUTPUT.
)";
}

} // namespace reso::render
