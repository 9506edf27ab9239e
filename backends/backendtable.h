#pragma once

#include "backends/deviceaccess.h"
#include "core/adapter/adapterregistry.h"

#include <QString>

#include <memory>

namespace korvane {

class Clock;

// The adapter backends the program knows, registered in one place. A form names one backend the
// way --adapter takes it ("sim"); hardware backends add their own forms.
//
// An empty form means every hardware backend; withSimulated then appends the simulated adapter
// after them (the window's default, so that it works with nothing plugged in). Returns null and
// sets *error for a form that names no backend or that the backend cannot take.
// access: where the backends reach the hardware (the system's own by default).
std::unique_ptr<AdapterRegistry> createAdapterRegistry(Clock& clock, const QString& form, bool withSimulated,
                                                       QString* error, const DeviceAccess& access = {});

// One line per backend for help texts: the --adapter form and what it drives.
QString adapterFormsHelp();

// What is wrong with the device node a form names (serprog:, spidev:), given why the scan found
// no adapter there (AdapterErrorNoDevice) or why opening it failed: "no such serial port
// /dev/ttyACM9", "/tmp/x is not a serial port (a regular file)". Empty when the form names no
// device node or the code says nothing about it.
QString deviceNodeProblem(const QString& form, int adapterCode);

} // namespace korvane
