#include "RenderToolHarness.h"

#include <sys/stat.h>
#include <unistd.h>

namespace
{

using namespace reso::test;

enum class Input
{
    stereoWav,
    missing,
    folder,
    notAudio,
    threeChannels,
    rate16k,
    rate384k
};

struct ErrorCase
{
    const char* name;
    Input input;
    std::vector<const char*> arguments;
    std::vector<const char*> messages; // each must appear on standard error
    int exitCode;
};

void PrintTo (const ErrorCase& c, std::ostream* os) { *os << c.name; }

class BadInput : public RenderToolTest, public ::testing::WithParamInterface<ErrorCase>
{
protected:
    void makeInput (Input kind)
    {
        const auto in = file ("in.wav");
        switch (kind)
        {
            case Input::stereoWav:
                writeAudio (in, { noise (4800, 1), noise (4800, 2) }, 48000.0, 24);
                break;
            case Input::missing:
                break;
            case Input::folder:
                ASSERT_TRUE (in.createDirectory().wasOk());
                break;
            case Input::notAudio:
                ASSERT_TRUE (in.replaceWithText ("these are not samples"));
                break;
            case Input::threeChannels:
                writeAudio (in, { noise (4800, 1), noise (4800, 2), noise (4800, 3) }, 48000.0, 24);
                break;
            case Input::rate16k:
                writeAudio (in, { noise (1600, 1) }, 16000.0, 16);
                break;
            case Input::rate384k:
                writeAudio (in, { noise (4800, 1) }, 384000.0, 16);
                break;
        }
    }
};

// Every refusal names its reason, exits non-zero and leaves nothing behind: no output, no temporary file.
TEST_P (BadInput, IsRefusedWithItsMessageAndWritesNothing)
{
    const auto& c = GetParam();
    makeInput (c.input);
    const auto before = workFiles();
    const auto inputBytes = file ("in.wav").existsAsFile() ? file ("in.wav").getSize() : 0;

    juce::StringArray arguments;
    for (auto* a : c.arguments)
        arguments.add (a);
    const auto result = run (arguments);

    EXPECT_EQ (result.exitCode, c.exitCode) << result.err;
    for (auto* message : c.messages)
        EXPECT_TRUE (result.err.contains (message)) << "missing \"" << message << "\" in: " << result.err;
    EXPECT_TRUE (result.out.isEmpty()) << result.out;
    EXPECT_EQ (workFiles(), before) << "left behind: " << workFiles().joinIntoString (", ");
    if (file ("in.wav").existsAsFile())
    {
        EXPECT_EQ (file ("in.wav").getSize(), inputBytes);
    }
}

using V = std::vector<const char*>;

INSTANTIATE_TEST_SUITE_P (Cases, BadInput,
    ::testing::Values (
        ErrorCase{ "MissingInput", Input::missing, V{ "in.wav", "out.wav" }, V{ "cannot find INPUT" }, 1 },
        ErrorCase{ "InputIsAFolder", Input::folder, V{ "in.wav", "out.wav" }, V{ "is a folder" }, 1 },
        ErrorCase{
            "NotAnAudioFile", Input::notAudio, V{ "in.wav", "out.wav" }, V{ "cannot read INPUT", "not a WAV" }, 1 },
        ErrorCase{
            "ThreeChannels", Input::threeChannels, V{ "in.wav", "out.wav" }, V{ "ORVEL processes mono or stereo" }, 1 },
        ErrorCase{ "RateTooLow", Input::rate16k, V{ "in.wav", "out.wav" }, V{ "16000 Hz", "22050 to 192000 Hz" }, 1 },
        ErrorCase{
            "RateTooHigh", Input::rate384k, V{ "in.wav", "out.wav" }, V{ "384000 Hz", "22050 to 192000 Hz" }, 1 },
        ErrorCase{ "UnknownParameter", Input::stereoWav, V{ "in.wav", "out.wav", "--set", "depht=50%" },
            V{ "unknown parameter \"depht\"", "did you mean depth", "valid IDs: depth, sharpness", "low_protect" }, 2 },
        ErrorCase{ "FloatWithoutDigits", Input::stereoWav, V{ "in.wav", "out.wav", "--set", "depth=deep" },
            V{ "depth: cannot read \"deep\"" }, 2 },
        ErrorCase{ "WordThatIsNotTheParametersOwn", Input::stereoWav,
            V{ "in.wav", "out.wav", "--set", "low_protect=auto" }, V{ "low_protect: cannot read \"auto\"" }, 2 },
        ErrorCase{ "UnknownChoice", Input::stereoWav, V{ "in.wav", "out.wav", "--set", "mode=MEDIUM" },
            V{ "mode: \"MEDIUM\" is not one of SOFT, HARD" }, 2 },
        ErrorCase{ "SwitchNotOnOrOff", Input::stereoWav, V{ "in.wav", "out.wav", "--set", "bypass=maybe" },
            V{ "bypass: \"maybe\" is not on or off" }, 2 },
        ErrorCase{ "SettingWithoutValue", Input::stereoWav, V{ "in.wav", "out.wav", "--set", "depth" },
            V{ "--set needs ID=VALUE" }, 2 },
        ErrorCase{ "UnknownPreset", Input::stereoWav, V{ "in.wav", "out.wav", "--preset", "Airy Tp" },
            V{ "unknown preset \"Airy Tp\"", "VOCALS/AIRY TOP" }, 2 },
        ErrorCase{ "ForeignPresetFile", Input::stereoWav, V{ "in.wav", "out.wav", "--preset", "in.wav" },
            V{ "is not a ORVEL preset" }, 2 },
        ErrorCase{
            "OutputIsInput", Input::stereoWav, V{ "in.wav", "./in.wav" }, V{ "same file as INPUT", "--force" }, 2 },
        ErrorCase{ "ReportOverInput", Input::stereoWav, V{ "in.wav", "out.wav", "--report", "in.wav" },
            V{ "would overwrite INPUT" }, 2 },
        ErrorCase{ "FloatIntoAiff", Input::stereoWav, V{ "in.wav", "out.aiff", "--bits", "32f" },
            V{ "AIFF cannot store 32-bit float" }, 2 },
        ErrorCase{ "UnknownOutputFormat", Input::stereoWav, V{ "in.wav", "out.mp3" }, V{ "names no format" }, 2 },
        ErrorCase{ "OutputFolderMissing", Input::stereoWav, V{ "in.wav", "no/such/folder/out.wav" },
            V{ "does not exist" }, 1 },
        ErrorCase{ "UnknownOption", Input::stereoWav, V{ "in.wav", "out.wav", "--depth", "50" },
            V{ "unknown option \"--depth\"" }, 2 },
        ErrorCase{ "OneFileName", Input::stereoWav, V{ "in.wav" }, V{ "expected INPUT and OUTPUT" }, 2 }),
    [] (const auto& test) { return std::string (test.param.name); });

// A link to INPUT is INPUT too.
TEST_F (RenderToolTest, OutputLinkedToInputIsRefused)
{
    writeAudio (file ("in.wav"), { noise (4800, 1) }, 48000.0, 24);
    ASSERT_TRUE (file ("in.wav").createSymbolicLink (file ("link.wav"), false));
    const auto bytes = file ("in.wav").loadFileAsString();

    const auto result = run ({ "in.wav", "link.wav" });
    EXPECT_EQ (result.exitCode, 2);
    EXPECT_TRUE (result.err.contains ("same file as INPUT")) << result.err;
    EXPECT_EQ (file ("in.wav").loadFileAsString(), bytes);
}

TEST_F (RenderToolTest, UnreadableInputIsRefused)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "file permissions do not stop root";

