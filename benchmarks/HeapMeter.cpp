#include "HeapMeter.h"

#include <malloc.h>

// The operator new counting comes from the tests' allocation counter (linked into this program); the bytes
// in use come from the C heap.

namespace reso::bench
{
namespace
{
long long heapInUse() noexcept
{
    const auto info = mallinfo2();
    return (long long) (info.uordblks + info.hblkhd);
}
} // namespace

HeapMeter::HeapMeter() : startInUse (heapInUse()) {}

std::size_t HeapMeter::allocations() const noexcept { return scope.count(); }
std::size_t HeapMeter::bytesRequested() const noexcept { return scope.bytes(); }
long long HeapMeter::bytesInUse() const noexcept { return heapInUse() - startInUse; }
} // namespace reso::bench
