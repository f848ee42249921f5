#include "BootLog.h"

#include "UserData.h"

#include <cstdlib>
#include <mutex>

#ifndef ORVEL_PRODUCT_VERSION
#error "ORVEL_PRODUCT_VERSION must be defined by the build"
#endif

namespace reso
{

namespace
{
// Days since 1970-01-01 of a proleptic Gregorian date.
juce::int64 daysFromCivil (juce::int64 year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const juce::int64 era = (year >= 0 ? year : year - 399) / 400;
    const juce::int64 yearOfEra = year - era * 400;
    const juce::int64 dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const juce::int64 dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

juce::String twoDigits (int value) { return juce::String (value).paddedLeft ('0', 2); }
} // namespace

BootLog::LocalTime BootLog::localTime (juce::int64 millisSinceEpoch)
{
    auto seconds = millisSinceEpoch / 1000;
    auto millis = (int) (millisSinceEpoch % 1000);
    if (millis < 0)
    {
        millis += 1000;
        --seconds;
    }

    const auto t = (std::time_t) seconds;
    std::tm local {};
#if JUCE_WINDOWS
    localtime_s (&local, &t);
#else
    localtime_r (&t, &local);
#endif

    LocalTime result;
    result.year = local.tm_year + 1900;
    result.month = local.tm_mon + 1;
    result.day = local.tm_mday;
    result.hours = local.tm_hour;
    result.minutes = local.tm_min;
    result.seconds = local.tm_sec;
    result.milliseconds = millis;

    // the local fields read as if they were UTC, minus the instant itself
    const auto localAsUtc = daysFromCivil (result.year, result.month, result.day) * 86400 + result.hours * 3600
                            + result.minutes * 60 + result.seconds;
    result.utcOffsetSeconds = (int) (localAsUtc - seconds);
    return result;
}

juce::String BootLog::timestamp (const LocalTime& time)
{
    auto text = juce::String (time.year).paddedLeft ('0', 4) + "-" + twoDigits (time.month) + "-"
                + twoDigits (time.day) + "T" + twoDigits (time.hours) + ":" + twoDigits (time.minutes) + ":"
                + twoDigits (time.seconds) + "." + juce::String (time.milliseconds).paddedLeft ('0', 3);

    if (time.utcOffsetSeconds == 0)
        return text + "Z";

    const int offsetMinutes = std::abs (time.utcOffsetSeconds) / 60;
    return text + (time.utcOffsetSeconds < 0 ? "-" : "+") + twoDigits (offsetMinutes / 60) + ":"
           + twoDigits (offsetMinutes % 60);
}

juce::String BootLog::line (const LocalTime& startTime)
{
    return juce::String ("[Boot] Tesmar ORVEL ") + ORVEL_PRODUCT_VERSION + " engine " + engineVersion
           + " vst3 build " + __DATE__ + " " + __TIME__ + " at " + timestamp (startTime);
}

bool BootLog::append (const juce::File& folder, const juce::String& text)
{
    if (! folder.createDirectory().wasOk())
        return false;

    juce::FileOutputStream out (folder.getChildFile (fileName));
    if (out.failedToOpen())
        return false;

    out.writeText (text + "\r\n", false, false, nullptr);
    out.flush();
    return out.getStatus().wasOk();
}

void BootLog::writeOncePerProcess()
{
    static std::once_flag once;
    std::call_once (once, [] {
        const auto text = line (localTime (juce::Time::currentTimeMillis()));
#if JUCE_WINDOWS
        juce::Logger::outputDebugString (text);
#else
        // no system debugger channel here, and standard error belongs to the host
        DBG (text);
#endif
        append (userDataFolder(), text);
    });
}

} // namespace reso
