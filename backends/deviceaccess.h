#pragma once

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
};
