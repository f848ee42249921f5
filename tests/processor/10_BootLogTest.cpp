#include "processor/BootLog.h"
#include "processor/ResoProcessor.h"
#include "processor/UserData.h"
#include "support/ProcessorHelpers.h"
#include "support/TestDataRoot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <thread>
#include <unistd.h>

namespace
{

using reso::BootLog;

const char* const linePattern = R"(\[Boot\] Tesmar ORVEL 1\.0\.3 engine 1\.0\.3 vst3 build )"
                                R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123]\d \d{4} \d\d:\d\d:\d\d )"
                                R"(at \d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d))";

bool matchesLine (const juce::String& text) { return std::regex_match (text.toStdString(), std::regex (linePattern)); }

juce::File scratchFolder (const char* name)
{
    auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                      .getChildFile ("orvel-bootlog-" + juce::Uuid().toString())
                      .getChildFile (name);
    return folder;
}

// Removes a scratch folder tree when the test ends.
struct Cleanup
{
    explicit Cleanup (juce::File f) : top (f) {}
    ~Cleanup()
    {
        top.setReadOnly (false, true);
        top.deleteRecursively();
    }
    juce::File top;
};

//==============================================================================
TEST (BootLog, LineHasTheExactFormat)
{
    const BootLog::LocalTime start { 2026, 11, 15, 0, 36, 37, 5, 3600 };
    const auto line = BootLog::line (start);
    EXPECT_TRUE (matchesLine (line)) << line;
    EXPECT_TRUE (line.endsWith (" at 2026-11-15T00:36:37.005+01:00")) << line;
    EXPECT_TRUE (line.startsWith ("[Boot] Tesmar ORVEL 1.0.3 engine 1.0.3 vst3 build ")) << line;
}

struct Offset
{
    int seconds;
    const char* suffix;
};

void PrintTo (const Offset& offset, std::ostream* os) { *os << offset.seconds << " s"; }

class BootTimestamp : public ::testing::TestWithParam<Offset>
{
};

TEST_P (BootTimestamp, OffsetIsZOrSignedHoursAndMinutes)
{
    const BootLog::LocalTime t { 2027, 1, 2, 3, 4, 5, 60, GetParam().seconds };
    EXPECT_EQ (BootLog::timestamp (t), juce::String ("2027-01-02T03:04:05.060") + GetParam().suffix);
}

INSTANTIATE_TEST_SUITE_P (BootLog, BootTimestamp,
    ::testing::Values (Offset { 0, "Z" }, Offset { 3600, "+01:00" }, Offset { -12600, "-03:30" },
        Offset { 20700, "+05:45" }, Offset { -1800, "-00:30" }, Offset { 50400, "+14:00" },
        Offset { -36000, "-10:00" }));

// The local time of an instant follows the process's time zone, offset included.
TEST (BootLog, LocalTimeOfAnInstant)
{
    const char* previous = std::getenv ("TZ");
    const std::string saved = previous != nullptr ? previous : "";
    const auto instant = juce::Time (2026, 10, 15, 4, 6, 37, 5, false).toMilliseconds(); // 2026-11-15 UTC

    setenv ("TZ", "XYZ+3:30", 1);
    tzset();
    const auto west = BootLog::timestamp (BootLog::localTime (instant));
    setenv ("TZ", "UTC0", 1);
    tzset();
    const auto utc = BootLog::timestamp (BootLog::localTime (instant));

    if (previous != nullptr)
        setenv ("TZ", saved.c_str(), 1);
    else
        unsetenv ("TZ");
    tzset();

    EXPECT_EQ (west, "2026-11-15T00:36:37.005-03:30");
    EXPECT_EQ (utc, "2026-11-15T04:06:37.005Z");
}

TEST (BootLog, AppendsLinesWithCrLfAndCreatesTheFolder)
{
    const auto folder = scratchFolder ("data").getChildFile ("Tesmar").getChildFile ("ORVEL");
    const Cleanup cleanup (folder.getParentDirectory().getParentDirectory().getParentDirectory());

    EXPECT_TRUE (BootLog::append (folder, "first"));
    EXPECT_TRUE (BootLog::append (folder, "second"));

    juce::MemoryBlock bytes;
    ASSERT_TRUE (folder.getChildFile ("boot.log").loadFileAsData (bytes));
    EXPECT_EQ (bytes.toString(), "first\r\nsecond\r\n") << "no byte-order mark, never truncated";
}

TEST (BootLog, AFolderThatCannotBeCreatedFailsQuietly)
{
    const auto top = scratchFolder ("blocked");
    const Cleanup cleanup (top.getParentDirectory());
    ASSERT_TRUE (top.getParentDirectory().createDirectory());
    ASSERT_TRUE (top.replaceWithText ("a file where the folder would go"));

    EXPECT_FALSE (BootLog::append (top.getChildFile ("ORVEL"), "line"));
    EXPECT_FALSE (top.getChildFile ("ORVEL").exists());
}

//==============================================================================
// The run-once guard is per process, so these run the test program itself as a host process with its data
// folder pointed at a prepared place, and look at what it left behind.
int runHostProcess (const juce::File& dataRoot, juce::String& output)
{
    juce::ChildProcess child;
    const juce::StringArray args { juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName(),
        "--gtest_filter=BootLogChild.*", "--orvel-data-root=" + dataRoot.getFullPathName() };
    if (! child.start (args))
        return -1;
    output = child.readAllProcessOutput();
    child.waitForProcessToFinish (60000);
    return (int) child.getExitCode();
}

