#include "support/AllocationCounter.h"
#include "support/ProcessorHelpers.h"

#include <gtest/gtest.h>

namespace
{

using namespace reso::test;

// Processing after prepare never touches the heap: not in any stereo mode, not during a quality switch,
// not while parameters change, whatever the host block size.
class NoAllocation : public ::testing::TestWithParam<int>
{
};

TEST_P (NoAllocation, WhileProcessing)
{
    const int channels = GetParam();
    auto processor = makePrepared (48000.0, channels, 4096);
    processor->openEditorCount = 1; // publishing too

    const auto input = noise (48000, 21);
    std::vector<std::vector<float>> signal ((size_t) channels, input);
    juce::MidiBuffer midi;
    const int blockSizes[] = { 64, 4096, 1000, 3, 2048 };

    std::size_t allocations = 0;
    int position = 0, blockIndex = 0, step = 0;
    while (position + 4096 <= (int) input.size())
    {
        // parameter changes between blocks, as a host would automate them
        switch (step++ % 8)
        {
            case 1: setPlain (*processor, "quality", (float) (step % 3)); break;
            case 3: setPlain (*processor, "stereo", (float) (step % 3)); break;
            case 5: setPlain (*processor, "depth", 0.2f + 0.1f * (float) (step % 5)); break;
            case 7: setPlain (*processor, "trim", (float) (step % 7) - 3.0f); break;
            default: break;
        }

        const int n = blockSizes[blockIndex++ % 5];
        std::vector<float*> pointers;
        for (auto& ch : signal)
            pointers.push_back (ch.data() + position);
        juce::AudioBuffer<float> buffer (pointers.data(), channels, n);

        AllocationScope scope;
        processor->processBlock (buffer, midi);
        if (step % 4 == 0)
            processor->processBlockBypassed (buffer, midi);
        allocations += scope.count();
        position += n;
    }
    EXPECT_EQ (allocations, 0u);
}

INSTANTIATE_TEST_SUITE_P (Channels, NoAllocation, ::testing::Values (1, 2));

TEST (AllocationCounter, SeesAnAllocation)
{
    AllocationScope scope;
    auto* p = new int (3);
    EXPECT_GE (scope.count(), 1u);
    delete p;
}

} // namespace
