#pragma once

#include "backends/deviceaccess.h"
#include "core/adapter/adapterregistry.h"

#include <QString>

#include <memory>

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
