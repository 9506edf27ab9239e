#include "backends/plugin/libraryloader.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>

namespace korvane {

namespace {

class QtLoadedLibrary : public LoadedLibrary
{
public:
    explicit QtLoadedLibrary(const QString& path) : library(path) {}
    // Left loaded: code of the library may still be on the stack of whoever called into it, and
    // unloading gains nothing for a program that keeps its adapters to the end.
    ~QtLoadedLibrary() override = default;

    bool load(QString* error)
    {
        if (library.load())
            return true;
        *error = library.errorString();
        return false;
    }

    void (*resolve(const char* name))() override { return library.resolve(name); }

private:
    QLibrary library;
};

class QtLibraryLoader : public LibraryLoader
{
public:
    std::unique_ptr<LoadedLibrary> load(const QString& path, QString* error) override
    {
        // QLibrary would try other names (lib...so, versions) for one that is not there; the
        // user named one file.
        const QFileInfo file(path);
        if (!file.exists()) {
            *error = QCoreApplication::translate("Backends", "no such file");
            return nullptr;
        }
        if (!file.isFile()) {
            *error = QCoreApplication::translate("Backends", "not a regular file");
            return nullptr;
        }
        auto library = std::make_unique<QtLoadedLibrary>(file.absoluteFilePath());
        if (!library->load(error))
            return nullptr;
        return library;
    }
};

} // namespace

LibraryLoader& systemLibraryLoader()
{
    static QtLibraryLoader loader;
    return loader;
}

} // namespace korvane
