#include "AudioFiles.h"

#include <filesystem>
#include <system_error>

namespace reso::render
{

namespace
{
std::filesystem::path toPath (const juce::File& file)
{
    return std::filesystem::path (file.getFullPathName().toStdString());
}

juce::String quoted (const juce::File& file) { return "\"" + file.getFullPathName() + "\""; }

bool isFloatFormat (const juce::AudioFormatReader& reader) { return reader.usesFloatingPointData; }
} // namespace

void registerFormats (juce::AudioFormatManager& manager)
{
    manager.registerFormat (new juce::WavAudioFormat(), true);
    manager.registerFormat (new juce::AiffAudioFormat(), false);
#if ORVEL_RENDER_FLAC
    manager.registerFormat (createFlacFormat().release(), false);
#endif
}

bool flacAvailable() noexcept { return ORVEL_RENDER_FLAC != 0; }

juce::String formatList (const juce::AudioFormatManager& manager)
{
    juce::StringArray names;
    for (auto* format : manager)
        names.add (format->getFormatName().upToFirstOccurrenceOf (" ", false, false).toUpperCase());

    if (names.size() < 2)
        return names.joinIntoString ("");
    return names.joinIntoString (", ", 0, names.size() - 1) + " or " + names[names.size() - 1];
}

juce::Result openInput (
    juce::AudioFormatManager& manager, const juce::File& input, std::unique_ptr<juce::AudioFormatReader>& reader)
{
    reader.reset();

    if (input.isDirectory())
        return juce::Result::fail ("INPUT " + quoted (input) + " is a folder, not an audio file");
    if (! input.existsAsFile())
        return juce::Result::fail ("cannot find INPUT " + quoted (input));

    auto stream = input.createInputStream();
    if (stream == nullptr)
        return juce::Result::fail ("cannot open INPUT " + quoted (input) + " for reading");

    for (auto* format : manager)
    {
        stream->setPosition (0);
        if (auto* r = format->createReaderFor (stream.get(), false))
        {
            stream.release(); // the reader owns it now
            reader.reset (r);
            break;
        }
    }

    if (reader == nullptr)
        return juce::Result::fail (
            "cannot read INPUT " + quoted (input) + ": not a " + formatList (manager) + " file, or a damaged one");

    const int channels = (int) reader->numChannels;
    if (channels < 1 || channels > 2)
    {
        const auto message =
            quoted (input) + " has " + juce::String (channels) + " channels: ORVEL processes mono or stereo";
        reader.reset();
        return juce::Result::fail (message);
    }

    const double rate = reader->sampleRate;
    if (! (rate >= minSampleRate && rate <= maxSampleRate))
    {
        const auto message = quoted (input) + " is at " + juce::String (rate, 0)
                             + " Hz: ORVEL renders sample rates from 22050 to 192000 Hz";
        reader.reset();
        return juce::Result::fail (message);
    }

    return juce::Result::ok();
}

juce::String OutputEncoding::describe() const
{
    const auto name = format != nullptr
                          ? format->getFormatName().upToFirstOccurrenceOf (" ", false, false).toUpperCase()
                          : juce::String ("?");
    return (bits == 32 ? juce::String ("32-bit float") : juce::String (bits) + "-bit") + " " + name;
}

juce::String describeInput (const juce::AudioFormatReader& reader)
{
    const auto name = reader.getFormatName().upToFirstOccurrenceOf (" ", false, false).toUpperCase();
    const auto depth = isFloatFormat (reader) ? juce::String ((int) reader.bitsPerSample) + "-bit float"
                                              : juce::String ((int) reader.bitsPerSample) + "-bit";
    return depth + " " + name;
}

juce::Result chooseOutputEncoding (juce::AudioFormatManager& manager, const juce::File& output,
    const juce::AudioFormatReader& input, BitDepth requested, OutputEncoding& result)
{
    result = {};
    result.format = manager.findFormatForFileExtension (output.getFileExtension());
    if (result.format == nullptr)
        return juce::Result::fail ("cannot write " + quoted (output) + ": its extension names no format this tool "
                                   + "writes (" + formatList (manager) + ": "
                                   + manager.getWildcardForAllFormats().replace (";", ", ") + ")");

    const auto depths = result.format->getPossibleBitDepths();
    const auto formatName = result.format->getFormatName().upToFirstOccurrenceOf (" ", false, false).toUpperCase();

    switch (requested)
    {
        case BitDepth::int16:
            result.bits = 16;
            break;
        case BitDepth::int24:
            result.bits = 24;
            break;
        case BitDepth::float32:
            result.bits = 32;
            break;
        case BitDepth::asInput:
        {
            const int inputBits = isFloatFormat (input) ? 32 : (int) input.bitsPerSample;
            result.bits = inputBits;
            if (! depths.contains (inputBits))
            {
                result.bits = inputBits > 24 ? 24 : 16;
                result.note = formatName + " stores " + juce::String (result.bits) + " bits here (the input has "
                              + juce::String (inputBits) + ")";
            }
            break;
        }
    }

    if (! depths.contains (result.bits))
        return juce::Result::fail (formatName + " cannot store "
                                   + (result.bits == 32 ? "32-bit float" : juce::String (result.bits) + "-bit")
                                   + " samples: write a .wav OUTPUT or choose --bits 16 or 24");

    return juce::Result::ok();
}

//==============================================================================
PendingFile::PendingFile (const juce::File& targetFile)
    : target (targetFile)
{
    const auto suffix = juce::String::toHexString (juce::Random::getSystemRandom().nextInt64());
    // hidden, next to the target (so the rename stays on one file system), with the target's extension
    temporary = target.getSiblingFile (
        "." + target.getFileNameWithoutExtension() + ".orvel-tmp-" + suffix + target.getFileExtension());
}

PendingFile::~PendingFile()
{
    if (! committed)
        discard();
}

juce::Result PendingFile::commit()
{
    std::error_code error;
    std::filesystem::rename (toPath (temporary), toPath (target), error);
    if (error)
    {
        discard();
        return juce::Result::fail ("cannot move the finished file to " + quoted (target) + ": " + error.message());
    }
    committed = true;
    return juce::Result::ok();
}

void PendingFile::discard()
{
    if (temporary.exists())
        temporary.deleteFile();
}

std::unique_ptr<juce::AudioFormatWriter> createWriter (
    const OutputEncoding& encoding, const juce::File& file, double sampleRate, int channels, juce::String& error)
{
    auto stream = std::make_unique<juce::FileOutputStream> (file);
    if (stream->failedToOpen())
    {
        error = "cannot create " + quoted (file) + ": " + stream->getStatus().getErrorMessage();
        return {};
    }

    const auto qualities = encoding.format->getQualityOptions();
    const int quality = qualities.isEmpty() ? 0 : juce::jmin (5, qualities.size() - 1);

    std::unique_ptr<juce::AudioFormatWriter> writer (encoding.format->createWriterFor (
        stream.get(), sampleRate, (unsigned int) channels, encoding.bits, {}, quality));

    if (writer == nullptr)
    {
        error = "cannot write " + encoding.describe() + " at " + juce::String (sampleRate, 0) + " Hz with "
                + juce::String (channels) + " channels";
        return {};
    }

    stream.release(); // the writer owns it now
    return writer;
}

bool isSameFile (const juce::File& a, const juce::File& b)
{
    if (a == b)
        return true;
    if (! a.exists() || ! b.exists())
        return false;

    std::error_code error;
    return std::filesystem::equivalent (toPath (a), toPath (b), error) && ! error;
}

} // namespace reso::render
