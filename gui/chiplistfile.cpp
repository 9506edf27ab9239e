#include "gui/chiplistfile.h"

#include "gui/userinteraction.h"

#include <QCoreApplication>

const char kChipListWarningTitle[] = "Korvane SPI Flash Program";

namespace {

void showFileWarning(QWidget* parent, UserInteraction& ui, const QString& path, const QString& error)
{
    ui.warning(parent, QString::fromUtf8(kChipListWarningTitle),
               QCoreApplication::translate("ChipListFile", "不能打开文件 %1:\n%2.").arg(path, error));
}

} // namespace

bool loadChipList(QWidget* parent, UserInteraction& ui, QList<CHIP_INFO>& chips, const QString& path,
                  bool* missing)
{
    QList<CHIP_INFO> loaded;
    QString error;
    if (!readChipListFile(path, loaded, &error, missing)) {
        showFileWarning(parent, ui, path, error);
        return false;
    }
    chips.swap(loaded);
    return true;
}

bool saveChipList(QWidget* parent, UserInteraction& ui, QList<CHIP_INFO>& chips, const QString& path)
{
    QList<CHIP_INFO> sorted = chips;
    sortChipList(sorted);
    QString error;
    if (!writeChipListFile(path, sorted, &error)) {
        showFileWarning(parent, ui, path, error);
        return false;
    }
    chips.swap(sorted);
    return true;
}
