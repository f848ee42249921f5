#include "RenderToolHarness.h"

#include <juce_graphics/juce_graphics.h>

#include <cmath>

namespace
{

using namespace reso::test;

struct CsvRow
{
    juce::String kind;
    double hz = 0, low = 0, high = 0, mean = 0, largest = 0, percent = 0;
};

std::vector<CsvRow> parseReport (const juce::String& csv, int& badRows)
{
    std::vector<CsvRow> rows;
    badRows = 0;
    auto lines = juce::StringArray::fromLines (csv.trimEnd());
    for (int i = 1; i < lines.size(); ++i)
    {
        juce::StringArray cells;
        cells.addTokens (lines[i], ",", "");
        if (cells.size() != 7)
        {
            ++badRows;
            continue;
        }
        rows.push_back ({ cells[0], cells[1].getDoubleValue(), cells[2].getDoubleValue(), cells[3].getDoubleValue(),
            cells[4].getDoubleValue(), cells[5].getDoubleValue(), cells[6].getDoubleValue() });
    }
    return rows;
}

constexpr const char* header =
    "kind,frequency_hz,low_hz,high_hz,mean_reduction_db,largest_reduction_db,time_cut_percent";

// The demonstration is rendered once for the whole suite.
class Demo : public RenderToolTest
{
protected:
    static void SetUpTestSuite()
    {
        home = makeTemporaryFolder();
        result = runIn (home, home, { "--demo", "demo" });
        folder = home.getChildFile ("demo");
        report = folder.getChildFile ("demo-report.csv").loadFileAsString();
        rows = parseReport (report, badRows);
    }

    static void TearDownTestSuite() { home.deleteRecursively(); }

    static const CsvRow* band (double nominalHz)
    {
        for (const auto& r : rows)
            if (r.kind == "band" && std::abs (r.hz - nominalHz) < 0.01)
                return &r;
        return nullptr;
    }

    static inline juce::File home, folder;
    static inline ToolRun result;
    static inline juce::String report;
    static inline std::vector<CsvRow> rows;
    static inline int badRows = 0;
};

TEST_F (Demo, WritesInputOutputReportAndPlotAndSummarises)
{
    ASSERT_EQ (result.exitCode, 0) << result.err;
    for (auto* name : { "demo-input.wav", "demo-output.wav", "demo-report.csv", "demo-plot.png" })
        EXPECT_TRUE (folder.getChildFile (name).existsAsFile()) << name;

    const auto input = readAudio (folder.getChildFile ("demo-input.wav"));
    const auto output = readAudio (folder.getChildFile ("demo-output.wav"));
    ASSERT_EQ (input.samples.size(), 2u);
    ASSERT_EQ (output.samples.size(), 2u);
    EXPECT_EQ (output.samples[0].size(), input.samples[0].size());

    const auto plot = juce::ImageFileFormat::loadFrom (folder.getChildFile ("demo-plot.png"));
    EXPECT_EQ (plot.getWidth(), 1000);
    EXPECT_EQ (plot.getHeight(), 620);

    for (auto* line : { "demo summary", "resonance at 1.25 kHz: level -", "resonance at 2.90 kHz: level -",
             "resonance at 7.40 kHz: level -", "third-octave bands", "partials" })
        EXPECT_TRUE (result.out.contains (line)) << "missing \"" << line << "\" in:\n" << result.out;
}

// The three resonances lead the report, and nothing else is cut for long.
TEST_F (Demo, ReportNamesTheThreeResonancesFirst)
{
    ASSERT_TRUE (report.startsWith (header)) << report;
    EXPECT_EQ (badRows, 0);

    std::vector<CsvRow> resonances;
    for (const auto& r : rows)
        if (r.kind == "resonance")
            resonances.push_back (r);
    ASSERT_GE (resonances.size(), 3u) << report;

    for (double hz : { 1250.0, 2900.0, 7400.0 })
    {
        const auto found = std::find_if (resonances.begin(), resonances.begin() + 3,
            [hz] (const CsvRow& r) { return std::abs (r.hz - hz) < 0.02 * hz; });
        ASSERT_NE (found, resonances.begin() + 3) << hz << " Hz is not among the first three:\n" << report;
        EXPECT_LT (found->largest, -1.0);
        EXPECT_LE (found->largest, found->mean);
        EXPECT_GT (found->percent, 90.0);
        EXPECT_TRUE (found->low < hz && hz < found->high);
    }
    for (size_t i = 3; i < resonances.size(); ++i)
        EXPECT_LT (resonances[i].percent, 10.0) << resonances[i].hz << " Hz";
}

TEST_F (Demo, BandsShowWhereTheCutsWere)
{
    int bands = 0;
    for (const auto& r : rows)
        bands += r.kind == "band" ? 1 : 0;
    EXPECT_EQ (bands, 31) << "20 Hz to 20 kHz at 48 kHz";

    for (double nominal : { 3150.0, 8000.0 })
    {
        const auto* b = band (nominal);
        ASSERT_NE (b, nullptr) << nominal;
        EXPECT_LT (b->mean, -1.0) << nominal << " Hz holds a resonance";
        EXPECT_LE (b->largest, b->mean);
    }
    for (double nominal : { 125.0, 500.0, 16000.0 })
    {
        const auto* b = band (nominal);
        ASSERT_NE (b, nullptr) << nominal;
        EXPECT_GT (b->mean, -0.1) << nominal << " Hz holds none";
    }
}

// "--report -" puts the CSV alone on standard output (the run's notes move to standard error), and --plot
// draws a picture for a mono file at another rate as well.
TEST_F (RenderToolTest, ReportToStandardOutputAndPlot)
{
    writeAudio (file ("in.wav"), { noise (22050, 8) }, 22050.0, 24);

    const auto result = run ({ "in.wav", "out.wav", "--report", "-", "--plot", "plot.png" });
    ASSERT_EQ (result.exitCode, 0) << result.err;
    EXPECT_TRUE (result.out.startsWith (header)) << result.out;
    int badRows = 0;
    const auto rows = parseReport (result.out, badRows);
    EXPECT_EQ (badRows, 0);
    EXPECT_EQ (rows.front().hz, 20.0);
    EXPECT_TRUE (result.err.contains ("in.wav -> out.wav")) << result.err;

    const auto plot = juce::ImageFileFormat::loadFrom (file ("plot.png"));
    EXPECT_EQ (plot.getWidth(), 1000);

    const auto quiet = run ({ "in.wav", "out2.wav", "--report", "-", "-q" });
    ASSERT_EQ (quiet.exitCode, 0) << quiet.err;
    EXPECT_TRUE (quiet.out.startsWith (header));
    EXPECT_TRUE (quiet.err.isEmpty()) << quiet.err;
}

} // namespace
