#include "fuzz/ProcessorFuzzDriver.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

// Every seed of the processor fuzz corpus and every input the fuzzer once found failing, replayed through
// the fuzz target's own driver: a finding stays fixed.

namespace
{

// The inputs of a folder in name order (hidden files such as .gitkeep skipped).
std::vector<juce::File> inputsIn (const juce::File& folder)
{
    auto files = folder.findChildFiles (juce::File::findFiles, false, "*");
    std::sort (files.begin(), files.end());
    return { files.begin(), files.end() };
}

struct Folder
{
    const char* name;
    const char* path;
    bool mayBeEmpty;
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
        EXPECT_EQ (reso::fuzz::runProcessorSession (static_cast<const std::uint8_t*> (bytes.getData()), bytes.getSize()), "")
            << file.getFileName();
    }
}

INSTANTIATE_TEST_SUITE_P (Folders, ProcessorFuzzInputs,
                          ::testing::Values (Folder { "SeedCorpus", ORVEL_FUZZ_CORPUS_DIR "/processor", false },
                                             Folder { "PastFindings", ORVEL_FIXTURES_DIR "/fuzz/processor", true }),
                          [] (const ::testing::TestParamInfo<Folder>& param) { return std::string (param.param.name); });

} // namespace
