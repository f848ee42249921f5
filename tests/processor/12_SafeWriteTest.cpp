#include "presets/SafeWrite.h"
#include "support/NumberedText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <functional>
#include <regex>
#include <thread>
#include <vector>

#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

namespace
{

using tesmar::detail::CancelFlag;
using tesmar::detail::WriteOutcome;
using tesmar::detail::writeTextSafely;
using tesmar::detail::writeTextWithRetries;

constexpr int retryIntervalMs = 140;

// A helper process (lock holder or looping writer) that is killed and reaped when it goes out of scope.
class HelperProcess
{
public:
    explicit HelperProcess (const juce::StringArray& arguments)
    {
        juce::StringArray command { ORVEL_SAFEWRITE_HELPER_PATH };
        command.addArray (arguments);
        started = process.start (command, juce::ChildProcess::wantStdOut);
    }

    ~HelperProcess() { kill(); }

    // Reads output lines until one equals wanted; false when the output ends first.
    bool waitFor (const juce::String& wanted)
    {
        for (;;)
        {
            juce::String line;
            char c = 0;

            while (process.readProcessOutput (&c, 1) == 1 && c != '\n')
                line += c;

            if (line == wanted)
                return true;

            if (c != '\n')
                return false;

            lines.add (line);
        }
    }

    // SIGKILL, then wait until the process is gone and its locks with it.
    void kill()
    {
        if (started && process.isRunning()) // isRunning reaps an exited child, so no stale pid is signalled
            process.kill();

        process.waitForProcessToFinish (10000);
        started = false;
    }

    bool started = false;
    juce::StringArray lines; // the lines passed over by waitFor

private:
    juce::ChildProcess process;
};

// Counts the write attempts in a folder that got as far as creating their temporary file, through inotify.
class AttemptCounter
{
public:
    explicit AttemptCounter (const juce::File& folder) : fd (::inotify_init1 (IN_NONBLOCK | IN_CLOEXEC))
    {
        watching = fd >= 0 && ::inotify_add_watch (fd, folder.getFullPathName().toRawUTF8(), IN_CREATE) >= 0;
    }

    ~AttemptCounter()
    {
        if (fd >= 0)
            ::close (fd);
    }

    int count()
    {
        alignas (inotify_event) char buffer[4096];
        ssize_t n;

        while ((n = ::read (fd, buffer, sizeof (buffer))) > 0)
        {
            for (const char* p = buffer; p < buffer + n;)
            {
                const auto* event = reinterpret_cast<const inotify_event*> (p);

                if (event->len > 0 && juce::String (event->name).matchesWildcard (".*.tmp*", false))
                    ++created;

                p += sizeof (inotify_event) + event->len;
            }
        }

        return created;
    }

    bool watching = false;

private:
    const int fd;
    int created = 0;
};

class SafeWriteTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                     .getNonexistentChildFile ("orvel-safewrite-" + juce::Uuid().toString(), "", false);
        ASSERT_TRUE (folder.createDirectory());
        target = folder.getChildFile ("MY PRESET.orvelpreset");
    }

    void TearDown() override { folder.deleteRecursively(); }

    // Hidden temporary siblings left anywhere under the test folder.
    int leftovers() const { return folder.findChildFiles (juce::File::findFiles, true, ".*.tmp*").size(); }

    // Runs the message loop until done() or a generous deadline.
    static void pumpUntil (const std::function<bool()>& done, int timeoutMs = 10000)
    {
        const auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

        while (! done() && juce::Time::getMillisecondCounter() < deadline)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
    }

    static void pumpFor (int ms)
    {
        pumpUntil ([] { return false; }, ms);
    }

    juce::File folder, target;
};

// Records every completion call: how many, the last outcome, and whether each came on the message thread.
struct Completion
{
    int calls = 0;
    WriteOutcome outcome = WriteOutcome::written;
    bool allOnMessageThread = true;

    tesmar::detail::WriteCallback callback()
    {
        return [this] (WriteOutcome o)
        {
            ++calls;
            outcome = o;
            allOnMessageThread = allOnMessageThread && juce::MessageManager::existsAndIsCurrentThread();
        };
    }
};

