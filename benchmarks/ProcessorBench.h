#pragma once

#include <cstddef>
#include <vector>

namespace reso::bench
{

// Heap taken by constructing and preparing one processor at 48 kHz.
struct InstanceMemory
{
    std::size_t allocations = 0;
    std::size_t bytesRequested = 0;
    long long bytesInUse = 0; // what stays allocated while the instance lives
};

struct InstanceMemoryReport
{
    InstanceMemory stereo, mono;
    std::vector<long long> stereoEngineBytes; // one prepared stereo engine per quality
};

InstanceMemoryReport measureInstanceMemory();

} // namespace reso::bench
