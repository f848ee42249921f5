#pragma once

#include "render/AudioFiles.h"
#include "support/ProcessorHelpers.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sys/wait.h>
#include <vector>

namespace reso::test
{

using Channels = std::vector<std::vector<float>>;

// Decoded audio with what the file said about itself.
struct Audio
{
    Channels samples;
    double sampleRate = 0.0;
    int bits = 0;
    bool isFloat = false;
    juce::String format;
};

// What one run of the built tool did.
struct ToolRun
{
    int exitCode = -1;
    juce::String out, err;
};

// A fixture with a fresh temporary folder, removed afterwards: the tool runs in its "work" folder, with HOME
// at the folder itself, where its captured output is kept.
class RenderToolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = makeTemporaryFolder();
        work = root.getChildFile ("work");
        ASSERT_TRUE (work.createDirectory().wasOk());
    }

    void TearDown() override { root.deleteRecursively(); }

    static juce::File tool() { return juce::File (ORVEL_RENDER_TOOL_PATH); }

    static juce::String shellQuoted (const juce::String& s) { return "'" + s.replace ("'", "'\\''") + "'"; }

    // Runs the tool in the work folder with the given arguments (file names relative to it).
    ToolRun run (const juce::StringArray& arguments) const { return runIn (work, root, arguments); }

    // Runs the tool in folder with HOME at home; its output is captured in files under home.
    static ToolRun runIn (const juce::File& folder, const juce::File& home, const juce::StringArray& arguments)
    {
        juce::String command = "cd " + shellQuoted (folder.getFullPathName()) + " && HOME="
                               + shellQuoted (home.getFullPathName()) + " " + shellQuoted (tool().getFullPathName());
        for (const auto& a : arguments)
            command << " " << shellQuoted (a);
        const auto outFile = home.getChildFile ("tool-out.txt"), errFile = home.getChildFile ("tool-err.txt");
        command << " > " << shellQuoted (outFile.getFullPathName()) << " 2> "
                << shellQuoted (errFile.getFullPathName());

        ToolRun result;
        const int status = std::system (command.toRawUTF8());
        result.exitCode = WIFEXITED (status) ? WEXITSTATUS (status) : -1;
        result.out = outFile.loadFileAsString();
        result.err = errFile.loadFileAsString();
        return result;
    }

    // A new, empty folder under the system's temporary folder.
    static juce::File makeTemporaryFolder()
    {
        auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getChildFile ("orvel-render-test-"
                                         + juce::String::toHexString (juce::Random::getSystemRandom().nextInt64()));
        folder.createDirectory();
        return folder;
    }

    juce::File file (const juce::String& name) const { return work.getChildFile (name); }

    // The names in the work folder, hidden ones included.
    juce::StringArray workFiles() const
    {
        juce::StringArray names;
        for (const auto& entry : juce::RangedDirectoryIterator (work, false, "*", juce::File::findFilesAndDirectories))
            names.add (entry.getFile().getFileName());
        names.sort (false);
        return names;
    }

    static juce::AudioFormatManager& formats()
    {
        static juce::AudioFormatManager manager;
        static const bool registered = []
        {
            reso::render::registerFormats (manager);
            return true;
        }();
        juce::ignoreUnused (registered);
        return manager;
    }

    // Writes samples in the format of the file's extension; bits 32 means float (WAV).
    static void writeAudio (const juce::File& target, const Channels& samples, double sampleRate, int bits)
    {
        auto* format = formats().findFormatForFileExtension (target.getFileExtension());
        ASSERT_NE (format, nullptr) << target.getFullPathName();
        target.deleteFile();
        auto stream = std::make_unique<juce::FileOutputStream> (target);
        std::unique_ptr<juce::AudioFormatWriter> writer (
            format->createWriterFor (stream.get(), sampleRate, (unsigned int) samples.size(), bits, {}, 0));
        ASSERT_NE (writer, nullptr);
        stream.release();

        std::vector<const float*> pointers;
        for (const auto& c : samples)
            pointers.push_back (c.data());
        ASSERT_TRUE (writer->writeFromFloatArrays (pointers.data(), (int) samples.size(), (int) samples[0].size()));
    }

    static Audio readAudio (const juce::File& source)
    {
        Audio audio;
        std::unique_ptr<juce::AudioFormatReader> reader (formats().createReaderFor (source));
        if (reader == nullptr)
            return audio;

        const int length = (int) reader->lengthInSamples;
        juce::AudioBuffer<float> buffer ((int) reader->numChannels, length);
        reader->read (&buffer, 0, length, 0, true, true);
        for (int c = 0; c < buffer.getNumChannels(); ++c)
            audio.samples.emplace_back (buffer.getReadPointer (c), buffer.getReadPointer (c) + length);
        audio.sampleRate = reader->sampleRate;
        audio.bits = (int) reader->bitsPerSample;
        audio.isFloat = reader->usesFloatingPointData;
        audio.format = reader->getFormatName();
        return audio;
    }

    static std::vector<float> noise (int length, unsigned seed, float amplitude = 0.2f)
    {
        return reso::test::noise (length, seed, amplitude);
    }

    juce::File root, work;
};

} // namespace reso::test
