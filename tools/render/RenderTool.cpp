#include "RenderTool.h"

#include "CommandLine.h"
#include "DemoSignal.h"
#include "PresetSource.h"
#include "SpectrumPlot.h"

#include "processor/Parameters.h"

#include <iostream>

namespace reso::render
{

namespace
{
juce::String quoted (const juce::File& f) { return "\"" + f.getFullPathName() + "\""; }

std::ostream& operator<< (std::ostream& stream, const juce::String& text) { return stream << text.toStdString(); }

int fail (ToolEnvironment& env, int code, const juce::String& message)
{
    env.err << "orvel-render: " << message << "\n";
    env.err.flush();
    return code;
}

// A bar on the terminal, redrawn when the percentage changes.
class ProgressBar
{
public:
    ProgressBar (std::ostream& s, bool shown)
        : stream (s)
        , visible (shown)
    {
    }
    ~ProgressBar() { finish(); }

    void update (double fraction)
    {
        const int percent = juce::jlimit (0, 100, (int) (fraction * 100.0));
        if (! visible || percent == lastPercent)
            return;
        lastPercent = percent;
        constexpr int width = 40;
        const int filled = percent * width / 100;
        stream << "\r[" << std::string ((size_t) filled, '#') << std::string ((size_t) (width - filled), '-') << "] "
               << percent << " %";
        stream.flush();
        drawn = true;
    }