TEST_F (SafeWriteTest, WritesTheExactBytesOverALongerTarget)
{
    ASSERT_TRUE (target.replaceWithText (juce::String::repeatedString ("old text\n", 1000)));

    const char utf8[] = "first line\r\nsecond line\n\xc5\x9f\xc3\xbc\xe2\x82\xac end";
    ASSERT_EQ (writeTextSafely (target, juce::String::fromUTF8 (utf8)), WriteOutcome::written);

    juce::MemoryBlock bytes;
    ASSERT_TRUE (target.loadFileAsData (bytes));
    EXPECT_EQ (bytes, juce::MemoryBlock (utf8, sizeof (utf8) - 1)) << "UTF-8, no byte-order mark, CR LF kept";
    EXPECT_EQ (leftovers(), 0);

    EXPECT_EQ (writeTextSafely (target, {}), WriteOutcome::written);
    EXPECT_EQ (target.getSize(), 0);
}

TEST_F (SafeWriteTest, TemporaryFilesAreUniqueHiddenSiblings)
{
    const auto a = tesmar::detail::makeTemporarySibling (target);
    const auto b = tesmar::detail::makeTemporarySibling (target);

    EXPECT_NE (a, b);

    for (const auto& t : { a, b })
    {
        EXPECT_EQ (t.getParentDirectory(), folder);
        EXPECT_TRUE (std::regex_match (t.getFileName().toStdString(),
            std::regex (R"(\.MY PRESET\.orvelpreset\.tmp[0-9a-f]{8})")))
            << t.getFileName();
    }
}

//==============================================================================
struct FailureCase
{
    const char* name;
    std::function<juce::File (const juce::File& folder)> makeTarget;
};

class SafeWriteFailure : public SafeWriteTest, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P (SafeWriteFailure, FailsAndLeavesNoTemporaryFile)
{
    const auto badTarget = GetParam().makeTarget (folder);
    const auto before = folder.findChildFiles (juce::File::findFilesAndDirectories, true);

    EXPECT_EQ (writeTextSafely (badTarget, "text"), WriteOutcome::failed);
    EXPECT_EQ (leftovers(), 0);
    EXPECT_EQ (folder.findChildFiles (juce::File::findFilesAndDirectories, true), before) << "nothing else changed";
}

INSTANTIATE_TEST_SUITE_P (SafeWrite, SafeWriteFailure,
    ::testing::Values (FailureCase { "EmptyPath", [] (const juce::File&) { return juce::File(); } },
        FailureCase { "FolderUnderARegularFile",
            [] (const juce::File& folder)
            {
                const auto plain = folder.getChildFile ("plain");
                plain.replaceWithText ("a file, not a folder");
                return plain.getChildFile ("sub").getChildFile ("x.orvelpreset");
            } },
        FailureCase { "TargetIsAFolder",
            [] (const juce::File& folder)
            {
                const auto dir = folder.getChildFile ("taken.orvelpreset");
                dir.createDirectory();
                return dir;
            } }),
    [] (const auto& testInfo) { return std::string (testInfo.param.name); });

