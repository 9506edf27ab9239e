#include "core/chip/chiplistlocation.h"

#include "core/chip/chiplist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace korvane {

const char kDataFolderName[] = "korvane-spiflash";

namespace {

QString listIn(const QString& folder)
{
    return QDir(folder).filePath(QLatin1String(kDataFolderName) + QStringLiteral("/ChipListData.dat"));
}

// Anything under the name counts, so that an unreadable file or a FIFO is reported rather than
// silently replaced by another list.
bool present(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).exists();
}

} // namespace

ChipListPlaces ChipListPlaces::standard()
{
    ChipListPlaces places;
    places.working = QString::fromLatin1(kChipListFileName);
    const QString userData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!userData.isEmpty())
        places.user = listIn(userData);
    if (QCoreApplication::instance() != nullptr)
        places.installed << listIn(QCoreApplication::applicationDirPath() + QStringLiteral("/../share"));
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QString path = listIn(folder);
        if (path != places.user && !places.installed.contains(path))
            places.installed << path;
    }
    return places;
}

ChipListLocation locateChipList(const ChipListPlaces& places)
{
    if (present(places.working))
        return {places.working, places.working};
    if (present(places.user))
        return {places.user, places.user};
    for (const QString& installed : places.installed) {
        if (QFileInfo(installed).isFile())
            return {QDir::cleanPath(installed), places.user.isEmpty() ? places.working : places.user};
    }
    return {places.working, places.working};
}

ChipListLocation locateChipList()
{
    return locateChipList(ChipListPlaces::standard());
}

bool makeChipListFolder(const QString& path, QString* errorString)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (QDir(folder).exists() || QDir().mkpath(folder))
        return true;
    if (errorString)
        *errorString = QStringLiteral("Cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
    return false;
}

} // namespace korvane