juce::StringArray logLines (const juce::File& dataRoot)
{
    juce::StringArray lines;
    lines.addTokens (dataRoot.getChildFile ("boot.log").loadFileAsString(), "\n", "");
    lines.removeEmptyStrings (false);
    return lines;
}

TEST (BootLogProcess, TwoProcessorsInOneProcessAddOneLineAndEachProcessAnother)
{
    const auto dataRoot = scratchFolder ("data");
    const Cleanup cleanup (dataRoot.getParentDirectory());

    juce::String output;
    ASSERT_EQ (runHostProcess (dataRoot, output), 0) << output;
    ASSERT_TRUE (output.contains ("[  PASSED  ] 1 test")) << output;
    auto lines = logLines (dataRoot);
    ASSERT_EQ (lines.size(), 1);
    EXPECT_TRUE (lines[0].endsWith ("\r"));
    EXPECT_TRUE (matchesLine (lines[0].trimCharactersAtEnd ("\r"))) << lines[0];

    ASSERT_EQ (runHostProcess (dataRoot, output), 0) << output;
    lines = logLines (dataRoot);
    ASSERT_EQ (lines.size(), 2);
    EXPECT_TRUE (matchesLine (lines[1].trimCharactersAtEnd ("\r"))) << lines[1];
}

// Data folders the process may not write to leave the processor working and get nothing written.
enum class Unwritable
{
    readOnlyFolder, // exists, without write permission (stops only an unprivileged user)
    procFolder,     // exists and refuses new files even to the superuser
    cannotBeCreated // its parent is a regular file
};

std::string unwritableName (const ::testing::TestParamInfo<Unwritable>& caseInfo)
{
    const char* const names[] = { "ReadOnlyFolder", "ProcFolder", "CannotBeCreated" };
    return names[(int) caseInfo.param];
}

void PrintTo (Unwritable kind, std::ostream* os) { *os << unwritableName ({ kind, 0 }); }

class UnwritableDataFolder : public ::testing::TestWithParam<Unwritable>
{
};

TEST_P (UnwritableDataFolder, ProcessorWorksAndNothingIsWritten)
{
    const auto scratch = scratchFolder ("scratch");
    const Cleanup cleanup (scratch.getParentDirectory());
    ASSERT_TRUE (scratch.createDirectory());

    juce::File dataRoot;
    switch (GetParam())
    {
        case Unwritable::readOnlyFolder:
            if (geteuid() == 0)
                GTEST_SKIP() << "running as the superuser: permissions do not stop writes";
            dataRoot = scratch.getChildFile ("data");
            ASSERT_TRUE (dataRoot.createDirectory());
            ASSERT_TRUE (dataRoot.setReadOnly (true));
            break;
        case Unwritable::procFolder:
            dataRoot = juce::File ("/proc/self");
            break;
        case Unwritable::cannotBeCreated:
            ASSERT_TRUE (scratch.getChildFile ("blocker").replaceWithText ("a file where a folder would go"));
            dataRoot = scratch.getChildFile ("blocker").getChildFile ("Tesmar").getChildFile ("ORVEL");
            break;
    }

    juce::String output;
    EXPECT_EQ (runHostProcess (dataRoot, output), 0) << output;
    EXPECT_TRUE (output.contains ("[  PASSED  ] 1 test")) << output;
    EXPECT_FALSE (dataRoot.getChildFile ("boot.log").exists());
    juce::Array<juce::File> written;
    scratch.findChildFiles (written, juce::File::findFilesAndDirectories, true);
    EXPECT_EQ (written.size(), GetParam() == Unwritable::procFolder ? 0 : 1) << "only the prepared folder or file";
}

INSTANTIATE_TEST_SUITE_P (BootLogProcess, UnwritableDataFolder,
    ::testing::Values (Unwritable::readOnlyFolder, Unwritable::procFolder, Unwritable::cannotBeCreated),
    unwritableName);

// Runs only inside such a host process: two processors, one built on another thread, both working.
TEST (BootLogChild, TwoProcessorsThatWork)
{
    if (reso::test::childDataRoot == juce::File())
        GTEST_SKIP() << "runs as a child process of the BootLogProcess tests";
    ASSERT_EQ (reso::userDataFolder(), reso::test::childDataRoot);

    std::unique_ptr<reso::ResoProcessor> second;
    std::thread other ([&] { second = std::make_unique<reso::ResoProcessor>(); });
    auto first = reso::test::makePrepared (48000.0, 2);
    other.join();
    ASSERT_NE (second, nullptr);

    const auto input = reso::test::noise (8192, 4);
    const auto output = reso::test::render (*first, { input, input }, 512);
    for (const auto& channel : output)
        for (float v : channel)
            ASSERT_TRUE (std::isfinite (v));

    juce::MemoryBlock blob;
    first->getStateInformation (blob);
    second->setStateInformation (blob.getData(), (int) blob.getSize());
    EXPECT_EQ (second->getCurrentPresetLabel(), "INIT");
}

} // namespace
