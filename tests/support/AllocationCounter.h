#pragma once

#include <cstddef>

namespace reso::test
{

// Counts heap allocations made by the current thread while a scope is alive. The test binary that links
// AllocationCounter.cpp replaces the global operator new and delete.
class AllocationScope
{
public:
    AllocationScope();
    ~AllocationScope();
    AllocationScope (const AllocationScope&) = delete;
    AllocationScope& operator= (const AllocationScope&) = delete;

    // Allocations since the scope began.
    std::size_t count() const noexcept;
    // Bytes requested since the scope began.
    std::size_t bytes() const noexcept;

private:
    std::size_t startCount, startBytes;
    bool wasCounting;
};

} // namespace reso::test
