#pragma once

#include <juce_core/juce_core.h>

namespace reso::test
{

// A large text that names its number in its first and last lines and whose body depends on the number,
// so any mix or truncation of two such texts is told apart from a complete one.
inline juce::String numberedText (int number, int approximateBytes)
{
    juce::String line;
    line << "line of text " << number << " \xc5\x9f\r\n"; // a two-byte UTF-8 character and a CR LF ending

    juce::MemoryOutputStream out;
    out << "BEGIN " << number << "\n";

    for (int written = 0, i = 0; written < approximateBytes; ++i)
    {
        out << i << ' ' << line;
        written += (int) line.getNumBytesAsUTF8() + 8;
    }

    out << "END " << number << "\n";
    return out.toUTF8();
}

// The number of a complete text read from file (compared byte for byte with a new copy), or -1.
inline int completeTextNumber (const juce::File& file, int approximateBytes)
{
    juce::MemoryBlock bytes;

    if (! file.loadFileAsData (bytes))
        return -1;

    const auto text = bytes.toString();

    if (! text.startsWith ("BEGIN "))
        return -1;

    const int number = text.fromFirstOccurrenceOf ("BEGIN ", false, false).getIntValue();
    const auto expected = numberedText (number, approximateBytes);

    if (bytes.getSize() != expected.getNumBytesAsUTF8()
        || std::memcmp (bytes.getData(), expected.toRawUTF8(), bytes.getSize()) != 0)
        return -1;

    return number;
}

} // namespace reso::test
