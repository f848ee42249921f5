#include "fuzz/DocumentFuzzDrivers.h"
#include "fuzz/ProcessorFuzzDriver.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

// Every seed of each fuzz corpus and every input a fuzzer once found failing, replayed through the fuzz
// target's own driver: a finding stays fixed.

namespace
{

// The inputs of a folder in name order (hidden files such as .gitkeep skipped).
std::vector<juce::File> inputsIn (const juce::File& folder)
{
    auto files = folder.findChildFiles (juce::File::findFiles, false, "*");
    std::sort (files.begin(), files.end());
    return { files.begin(), files.end() };
}

using Driver = std::string (*) (const std::uint8_t*, std::size_t);

struct Folder
{
    const char* name;
    const char* path;
    bool mayBeEmpty;
    Driver driver = &reso::fuzz::runProcessorSession;
};

void PrintTo (const Folder& f, std::ostream* os) { *os << f.path; }

class ProcessorFuzzInputs : public ::testing::TestWithParam<Folder>
{
};

TEST_P (ProcessorFuzzInputs, PassTheSessionChecks)
{
    const auto files = inputsIn (juce::File (GetParam().path));
    EXPECT_TRUE (GetParam().mayBeEmpty || ! files.empty()) << "no inputs in " << GetParam().path;
    for (const auto& file : files)
    {
        juce::MemoryBlock bytes;
        ASSERT_TRUE (file.loadFileAsData (bytes));
        EXPECT_EQ (GetParam().driver (static_cast<const std::uint8_t*> (bytes.getData()), bytes.getSize()), "")
            << file.getFileName();
    }
}

INSTANTIATE_TEST_SUITE_P (Folders, ProcessorFuzzInputs,
                          ::testing::Values (Folder { "SeedCorpus", ORVEL_FUZZ_CORPUS_DIR "/processor", false },
                                             Folder { "PastFindings", ORVEL_FIXTURES_DIR "/fuzz/processor", true },
                                             Folder { "PresetSeeds", ORVEL_FUZZ_CORPUS_DIR "/preset", false, &reso::fuzz::checkPresetText },
                                             Folder { "PresetFindings", ORVEL_FIXTURES_DIR "/fuzz/preset", true, &reso::fuzz::checkPresetText },
                                             Folder { "StateSeeds", ORVEL_FUZZ_CORPUS_DIR "/state", false, &reso::fuzz::checkStateBlob },
                                             Folder { "StateFindings", ORVEL_FIXTURES_DIR "/fuzz/state", true, &reso::fuzz::checkStateBlob },
                                             Folder { "AbSeeds", ORVEL_FUZZ_CORPUS_DIR "/ab", false, &reso::fuzz::checkAbString },
                                             Folder { "AbFindings", ORVEL_FIXTURES_DIR "/fuzz/ab", true, &reso::fuzz::checkAbString }),
                          [] (const ::testing::TestParamInfo<Folder>& param) { return std::string (param.param.name); });

} // namespace
