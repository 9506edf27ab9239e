#pragma once

#include <functional>
#include <memory>

namespace korvane {

class AdapterLibrary;
class Clock;
class LibraryLoader;
class SerialPortAccess;
class SpidevAccess;
class UsbBus;

// The system interfaces the hardware backends reach their adapters through: libusb, serial
// ports, the spidev device nodes, shared libraries. A null member means the system's own; tests put
// protocol emulators behind them.
struct DeviceAccess
{
    UsbBus* usb = nullptr;
    SerialPortAccess* serial = nullptr;
    SpidevAccess* spidev = nullptr;
    LibraryLoader* libraries = nullptr;
    // Makes the simulated adapter (--adapter sim); empty: the one the environment describes. Tests
    // keep a hold on the chips to put them in and take them out while a command runs.
    std::function<std::unique_ptr<AdapterLibrary>(Clock&)> simulated;
};

} // namespace korvane