// A write the system cuts short (here files may not grow past 4 KiB) fails, keeps the old target and removes
// its temporary file.
TEST_F (SafeWriteTest, AWriteErrorFailsAndKeepsTheOldTarget)
{
    ASSERT_TRUE (target.replaceWithText ("old"));

    struct rlimit saved;
    ASSERT_EQ (::getrlimit (RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal (SIGXFSZ, SIG_IGN);
    const struct rlimit small { 4096, saved.rlim_max };
    const bool limited = ::setrlimit (RLIMIT_FSIZE, &small) == 0;

    const auto outcome = writeTextSafely (target, juce::String::repeatedString ("x", 65536));

    ::setrlimit (RLIMIT_FSIZE, &saved);
    std::signal (SIGXFSZ, previousHandler);

    ASSERT_TRUE (limited);
    EXPECT_EQ (outcome, WriteOutcome::failed);
    EXPECT_EQ (target.loadFileAsString(), "old");
    EXPECT_EQ (leftovers(), 0);
}

//==============================================================================
// Every kind of advisory lock another process can hold: flock (exclusive, shared) and fcntl record locks
// (classic write and read locks, open-file-description write lock).
class SafeWriteLocked : public SafeWriteTest, public ::testing::WithParamInterface<const char*>
{
};

TEST_P (SafeWriteLocked, BusyWhileAnotherProcessHoldsALockThenWrittenAfterRelease)
{
    ASSERT_TRUE (target.replaceWithText ("old"));
    HelperProcess holder ({ "lock", GetParam(), target.getFullPathName() });
    ASSERT_TRUE (holder.waitFor ("locked")) << holder.lines.joinIntoString ("\n");

    EXPECT_EQ (writeTextSafely (target, "new"), WriteOutcome::busy);
    EXPECT_EQ (writeTextSafely (target, "new"), WriteOutcome::busy) << "the first look left the lock in place";
    EXPECT_EQ (target.loadFileAsString(), "old");
    EXPECT_EQ (leftovers(), 0);

    holder.kill();
    EXPECT_EQ (writeTextSafely (target, "new"), WriteOutcome::written);
    EXPECT_EQ (target.loadFileAsString(), "new");
    EXPECT_EQ (leftovers(), 0);
}

INSTANTIATE_TEST_SUITE_P (SafeWrite, SafeWriteLocked,
    ::testing::Values ("flock-ex", "flock-sh", "posix-write", "posix-read", "ofd-write"), [] (const auto& testInfo)
    {
        auto name = std::string (testInfo.param);
        std::replace (name.begin(), name.end(), '-', '_');
        return name;
    });

//==============================================================================
TEST_F (SafeWriteTest, ThreeAttemptsEndBusyWithOneCallbackWhileTheLockStays)
{
    ASSERT_TRUE (target.replaceWithText ("old"));
    HelperProcess holder ({ "lock", "flock-ex", target.getFullPathName() });
    ASSERT_TRUE (holder.waitFor ("locked"));

    AttemptCounter attempts (folder);
    ASSERT_TRUE (attempts.watching);
    Completion done;
    writeTextWithRetries (target, "new", done.callback(), nullptr, 3, retryIntervalMs);
    EXPECT_EQ (done.calls, 0) << "the busy first attempt hands over to the retries";
    EXPECT_EQ (attempts.count(), 1);

    pumpUntil ([&] { return done.calls > 0; });
    pumpFor (3 * retryIntervalMs);

    EXPECT_EQ (done.calls, 1);
    EXPECT_EQ (done.outcome, WriteOutcome::busy);
    EXPECT_TRUE (done.allOnMessageThread);
    EXPECT_EQ (attempts.count(), 3) << "one at once, two retries";
    EXPECT_EQ (target.loadFileAsString(), "old");
    EXPECT_EQ (leftovers(), 0);
}

// The lock goes away after the busy first attempt: the next retry writes, unless the flag was set first.
class SafeWriteRetryAfterRelease : public SafeWriteTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P (SafeWriteRetryAfterRelease, RetryWritesUnlessCancelled)
{
    const bool cancelled = GetParam();
    ASSERT_TRUE (target.replaceWithText ("old"));
    HelperProcess holder ({ "lock", "posix-write", target.getFullPathName() });
    ASSERT_TRUE (holder.waitFor ("locked"));

    AttemptCounter attempts (folder);
    ASSERT_TRUE (attempts.watching);
    Completion done;
    const auto cancel = std::make_shared<std::atomic<bool>> (false);
    writeTextWithRetries (target, "new", done.callback(), cancel, 3, retryIntervalMs);
    ASSERT_EQ (done.calls, 0);

    holder.kill();
    cancel->store (cancelled);
    pumpUntil ([&] { return done.calls > 0; });
    pumpFor (3 * retryIntervalMs);

    EXPECT_EQ (done.calls, 1);
    EXPECT_EQ (done.outcome, cancelled ? WriteOutcome::failed : WriteOutcome::written);
    EXPECT_TRUE (done.allOnMessageThread);
    EXPECT_EQ (target.loadFileAsString(), cancelled ? "old" : "new");
    EXPECT_EQ (attempts.count(), cancelled ? 1 : 2) << "a cancelled write makes no further attempt";
    EXPECT_EQ (leftovers(), 0);
}

INSTANTIATE_TEST_SUITE_P (SafeWrite, SafeWriteRetryAfterRelease, ::testing::Bool(),
    [] (const auto& testInfo) { return std::string (testInfo.param ? "Cancelled" : "NotCancelled"); });

TEST_F (SafeWriteTest, CancelledBeforeTheFirstAttemptWritesNothing)
{
    Completion done;
    writeTextWithRetries (target, "new", done.callback(), std::make_shared<std::atomic<bool>> (true), 3, 10);

    EXPECT_EQ (done.calls, 1);
    EXPECT_EQ (done.outcome, WriteOutcome::failed);
    EXPECT_FALSE (target.exists());
}

TEST_F (SafeWriteTest, NoAttemptsReportBusyAtOnce)
{
    for (const int attempts : { 0, -1 })
    {
        Completion done;
        tesmar::detail::scheduleTextWriteRetries (target, "new", done.callback(), nullptr, attempts, 10);
        EXPECT_EQ (done.calls, 1);
        EXPECT_EQ (done.outcome, WriteOutcome::busy);
    }

    pumpFor (50);
    EXPECT_FALSE (target.exists());
}

TEST_F (SafeWriteTest, RetriesScheduledFromAnotherThreadRunOnTheMessageThread)
{
    Completion done;
    std::thread other ([&] { tesmar::detail::scheduleTextWriteRetries (target, "new", done.callback(), nullptr, 2, 10); });
    other.join();
    EXPECT_EQ (done.calls, 0);

    pumpUntil ([&] { return done.calls > 0; });
    pumpFor (50);

    EXPECT_EQ (done.calls, 1);
    EXPECT_EQ (done.outcome, WriteOutcome::written);
    EXPECT_TRUE (done.allOnMessageThread);
    EXPECT_EQ (target.loadFileAsString(), "new");
}

//==============================================================================
TEST_F (SafeWriteTest, TwoWritesAtOnceLeaveOneCompleteText)
{
    constexpr int bytes = 1 << 20;

    for (int round = 0; round < 4; ++round)
    {
        const int first = 2 * round + 1;
        const juce::String texts[] = { reso::test::numberedText (first, bytes),
            reso::test::numberedText (first + 1, bytes) };
        WriteOutcome outcomes[2] {};
        std::atomic<int> ready { 0 };

        // The exclusive create of each temporary file means two writes sharing a name could not both succeed.
        std::vector<std::thread> writers;

        for (int i = 0; i < 2; ++i)
            writers.emplace_back ([&, i]
            {
                ++ready;

                while (ready.load() < 2)
                    std::this_thread::yield();

                outcomes[i] = writeTextSafely (target, texts[i]);
            });

        for (auto& t : writers)
            t.join();

        EXPECT_EQ (outcomes[0], WriteOutcome::written);
        EXPECT_EQ (outcomes[1], WriteOutcome::written);
        const int number = reso::test::completeTextNumber (target, bytes);
        EXPECT_TRUE (number == first || number == first + 1) << "round " << round << ": " << number;
        EXPECT_EQ (leftovers(), 0);
    }
}

// A writer process parked half-way through writing its temporary file, then killed: the target is still
// the old text, complete.
TEST_F (SafeWriteTest, AWriterKilledInTheMiddleOfAWriteLeavesTheOldTarget)
{
    constexpr int bytes = 1 << 20;
    ASSERT_EQ (writeTextSafely (target, reso::test::numberedText (1, bytes)), WriteOutcome::written);

    HelperProcess writer ({ "write", target.getFullPathName(), "2", juce::String (bytes), juce::String (bytes / 2) });
    ASSERT_TRUE (writer.waitFor ("stalled")) << writer.lines.joinIntoString ("\n");

    const auto partial = folder.findChildFiles (juce::File::findFiles, false, ".*.tmp*");
    ASSERT_EQ (partial.size(), 1);
    EXPECT_EQ (partial[0].getSize(), bytes / 2) << "the writer stopped in the middle of the new text";

    writer.kill();
    EXPECT_EQ (reso::test::completeTextNumber (target, bytes), 1);
}

// Writers killed wherever they happen to be: the target is always one complete text, at least as new as the
// last write its writer saw succeed.
TEST_F (SafeWriteTest, AWriterKilledAtAnyMomentLeavesTheLatestCompleteTarget)
{
    constexpr int bytes = 4 << 20;
    ASSERT_EQ (writeTextSafely (target, reso::test::numberedText (0, bytes)), WriteOutcome::written);

    for (int round = 0; round < 3; ++round)
    {
        const int first = 1000 * (round + 1);
        HelperProcess writer ({ "write", target.getFullPathName(), juce::String (first), juce::String (bytes) });
        ASSERT_TRUE (writer.waitFor ("start " + juce::String (first + 1))) << writer.lines.joinIntoString ("\n");
        writer.kill();

        EXPECT_EQ (writer.lines.joinIntoString ("|"), "start " + juce::String (first) + "|written " + juce::String (first));
        EXPECT_GE (reso::test::completeTextNumber (target, bytes), first) << "round " << round;
    }
}

} // namespace
