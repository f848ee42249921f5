#pragma once

#include <juce_core/juce_core.h>

#include <ctime>

namespace reso
{

// The one "[Boot]" line a host process writes when it creates its first processor: product and engine
// version, the module's build date and time, and the local time of the start. It goes to "boot.log" in the
// user data folder (appended, CR LF, never truncated) and, on Windows, to the debugger output; in debug
// builds elsewhere it goes through the framework's debug output. Every failure is ignored.
struct BootLog
{
    static constexpr const char* engineVersion = "1.0.3";
    static constexpr const char* fileName = "boot.log";

    // Local time fields of one instant and its offset from UTC in seconds (east positive).
    struct LocalTime
    {
        int year = 1970, month = 1, day = 1, hours = 0, minutes = 0, seconds = 0, milliseconds = 0;
        int utcOffsetSeconds = 0;
    };

    // The local time of an instant given in milliseconds since the epoch.
    static LocalTime localTime (juce::int64 millisSinceEpoch);

    // "yyyy-mm-ddThh:mm:ss.mmm" followed by "Z" for a zero offset or "+hh:mm" / "-hh:mm".
    static juce::String timestamp (const LocalTime& time);

    // The whole line for a start at that local time, without a line break.
    static juce::String line (const LocalTime& startTime);

    // Appends the line and CR LF to folder / "boot.log", creating the folder first; false on any failure.
    static bool append (const juce::File& folder, const juce::String& line);

    // The step the processor runs in its constructor: the first call in the process writes the line to the
    // debug output and to userDataFolder(); later calls wait until that is done and do nothing.
    static void writeOncePerProcess();
};

} // namespace reso
