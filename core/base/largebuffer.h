#pragma once

#include <cstddef>
#include <cstdint>

namespace korvane {

// Asks the system to back a large range with 2 MiB pages where it can. A chip image is touched
// whole at once, and on some machines faulting 16 MiB in 4 KiB pages costs more than the read.
void adviseHugePages(void* data, std::size_t size);

// An uninitialised byte buffer for a whole chip image: aligned for huge pages and advised so.
// allocate() reports failure instead of throwing.
class LargeBuffer
{
public:
    LargeBuffer() = default;
    ~LargeBuffer();
    LargeBuffer(const LargeBuffer&) = delete;
    LargeBuffer& operator=(const LargeBuffer&) = delete;

    bool allocate(std::size_t size);
    std::uint8_t* data() const { return bytes; }
    std::size_t size() const { return length; }

private:
    std::uint8_t* bytes = nullptr;
    std::size_t length = 0;
};

} // namespace korvane
