#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvane {

// An open serial port in raw mode: 8 data bits, no parity, one stop bit, no flow control. Reads
// and writes never block; wait() does, for at most its timeout. Failures are AdapterResult codes:
// AdapterErrorNoDevice once the other end has gone (unplugged, hung up).
class SerialPort
{
public:
    enum Ready
    {
        Readable = 1,
        Writable = 2,
    };

    virtual ~SerialPort() = default;
    // Bytes read (0 when none are waiting), or an AdapterResult code.
    virtual int read(std::uint8_t* data, int count) = 0;
    // Bytes the port took (0 when it takes none now), or an AdapterResult code.
    virtual int write(const std::uint8_t* data, int count) = 0;
    // Until bytes can be read, or (forWrite) also written: a mask of Ready bits, 0 when the
    // timeout passed first, or an AdapterResult code.
    virtual int wait(bool forWrite, int timeoutMs) = 0;
    // Drops what was received and not read yet.
    virtual void discardInput() = 0;
};

// How the serprog backend reaches serial ports; the system's own is termios.
class SerialPortAccess
{
public:
    virtual ~SerialPortAccess() = default;
    virtual bool exists(const std::string& path) = 0;
    // The port opened for this program alone. Null on failure, with *error an AdapterResult code:
    // AdapterErrorNoDevice (no such port), AdapterErrorAccess (no permission), AdapterErrorInUse
    // (another program holds or has locked it), AdapterErrorWrongDevice (not a serial port), ...
    virtual std::unique_ptr<SerialPort> open(const std::string& path, int baud, int* error) = 0;
};

SerialPortAccess& systemSerialPortAccess();

// Whether the system's serial ports take this baud rate.
bool isSupportedBaudRate(int baud);

} // namespace korvane