    writeAudio (file ("in.wav"), { noise (4800, 1) }, 48000.0, 24);
    ASSERT_TRUE (file ("in.wav").setReadOnly (true));
    ASSERT_EQ (::chmod (file ("in.wav").getFullPathName().toRawUTF8(), 0), 0);

    const auto result = run ({ "in.wav", "out.wav" });
    EXPECT_EQ (result.exitCode, 1);
    EXPECT_TRUE (result.err.contains ("cannot open INPUT")) << result.err;
    EXPECT_FALSE (file ("out.wav").exists());
}

// A failed run never touches an OUTPUT that is already there.
TEST_F (RenderToolTest, ExistingOutputSurvivesAFailure)
{
    writeAudio (file ("in.wav"), { noise (4800, 1) }, 48000.0, 24);
    ASSERT_TRUE (file ("out.wav").replaceWithText ("an earlier render"));

    const auto result = run ({ "in.wav", "out.wav", "--set", "mode=LOUD" });
    EXPECT_EQ (result.exitCode, 2);
    EXPECT_EQ (file ("out.wav").loadFileAsString(), "an earlier render");
}

// With --force INPUT is replaced, but only by the finished render, and no temporary file stays behind.
TEST_F (RenderToolTest, ForceReplacesInputWithTheFinishedRender)
{
    const Channels input{ noise (24000, 3), noise (24000, 4) };
    writeAudio (file ("in.wav"), input, 48000.0, 32);

    const auto result = run ({ "in.wav", "in.wav", "--force", "--set", "depth=0", "--set", "trim=-6", "-q" });
    ASSERT_EQ (result.exitCode, 0) << result.err;
    EXPECT_EQ (workFiles(), juce::StringArray{ "in.wav" });

    const auto replaced = readAudio (file ("in.wav"));
    ASSERT_EQ (replaced.samples.size(), 2u);
    ASSERT_EQ (replaced.samples[1].size(), input[1].size());
    EXPECT_NEAR (replaced.samples[1][12345], input[1][12345] * 0.501187f, 1.0e-4f);
}

} // namespace
