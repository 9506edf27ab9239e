#include "core/base/largebuffer.h"

#include <algorithm>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>

namespace korvane {

#endif

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

} // namespace

void adviseHugePages(void* data, std::size_t size)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only whole huge pages inside the range can be advised.
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t last = (start + size) & ~(kHugePage - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

LargeBuffer::~LargeBuffer()
{
    std::free(bytes);
}

bool LargeBuffer::allocate(std::size_t size)
{
    std::free(bytes);
    bytes = nullptr;
    length = 0;
    const std::size_t rounded = (std::max<std::size_t>(size, 1) + kHugePage - 1) & ~(kHugePage - 1);
    if (rounded < size)
        return false;
    bytes = static_cast<std::uint8_t*>(std::aligned_alloc(kHugePage, rounded));
    if (bytes == nullptr)
        return false;
    adviseHugePages(bytes, rounded);
    length = size;
    return true;
}

} // namespace korvane
