#pragma once

#include "support/AllocationCounter.h"

#include <cstddef>

namespace reso::bench
{

// Measures the heap use of the current thread while it is alive: operator new calls and the bytes they
// requested (the program replaces the global operator new), and the change in the C heap's bytes in use,
// which also covers what the framework takes with malloc and what was freed again.
class HeapMeter
{
public:
    HeapMeter();
    HeapMeter (const HeapMeter&) = delete;
    HeapMeter& operator= (const HeapMeter&) = delete;

    // operator new calls since the meter began.
    std::size_t allocations() const noexcept;
    // Bytes those calls requested, freed or not.
    std::size_t bytesRequested() const noexcept;
    // Bytes in use in the C heap now minus at the start: what stays allocated.
    long long bytesInUse() const noexcept;

private:
    reso::test::AllocationScope scope;
    long long startInUse;
};

} // namespace reso::bench