    void finish()
    {
        if (drawn)
            stream << "\r" << std::string (52, ' ') << "\r";
        stream.flush();
        drawn = false;
    }

private:
    std::ostream& stream;
    bool visible;
    bool drawn = false;
    int lastPercent = -1;
};

void applyPreset (juce::AudioProcessorValueTreeState& parameters, const RenderPreset& preset)
{
    for (const auto& [id, value] : preset.values)
        if (auto* p = parameters.getParameter (id))
            p->setValueNotifyingHost (p->convertTo0to1 (value));
}

// The files a render writes besides the audio must not land on its input or output.
juce::Result checkSideFile (const juce::String& option, const juce::File& file, const CommandLine& command)
{
    if (isSameFile (file, command.input) || file == command.input)
        return juce::Result::fail (option + " " + quoted (file) + " would overwrite INPUT");
    if (file == command.output)
        return juce::Result::fail (option + " " + quoted (file) + " would overwrite OUTPUT");
    return juce::Result::ok();
}

juce::Result checkWritableTarget (const juce::String& what, const juce::File& file)
{
    if (file.isDirectory())
        return juce::Result::fail (what + " " + quoted (file) + " is a folder");
    if (! file.getParentDirectory().isDirectory())
        return juce::Result::fail ("the folder of " + what + " " + quoted (file) + " does not exist");
    return juce::Result::ok();
}

// Re-reads a written audio file: it must be complete.
juce::Result verifyWritten (juce::AudioFormatManager& formats, const juce::File& file, int channels, juce::int64 length)
{
    std::unique_ptr<juce::AudioFormatReader> reader (formats.createReaderFor (file));
    if (reader == nullptr || (int) reader->numChannels != channels || reader->lengthInSamples != length)
        return juce::Result::fail ("the output came out incomplete (is the disk full?)");
    return juce::Result::ok();
}

juce::Result writeText (const juce::String& text, const juce::File& file)
{
    juce::FileOutputStream stream (file);
    if (stream.failedToOpen())
        return juce::Result::fail ("cannot create " + quoted (file));
    stream.writeText (text, false, false, nullptr);
    stream.flush();
    if (stream.getStatus().failed())
        return juce::Result::fail ("cannot write " + quoted (file) + ": " + stream.getStatus().getErrorMessage());
    return juce::Result::ok();
}

int latencyFor (juce::AudioProcessorValueTreeState& parameters)
{
    const int index = juce::jlimit (0, 2, (int) std::lround (plainValue (*parameters.getParameter (ids::quality))));
    return qualityFftSizes[(size_t) index];
}

juce::String seconds (double s) { return juce::String (s, 2) + " s"; }

juce::String hzText (double hz)
{
    return hz >= 1000.0 ? juce::String (hz / 1000.0, 2) + " kHz" : juce::String (hz, hz < 100.0 ? 1 : 0) + " Hz";
}

//==============================================================================
int render (const CommandLine& command, ToolEnvironment& env, RenderOutcome* outcome)
{
    const bool quiet = command.quiet;
    std::ostream& info = command.reportToStandardOutput() ? env.err : env.out;

    ResoProcessor processor;
    auto& parameters = processor.getParameters();

    if (command.preset.isNotEmpty())
    {
        RenderPreset preset;
        juce::String error;
        if (! findPreset (command.preset, preset, error))
            return fail (env, exitUsageProblem, error);
        applyPreset (parameters, preset);
    }

    if (auto result = applySettings (parameters, command.settings); result.failed())
        return fail (env, exitUsageProblem, result.getErrorMessage());

    if (isSameFile (command.output, command.input) && ! command.force)
        return fail (env, exitUsageProblem,
            "OUTPUT is the same file as INPUT: refusing to overwrite it "
            "(add --force to replace INPUT once the render has succeeded)");

    const bool reportFile = command.report.isNotEmpty() && ! command.reportToStandardOutput();
    auto conflicts = juce::Result::ok();
    if (reportFile)
        conflicts = checkSideFile ("--report", command.reportFile(), command);
    if (conflicts.wasOk() && command.hasPlot)
        conflicts = checkSideFile ("--plot", command.plot, command);
    if (conflicts.wasOk() && command.hasPlot && reportFile && command.plot == command.reportFile())
        conflicts = juce::Result::fail ("--report and --plot name the same file");
    if (conflicts.failed())
        return fail (env, exitUsageProblem, conflicts.getErrorMessage());

    auto targets = checkWritableTarget ("OUTPUT", command.output);
    if (targets.wasOk() && reportFile)
        targets = checkWritableTarget ("--report", command.reportFile());
    if (targets.wasOk() && command.hasPlot)
        targets = checkWritableTarget ("--plot", command.plot);
    if (targets.failed())
        return fail (env, exitFileProblem, targets.getErrorMessage());

    juce::AudioFormatManager formats;
    registerFormats (formats);

    std::unique_ptr<juce::AudioFormatReader> reader;
    if (auto result = openInput (formats, command.input, reader); result.failed())
        return fail (env, exitFileProblem, result.getErrorMessage());

    OutputEncoding encoding;
    if (auto result = chooseOutputEncoding (formats, command.output, *reader, command.bits, encoding); result.failed())
        return fail (env, exitUsageProblem, result.getErrorMessage());

    const int channels = (int) reader->numChannels;
    const double rate = reader->sampleRate;
    const juce::int64 length = reader->lengthInSamples;
    const double duration = (double) length / rate;
    const auto qualityText = parameters.getParameter (ids::quality)->getCurrentValueAsText();

    if (! quiet || command.dryRun)
    {
        info << "orvel-render: " << command.input.getFileName() << " -> " << command.output.getFileName()
             << (command.dryRun ? " (dry run: nothing is written)" : "") << "\n";
        info << "  input:    " << (channels == 1 ? "mono" : "stereo") << ", " << juce::String ((int) rate) << " Hz, "
             << seconds (duration) << ", " << describeInput (*reader) << "\n";
        info << "  output:   " << encoding.describe() << (encoding.note.isNotEmpty() ? " (" + encoding.note + ")" : "")
             << ", aligned with the input (latency " << juce::String (latencyFor (parameters))
             << " samples compensated)\n";

        const auto values = describeValues (parameters, ! command.dryRun);
        if (command.dryRun)
        {
            info << "  parameters:\n";
            for (const auto& line : values)
                info << "    " << line << "\n";
            info.flush();
            return exitOk;
        }
        info << "  settings: " << (values.isEmpty() ? juce::String ("defaults") : values.joinIntoString (", ")) << "\n";
        info.flush();
    }

    // the audio goes to a hidden sibling and replaces OUTPUT only when everything has worked
    PendingFile pendingOutput (command.output);
    juce::String error;
    auto writer = createWriter (encoding, pendingOutput.getTemporary(), rate, channels, error);
    if (writer == nullptr)
        return fail (env, exitFileProblem, error);

    RenderOutcome local;
    auto& result = outcome != nullptr ? *outcome : local;
    result.sampleRate = rate;
    result.length = length;

    ProgressBar progress (env.err, env.errorIsTerminal && ! quiet && duration > 4.0);
    RenderJob job;
    job.reader = reader.get();
    job.writer = writer.get();
    job.stats = &result.stats;
    job.inputSpectrum = &result.inputSpectrum;
    job.outputSpectrum = &result.outputSpectrum;
    job.onProgress = [&progress] (double fraction) { progress.update (fraction); };
    job.shouldStop = env.shouldStop;

    const double startMs = juce::Time::getMillisecondCounterHiRes();
    const auto rendered = renderFile (processor, job, result.latency);
    const double elapsed = (juce::Time::getMillisecondCounterHiRes() - startMs) / 1000.0;
    progress.finish();

    writer.reset(); // completes the file
    reader.reset(); // INPUT may be replaced below

    if (rendered.failed())
        return fail (env, rendered.getErrorMessage() == interruptedMessage ? exitInterrupted : exitFileProblem,
            rendered.getErrorMessage() + "; nothing was written");

    if (auto check = verifyWritten (formats, pendingOutput.getTemporary(), channels, length); check.failed())
        return fail (env, exitFileProblem, check.getErrorMessage());

    // the report and the plot are made before anything is moved into place
    const auto csv = result.stats.toCsv();
    std::unique_ptr<PendingFile> pendingReport, pendingPlot;
    if (command.report.isNotEmpty() && ! command.reportToStandardOutput())
    {
        pendingReport = std::make_unique<PendingFile> (command.reportFile());
        if (auto written = writeText (csv, pendingReport->getTemporary()); written.failed())
            return fail (env, exitFileProblem, written.getErrorMessage());
    }
    if (command.hasPlot)
    {
        PlotData plot;
        plot.inputDb = result.inputSpectrum.levelsDb();
        plot.outputDb = result.outputSpectrum.levelsDb();
        plot.spectrumBinHz = result.inputSpectrum.binHz();
        plot.reductionDb = result.stats.averageReductionDb();
        plot.reductionBinHz = result.stats.binHz();
        plot.sampleRate = rate;
        plot.title = "Tesmar ORVEL: " + command.input.getFileName() + "  (" + qualityText + ", depth "
                     + parameters.getParameter (ids::depth)->getCurrentValueAsText() + ")";

        pendingPlot = std::make_unique<PendingFile> (command.plot);
        if (auto written = writePng (drawSpectrumPlot (plot), pendingPlot->getTemporary()); written.failed())
            return fail (env, exitFileProblem, written.getErrorMessage());
    }

    for (auto* pending : { &pendingOutput, pendingReport.get(), pendingPlot.get() })
        if (pending != nullptr)
            if (auto moved = pending->commit(); moved.failed())
                return fail (env, exitFileProblem, moved.getErrorMessage());

    if (command.reportToStandardOutput())
    {
        env.out << csv;
        env.out.flush();
    }

    if (! quiet)
    {
        const auto strongest = result.stats.resonances (3);
        if (! strongest.empty())
        {
            juce::StringArray cuts;
            for (const auto& r : strongest)
                cuts.add (hzText (r.hz) + " (largest cut " + juce::String (-r.largestDb, 1) + " dB, "
                          + juce::String ((int) std::lround (100.0 * r.cutShare)) + " % of the time)");
            info << "  cut most: " << cuts.joinIntoString (", ") << "\n";
        }
        if (pendingReport != nullptr)
            info << "  report:   " << command.reportFile().getFullPathName() << "\n";
        if (pendingPlot != nullptr)
            info << "  plot:     " << command.plot.getFullPathName() << "\n";
        info << "  done in " << seconds (elapsed)
             << (elapsed > 0.0 && duration >= 1.0 ? " (" + juce::String (duration / elapsed, 1) + "x real time)" : juce::String()) << "\n";
        info.flush();
    }
    return exitOk;
}

int listPresetsCommand (ToolEnvironment& env)
{
    std::vector<RenderPreset> presets;
    juce::String error;
    if (! listPresets (presets, error))
    {
        env.out << error << "\n";
        return exitOk;
    }
    for (const auto& p : presets)
        env.out << p.folder << "/" << p.name << (p.description.isNotEmpty() ? "  " + p.description : juce::String())
                << "\n";
    return exitOk;
}

int demoCommand (const CommandLine& command, ToolEnvironment& env)
{
    const auto folder = command.demoFolder;
    if (! folder.createDirectory())
        return fail (env, exitFileProblem, "cannot create the folder " + quoted (folder));

    CommandLine run = command;
    run.action = CommandLine::Action::render;
    run.input = folder.getChildFile ("demo-input.wav");
    run.output = folder.getChildFile ("demo-output.wav");
    run.report = folder.getChildFile ("demo-report.csv").getFullPathName();
    run.plot = folder.getChildFile ("demo-plot.png");
    run.hasPlot = true;

    {
        juce::AudioFormatManager formats;
        formats.registerBasicFormats();
        OutputEncoding encoding{ formats.findFormatForFileExtension ("wav"), 24, {} };
        PendingFile pending (run.input);
        juce::String error;
        auto writer = createWriter (encoding, pending.getTemporary(), demo::sampleRate, 2, error);
        if (writer == nullptr)
            return fail (env, exitFileProblem, error);
        const auto input = demo::makeInput();
        if (! writer->writeFromAudioSampleBuffer (input, 0, input.getNumSamples()))
            return fail (env, exitFileProblem, "cannot write " + quoted (run.input));
        writer.reset();
        if (auto moved = pending.commit(); moved.failed())
            return fail (env, exitFileProblem, moved.getErrorMessage());
    }

    if (! command.quiet)
        env.out << "demo: " << demo::describeInput() << "\n";

    RenderOutcome outcome;
    const int code = render (run, env, &outcome);
    if (code != exitOk || command.quiet)
        return code;

    env.out << "demo summary (default settings):\n";
    for (const auto& line : demo::summarise (outcome.inputSpectrum.levelsDb(), outcome.outputSpectrum.levelsDb(),
             outcome.inputSpectrum.binHz(), outcome.stats))
        env.out << "  " << line << "\n";
    env.out << "  files in " << folder.getFullPathName()
            << ": demo-input.wav, demo-output.wav, demo-report.csv, demo-plot.png\n";
    env.out.flush();
    return exitOk;
}
} // namespace

int runRenderTool (const juce::StringArray& arguments, ToolEnvironment& env)
{
    CommandLine command;
    juce::String error;
    if (! parseCommandLine (arguments, env.workingFolder, command, error))
        return fail (env, exitUsageProblem, error);

    switch (command.action)
    {
        case CommandLine::Action::help:
            env.out << usageText();
            return exitOk;

        case CommandLine::Action::listParameters:
        {
            ResoProcessor processor;
            env.out << parameterListing (processor.getParameters());
            return exitOk;
        }

        case CommandLine::Action::listPresets:
            return listPresetsCommand (env);

        case CommandLine::Action::demo:
            return demoCommand (command, env);

        case CommandLine::Action::render:
            break;
    }
    return render (command, env, nullptr);
}

} // namespace reso::render
