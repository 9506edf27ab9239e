#include "backends/serprog/serialport.h"

#include "core/adapter/adapterresult.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace korvane {

namespace {

struct BaudConstant
{
    int baud;
    speed_t constant;
};

const BaudConstant kBaudRates[] = {
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},     {115200, B115200},
    {230400, B230400},   {460800, B460800},   {500000, B500000},   {576000, B576000},   {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000},
    {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

int resultOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO:
        return AdapterErrorNoDevice;
    case EACCES:
    case EPERM:
        return AdapterErrorAccess;
    case EBUSY:       // another program holds the port exclusively (TIOCEXCL)
    case EWOULDBLOCK: // or its lock
        return AdapterErrorInUse;
    case ENOTTY:
    case EISDIR:
        return AdapterErrorWrongDevice;
    default:
        return AdapterErrorTransport;
    }
}

class TermiosPort : public SerialPort
{
public:
    explicit TermiosPort(int fd) : fd(fd) {}
    ~TermiosPort() override
    {
        // The exclusive mode belongs to the port, not to this descriptor: only ours is ended.
        if (exclusive)
            ::ioctl(fd, TIOCNXCL);
        ::close(fd);
    }

    // Locks the port for this program, or says who holds it: AdapterErrorInUse when another
    // program holds it exclusively (which refuses the open unless this program runs as root) or
    // has it locked (as terminal programs do).
    int claim()
    {
        int held = 0;
        if (::ioctl(fd, TIOCGEXCL, &held) == 0 && held != 0)
            return AdapterErrorInUse;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0)
            return resultOf(errno);
        exclusive = true;
        return AdapterOk;
    }

    int read(std::uint8_t* data, int count) override
    {
        for (;;) {
            const ssize_t got = ::read(fd, data, static_cast<std::size_t>(count));
            if (got > 0)
                return static_cast<int>(got);
            if (got == 0)
                return AdapterErrorNoDevice; // hung up
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return 0;
            return resultOf(errno);
        }
    }

    int write(const std::uint8_t* data, int count) override
    {
        for (;;) {
            const ssize_t put = ::write(fd, data, static_cast<std::size_t>(count));
            if (put >= 0)
                return static_cast<int>(put);
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return 0;
            return resultOf(errno);
        }
    }

    int wait(bool forWrite, int timeoutMs) override
    {
        pollfd entry{fd, static_cast<short>(POLLIN | (forWrite ? POLLOUT : 0)), 0};
        for (;;) {
            const int ready = ::poll(&entry, 1, timeoutMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0)
                return resultOf(errno);
            if (ready == 0)
                return 0;
            break;
        }
        // A hang-up with bytes still waiting: they are read first, the read after them fails.
        if ((entry.revents & (POLLERR | POLLNVAL)) != 0)
            return AdapterErrorNoDevice;
        int mask = 0;
        if ((entry.revents & (POLLIN | POLLHUP)) != 0)
            mask |= Readable;
        if ((entry.revents & POLLOUT) != 0)
            mask |= Writable;
        return mask;
    }

    void discardInput() override { ::tcflush(fd, TCIFLUSH); }

private:
    int fd;
    bool exclusive = false;
};

class TermiosAccess : public SerialPortAccess
{
public:
    bool exists(const std::string& path) override
    {
        struct stat info;
        return ::stat(path.c_str(), &info) == 0;
    }

    std::unique_ptr<SerialPort> open(const std::string& path, int baud, int* error) override
    {
        speed_t speed = 0;
        for (const BaudConstant& entry : kBaudRates) {
            if (entry.baud == baud)
                speed = entry.constant;
        }
        if (speed == 0) {
            *error = AdapterErrorArgument;
            return nullptr;
        }
        // Only a character device can be a serial port: a file is not opened for writing at all.
        struct stat info;
        if (::stat(path.c_str(), &info) != 0) {
            *error = resultOf(errno);
            return nullptr;
        }
        if (!S_ISCHR(info.st_mode)) {
            *error = AdapterErrorWrongDevice;
            return nullptr;
        }
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            *error = resultOf(errno);
            return nullptr;
        }
        auto port = std::make_unique<TermiosPort>(fd);
        termios settings;
        if (::tcgetattr(fd, &settings) != 0) {
            // A device of some other kind.
            *error = errno == ENOTTY ? AdapterErrorWrongDevice : resultOf(errno);
            return nullptr;
        }
        // Another program's port is left as it is, settings included.
        if (const int claimed = port->claim()) {
            *error = claimed;
            return nullptr;
        }
        ::cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        settings.c_cflag &= ~(CSTOPB | CRTSCTS);
        settings.c_iflag &= ~(IXON | IXOFF | IXANY);
        settings.c_cc[VMIN] = 0;
        settings.c_cc[VTIME] = 0;
        if (::cfsetispeed(&settings, speed) != 0 || ::cfsetospeed(&settings, speed) != 0 ||
            ::tcsetattr(fd, TCSANOW, &settings) != 0) {
            *error = resultOf(errno);
            return nullptr;
        }
        ::tcflush(fd, TCIOFLUSH);
        *error = AdapterOk;
        return port;
    }
};

} // namespace

SerialPortAccess& systemSerialPortAccess()
{
    static TermiosAccess access;
    return access;
}

bool isSupportedBaudRate(int baud)
{
    for (const BaudConstant& entry : kBaudRates) {
        if (entry.baud == baud)
            return true;
    }
    return false;
}

} // namespace korvane
