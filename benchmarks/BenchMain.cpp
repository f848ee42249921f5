#include "BenchCommon.h"
#include "ProcessorBench.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

// Runs every benchmark (Google Benchmark's usual flags apply), then prints one table: per case the CPU
// time per hop, the real-time factor and the ratio to one FFTW forward + inverse pair of the same size per
// channel, followed by the set-up times, the heap per instance and the project's goals.

namespace
{

struct Row
{
    std::string name;
    double cpuSeconds = 0.0; // per iteration
    double hops = 0.0, audioSeconds = 0.0;
    int channels = 0, fftSize = 0;
};

class SummaryReporter : public benchmark::ConsoleReporter
{
public:
    explicit SummaryReporter (bool showRuns) : verbose (showRuns) {}

    bool ReportContext (const Context& context) override { return verbose ? ConsoleReporter::ReportContext (context) : true; }

    void ReportRuns (const std::vector<Run>& runs) override
    {
        if (verbose)
            ConsoleReporter::ReportRuns (runs);
        for (const auto& run : runs)
        {
            if (run.error_occurred)
                continue;
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (! single && ! median)
                continue;

            Row row;
            row.name = run.run_name.function_name;
            row.cpuSeconds = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier (run.time_unit);
            auto counter = [&] (const char* key) {
                const auto found = run.counters.find (key);
                return found == run.counters.end() ? 0.0 : found->second.value;
            };
            row.hops = counter ("hops");
            row.audioSeconds = counter ("audio_s");
            row.channels = (int) counter ("ch");
            row.fftSize = (int) counter ("N");

            const auto existing = std::find_if (rows.begin(), rows.end(), [&] (const Row& r) { return r.name == row.name; });
            if (existing != rows.end())
                *existing = row;
            else
                rows.push_back (row);
        }
    }

    std::vector<Row> rows;

private:
    bool verbose;
};

double nsPerHop (const Row& row) { return row.cpuSeconds * 1e9 / row.hops; }

void printSummary (const std::vector<Row>& rows, const reso::bench::InstanceMemoryReport& memory)
{
    std::map<int, double> fftwPair; // ns per pair by size
    for (const auto& row : rows)
        if (row.name.rfind ("fft/fftw-pair/", 0) == 0 && row.hops > 0)
            fftwPair[row.fftSize] = nsPerHop (row);

    std::printf ("\n%-34s %3s %12s %12s %14s\n", "case", "ch", "ns/hop", "x real time", "x FFTW pair/ch");
    std::printf ("%s\n", std::string (79, '-').c_str());
    double worstMonoRatio = 0.0, normalStereo = 1e30;
    for (const auto& row : rows)
    {
        if (row.hops <= 0)
            continue;
        const double ns = nsPerHop (row);
        const double realTime = row.audioSeconds / row.cpuSeconds;
        const auto reference = fftwPair.find (row.fftSize);
        char ratio[32] = "-";
        if (reference != fftwPair.end())
        {
            const double r = ns / row.channels / reference->second;
            std::snprintf (ratio, sizeof (ratio), "%.2f", r);
            if (row.name.rfind ("engine/mono/", 0) == 0)
                worstMonoRatio = std::max (worstMonoRatio, r);
        }
        if (row.name.rfind ("engine/stereo-", 0) == 0 && row.fftSize == 2048)
            normalStereo = std::min (normalStereo, realTime);
        std::printf ("%-34s %3d %12.0f %12.0f %14s\n", row.name.c_str(), row.channels, ns, realTime, ratio);
    }

    std::printf ("\n");
    for (const auto& row : rows)
        if (row.hops <= 0)
            std::printf ("%-34s %9.2f ms\n", row.name.c_str(), row.cpuSeconds * 1e3);

    auto mb = [] (double bytes) { return bytes / (1024.0 * 1024.0); };
    auto printInstance = [&] (const char* label, const reso::bench::InstanceMemory& m) {
        std::printf ("%-34s %6zu allocations, %7.2f MiB requested, %7.2f MiB (%lld bytes) in use\n", label,
                     m.allocations, mb ((double) m.bytesRequested), mb ((double) m.bytesInUse), m.bytesInUse);
    };
    std::printf ("\nheap per instance, constructed and prepared at 48 kHz:\n");
    printInstance ("  stereo instance", memory.stereo);
    printInstance ("  mono instance", memory.mono);
    for (size_t q = 0; q < memory.stereoEngineBytes.size(); ++q)
        std::printf ("  of which stereo engine N=%-5d    %7.2f MiB in use\n", reso::bench::qualitySizes[q],
                     mb ((double) memory.stereoEngineBytes[q]));

    std::printf ("\ngoals:\n");
    std::printf ("  engine per hop within 3x the FFTW pair at every N (mono): worst %.2fx  %s\n", worstMonoRatio,
                 worstMonoRatio <= 3.0 ? "met" : "NOT met");
    std::printf ("  NORMAL stereo at least 400x real time (slowest mode):     %.0fx  %s\n", normalStereo,
                 normalStereo >= 400.0 ? "met" : "NOT met");
    std::printf ("  at most 4 MiB per instance (stereo, in use):              %.2f MiB  %s\n",
                 mb ((double) memory.stereo.bytesInUse), mb ((double) memory.stereo.bytesInUse) <= 4.0 ? "met" : "NOT met");
}

} // namespace

int main (int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI juce; // the parameter tree needs the message manager

    // --table-only: print the summary alone, not every run
    bool tableOnly = false;
    for (int i = 1; i < argc; ++i)
        if (std::string (argv[i]) == "--table-only")
        {
            tableOnly = true;
            std::copy (argv + i + 1, argv + argc, argv + i);
            --argc;
            break;
        }

    benchmark::Initialize (&argc, argv);
    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;

    reso::bench::registerFftBenchmarks();
    reso::bench::registerEngineBenchmarks();
    reso::bench::registerProcessorBenchmarks();

    SummaryReporter reporter (! tableOnly);
    benchmark::RunSpecifiedBenchmarks (&reporter);
    printSummary (reporter.rows, reso::bench::measureInstanceMemory());
    benchmark::Shutdown();
    return 0;
}
