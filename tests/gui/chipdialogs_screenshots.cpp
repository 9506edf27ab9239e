// Renders the chip dialogs, filled with the bundled chip database, into PNG files:
//   chipdialogs_screenshots <output folder>
// Run offscreen (QT_QPA_PLATFORM=offscreen); a CJK font must be installed for the Chinese texts.
#include "core/chip/chiplist.h"
#include "gui/addchipdialog.h"
#include "gui/chiplistdialog.h"
#include "gui/userinteraction.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace korvane;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        qWarning("usage: %s <output folder>", argv[0]);
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path()))
        return 1;

    // The bundled database, as the program finds it next to itself.
    if (!QFile::copy(QStringLiteral(SPIFLASH_CHIP_DATA), QString::fromLatin1(kChipListFileName))) {
        qWarning("cannot copy %s", SPIFLASH_CHIP_DATA);
        return 1;
    }

    WidgetUserInteraction ui;
    ChipListDialog list(ui, nullptr);
    list.show();
    list.findChild<QComboBox*>(QStringLiteral("comboBoxManufacturer"))
        ->setCurrentText(QStringLiteral("Winbond"));
    auto* table = list.findChild<QTableWidget*>(QStringLiteral("chipListTableWidget"));
    const int row = 5;
    table->selectRow(row);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualItemRect(table->item(row, 1)).center());
    QApplication::processEvents();

    // The instruction dialog as it opens on the picked chip.
    QList<CHIP_INFO> chips;
    readChipListFile(QString::fromLatin1(kChipListFileName), chips, nullptr);
    SPIFlashConfig picked{};
    for (const CHIP_INFO& chip : qAsConst(chips)) {
        if (chipManufacturer(chip) == table->item(row, 0)->text() &&
            chipModelName(chip) == table->item(row, 1)->text())
            picked = chip.Config;
    }
    bool ok = list.grab().save(out + QStringLiteral("/chiplistdialog.png"));

    AddChipDialog add(picked, ui, nullptr);
    add.show();
    QApplication::processEvents();
    ok = add.grab().save(out + QStringLiteral("/addchipdialog.png")) && ok;
    list.hide(); // no close event: nothing is saved
    return ok ? 0 : 1;
}
