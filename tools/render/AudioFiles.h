#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>

namespace reso::render
{

// The input side and the output side of a render: which files can be read, how an output is encoded, and
// the pending file that keeps a target untouched until the whole output has been written.

inline constexpr double minSampleRate = 22050.0;
inline constexpr double maxSampleRate = 192000.0;

// WAV and AIFF always; FLAC when the tool was built against the system libFLAC.
void registerFormats (juce::AudioFormatManager& manager);

// True when FLAC files can be read and written.
bool flacAvailable() noexcept;

// The FLAC format class (defined only in builds with FLAC).
std::unique_ptr<juce::AudioFormat> createFlacFormat();

// "WAV, AIFF or FLAC": the formats this build reads and writes.
juce::String formatList (const juce::AudioFormatManager& manager);

// Opens INPUT and checks what the renderer needs: a readable file in a known format, mono or stereo, at a
// sample rate from 22.05 to 192 kHz. On failure the reader stays null and the result says why.
juce::Result openInput (
    juce::AudioFormatManager& manager, const juce::File& input, std::unique_ptr<juce::AudioFormatReader>& reader);

enum class BitDepth
{
    asInput,
    int16,
    int24,
    float32
};

// How the output is written: the format picked by OUTPUT's extension and a bit depth (32 is float).
struct OutputEncoding
{
    juce::AudioFormat* format = nullptr; // owned by the format manager
    int bits = 24;
    juce::String note; // set when the input's depth had to change for this format

    juce::String describe() const;
};

// Picks the output format from OUTPUT's extension and the bit depth from the request or the input.
juce::Result chooseOutputEncoding (juce::AudioFormatManager& manager, const juce::File& output,
    const juce::AudioFormatReader& input, BitDepth requested, OutputEncoding& result);

// A description of an input such as "24-bit WAV".
juce::String describeInput (const juce::AudioFormatReader& reader);

// A file written next to its target under a hidden temporary name and renamed over the target only by
// commit(). Until then the target is untouched; an uncommitted temporary is deleted on destruction.
class PendingFile
{
public:
    explicit PendingFile (const juce::File& target);
    ~PendingFile();

    const juce::File& getTarget() const noexcept { return target; }
    const juce::File& getTemporary() const noexcept { return temporary; }

    // Atomically replaces the target with the temporary.
    juce::Result commit();

    // Deletes the temporary (also done by the destructor when not committed).
    void discard();

private:
    juce::File target, temporary;
    bool committed = false;

    JUCE_DECLARE_NON_COPYABLE (PendingFile)
};

// A writer for the encoding onto file (usually a pending file's temporary); null with an error on failure.
std::unique_ptr<juce::AudioFormatWriter> createWriter (
    const OutputEncoding& encoding, const juce::File& file, double sampleRate, int channels, juce::String& error);

// True when a and b name the same file (also through links); false when either does not exist.
bool isSameFile (const juce::File& a, const juce::File& b);

} // namespace reso::render
