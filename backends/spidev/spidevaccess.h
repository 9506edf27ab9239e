#pragma once

#include <string>

namespace korvane {

// How the spidev backend reaches the kernel: the device node calls, and the driver's buffer size.
// Results as the system calls give them, with -errno for a failure.
class SpidevAccess
{
public:
    virtual ~SpidevAccess() = default;
    virtual bool exists(const std::string& path) = 0;
    // A file descriptor, or -errno.
    virtual int open(const std::string& path) = 0;
    // ioctl(2) on a descriptor from open: its result, or -errno.
    virtual int ioctl(int fd, unsigned long request, void* argument) = 0;
    virtual void close(int fd) = 0;
    // The spidev driver's buffer size (bytes one message may carry each way); 0 when it cannot be
    // read.
    virtual int bufferSize() = 0;
};

SpidevAccess& systemSpidevAccess();

} // namespace korvane
