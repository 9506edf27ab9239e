#pragma once

#include "core/spinor/deviceadapterlibrary.h"

#include <memory>
#include <string>

namespace korvane {

class Clock;
class SerialPortAccess;

// Where a serprog programmer is: its serial device and the baud rate (which a USB CDC firmware
// ignores).
struct SerprogLocation
{
    std::string path;
    int baud = 115200;
};

// Parses "DEVICE[:BAUD]" ("/dev/ttyACM0", "/dev/ttyUSB0:2000000"). False with *error on a missing
// device or a baud rate the serial ports do not take.
bool parseSerprogLocation(const std::string& argument, SerprogLocation* location, std::string* error);

// A microcontroller running a serprog firmware on a serial port, as one adapter (handle 0) when
// its device node exists. Opening it synchronises with the firmware (SYNCNOP), checks the
// interface version, reads the command map and the length limits, and selects SPI; the chip
// select of a selector is set with S_SPI_CS where the firmware has it (otherwise only CS0 works)
// and the clock with S_SPI_FREQ, the firmware's answer being the clock it runs.
//
// Every transfer is one O_SPIOP; a batch of frames is one O_SPIOP each, sent back to back while
// their answers stream in, as many as the firmware's serial buffer holds (so the parts of a flash
// read longer than the firmware takes in one, each with the read command again, and a page
// program with its status reads). A firmware that answers NAK, garbage or nothing (for longer
// than the timeout) fails the transfer, and the link is closed: the next open synchronises afresh.
class SerprogAdapter : public DeviceAdapterLibrary
{
public:
    SerprogAdapter(Clock& clock, SerialPortAccess& access, const SerprogLocation& location);
    ~SerprogAdapter() override;

    int scanDevices(int* devices) override;

    // How long the firmware may stay silent while an answer is due.
    void setTimeoutMs(int milliseconds);
    // Whether O_SPIOP requests go back to back (the default) or each waits for the answer before it.
    void setPipelining(bool enabled);

protected:
    AdapterDevice* device(int handle) const override;

private:
    class Device;
    std::unique_ptr<Device> dev;
};

} // namespace korvane
