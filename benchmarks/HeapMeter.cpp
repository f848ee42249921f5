#include "HeapMeter.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace
{
thread_local bool counting = false;
thread_local std::size_t allocationCount = 0;
thread_local std::size_t requestedBytes = 0;

void* allocate (std::size_t size, std::size_t alignment = 0)
{
    if (counting)
    {
        ++allocationCount;
        requestedBytes += size;
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

long long heapInUse() noexcept
{
    const auto info = mallinfo2();
    return (long long) (info.uordblks + info.hblkhd);
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

namespace reso::bench
{
HeapMeter::HeapMeter()
    : startCount (allocationCount), startBytes (requestedBytes), startInUse (heapInUse()), wasCounting (counting)
{
    counting = true;
}

HeapMeter::~HeapMeter() { counting = wasCounting; }

std::size_t HeapMeter::allocations() const noexcept { return allocationCount - startCount; }
std::size_t HeapMeter::bytesRequested() const noexcept { return requestedBytes - startBytes; }
long long HeapMeter::bytesInUse() const noexcept { return heapInUse() - startInUse; }
} // namespace reso::bench
