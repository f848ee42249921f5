#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace
{
thread_local bool counting = false;
thread_local std::size_t allocations = 0;
thread_local std::size_t allocatedBytes = 0;

void* allocate (std::size_t size, std::size_t alignment = 0)
{
    if (counting)
    {
        ++allocations;
        allocatedBytes += size;
    }
    if (size == 0)
        size = 1;
    void* p = nullptr;
    if (alignment > alignof (std::max_align_t))
    {
        if (posix_memalign (&p, alignment, size) != 0)
            p = nullptr;
    }
    else
    {
        p = std::malloc (size);
    }
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}
} // namespace

void* operator new (std::size_t size) { return allocate (size); }
void* operator new[] (std::size_t size) { return allocate (size); }
void* operator new (std::size_t size, std::align_val_t a) { return allocate (size, (std::size_t) a); }
void* operator new[] (std::size_t size, std::align_val_t a) { return allocate (size, (std::size_t) a); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return allocate (size);
    }
    catch (...)
    {
        return nullptr;
    }
}
void* operator new[] (std::size_t size, const std::nothrow_t& t) noexcept { return operator new (size, t); }
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }
void operator delete (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }

namespace reso::test
{
AllocationScope::AllocationScope() : startCount (allocations), startBytes (allocatedBytes), wasCounting (counting)
{
    counting = true;
}

AllocationScope::~AllocationScope() { counting = wasCounting; }

std::size_t AllocationScope::count() const noexcept { return allocations - startCount; }
std::size_t AllocationScope::bytes() const noexcept { return allocatedBytes - startBytes; }
} // namespace reso::test
