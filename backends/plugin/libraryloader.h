#pragma once

#include <QString>

#include <memory>

namespace korvane {

// A shared library, loaded.
class LoadedLibrary
{
public:
    virtual ~LoadedLibrary() = default;
    // The exported function of that name, or null.
    virtual void (*resolve(const char* name))() = 0;
};

// How the plug-in backend loads adapter libraries; the system's own is QLibrary.
class LibraryLoader
{
public:
    virtual ~LibraryLoader() = default;
    // Null on failure, with *error saying why (no such file, not a library, ...).
    virtual std::unique_ptr<LoadedLibrary> load(const QString& path, QString* error) = 0;
};

LibraryLoader& systemLibraryLoader();

} // namespace korvane
