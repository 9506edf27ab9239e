#include "backends/spidev/spidevaccess.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

class SystemSpidevAccess : public SpidevAccess
{
public:
    bool exists(const std::string& path) override
    {
        struct stat info;
        return ::stat(path.c_str(), &info) == 0;
    }

    int open(const std::string& path) override
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        return fd >= 0 ? fd : -errno;
    }

    int ioctl(int fd, unsigned long request, void* argument) override
    {
        for (;;) {
            const int result = ::ioctl(fd, request, argument);
            if (result >= 0)
                return result;
            if (errno != EINTR)
                return -errno;
        }
    }

    void close(int fd) override { ::close(fd); }

    int bufferSize() override
    {
        std::FILE* file = std::fopen("/sys/module/spidev/parameters/bufsiz", "re");
        if (file == nullptr)
            return 0;
        unsigned long size = 0;
        const bool read = std::fscanf(file, "%lu", &size) == 1;
        std::fclose(file);
        return read && size > 0 && size <= (1ul << 30) ? static_cast<int>(size) : 0;
    }
};

} // namespace

SpidevAccess& systemSpidevAccess()
{
    static SystemSpidevAccess access;
    return access;
}

} // namespace korvane
