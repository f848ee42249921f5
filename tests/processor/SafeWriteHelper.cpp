// A separate process for the safe write tests: it holds a lock on a file, or writes numbered texts in a loop,
// until it is killed. It reports progress line by line on stdout and never outlives a minute.
//   SafeWriteHelper lock <flock-ex|flock-sh|posix-write|posix-read|ofd-write> <file>
//   SafeWriteHelper write <file> <first number> <approximate bytes> [stall after bytes]
// With a stall size, no file can grow past it: the write that reaches it raises SIGXFSZ, whose handler
// says "stalled" and parks the process, half-way through writing, until it is killed.

#include "presets/SafeWrite.h"
#include "support/NumberedText.h"

#include <cstdio>
#include <cstring>

#include <csignal>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

namespace
{

constexpr int maxLifetimeSeconds = 60;

void say (const juce::String& line)
{
    std::fputs ((line + "\n").toRawUTF8(), stdout);
    std::fflush (stdout);
}

bool takeLock (const juce::String& kind, int fd)
{
    if (kind == "flock-ex" || kind == "flock-sh")
        return ::flock (fd, kind == "flock-ex" ? LOCK_EX : LOCK_SH) == 0;

    struct flock range;
    std::memset (&range, 0, sizeof (range));
    range.l_type = kind == "posix-read" ? F_RDLCK : F_WRLCK;
    range.l_whence = SEEK_SET;

    if (kind == "ofd-write")
        return ::fcntl (fd, F_OFD_SETLK, &range) == 0;

    return (kind == "posix-write" || kind == "posix-read") && ::fcntl (fd, F_SETLK, &range) == 0;
}

int holdLock (const juce::String& kind, const juce::String& path)
{
    const int fd = ::open (path.toRawUTF8(), O_RDWR);

    if (fd < 0 || ! takeLock (kind, fd))
    {
        say ("cannot lock");
        return 1;
    }

    say ("locked");
    ::sleep (maxLifetimeSeconds);
    return 0;
}

void parkOnFileSizeLimit (int)
{
    const char message[] = "stalled\n";
    [[maybe_unused]] const auto n = ::write (STDOUT_FILENO, message, sizeof (message) - 1);

    for (;;)
        ::pause();
}

void stallWritesAt (int bytes)
{
    struct sigaction action;
    std::memset (&action, 0, sizeof (action));
    action.sa_handler = parkOnFileSizeLimit;
    ::sigaction (SIGXFSZ, &action, nullptr);

    const struct rlimit limit { (rlim_t) bytes, RLIM_INFINITY };
    ::setrlimit (RLIMIT_FSIZE, &limit);
}

int writeForever (const juce::String& path, int firstNumber, int bytes, int stallBytes)
{
    if (stallBytes > 0)
        stallWritesAt (stallBytes);

    const juce::File target (path);
    const auto started = juce::Time::getMillisecondCounter();

    for (int number = firstNumber; juce::Time::getMillisecondCounter() - started < maxLifetimeSeconds * 1000;
         ++number)
    {
        const auto text = reso::test::numberedText (number, bytes);
        say ("start " + juce::String (number));
        const auto outcome = tesmar::detail::writeTextSafely (target, text);
        say ((outcome == tesmar::detail::WriteOutcome::written ? "written " : "not written ") + juce::String (number));
    }

    return 0;
}

} // namespace

int main (int argc, char** argv)
{
    const juce::String mode (argc > 1 ? argv[1] : "");

    if (mode == "lock" && argc == 4)
        return holdLock (juce::String (argv[2]), juce::String::fromUTF8 (argv[3]));

    if (mode == "write" && (argc == 5 || argc == 6))
        return writeForever (juce::String::fromUTF8 (argv[2]), juce::String (argv[3]).getIntValue(),
            juce::String (argv[4]).getIntValue(), argc == 6 ? juce::String (argv[5]).getIntValue() : 0);

    say ("usage: lock <kind> <file> | write <file> <first number> <bytes> [stall after bytes]");
    return 2;
}
