#pragma once

#include "backends/deviceaccess.h"
#include "core/adapter/adapterregistry.h"

#include <QString>

#include <memory>

class QSettings;

namespace korvane {

class Clock;

// The adapters the window starts with. A form given on its command line (--adapter) is used and
// remembered for the next start; without one the remembered form is used; with none remembered
// (or after --adapter "", which forgets it) every hardware backend, then the simulated adapter.
struct WindowAdapters
{
    std::unique_ptr<AdapterRegistry> registry; // null: the given form cannot be used (error says why)
    QString form;                              // the form in use; empty for the default set
    QString error;
    // Set when the remembered form could not be used: why, for a message before the window opens.
    // The window then runs on the default set and forgets the remembered form.
    QString notice;
};

// settings: where the form is remembered (the "adapter" key).
WindowAdapters openWindowAdapters(Clock& clock, QSettings& settings, bool given, const QString& givenForm,
                                  const DeviceAccess& access = {});

} // namespace korvane
