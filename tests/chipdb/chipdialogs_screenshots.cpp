// Renders the chip dialogs, filled with a typical chip table, into PNG files:
//   chipdialogs_screenshots <output folder>
// Run offscreen (QT_QPA_PLATFORM=offscreen); a CJK font must be installed for the Chinese texts.
#include "chipdb/addchipdialog.h"
#include "chipdb/chiplist.h"
#include "chipdb/chiplistdialog.h"
#include "common/userinteraction.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

CHIP_INFO chip(const char* manufacturer, const char* model, std::uint8_t id0, std::uint8_t id1,
               std::uint8_t id2, int megabits)
{
    CHIP_INFO c{};
    SPIFlashConfig& f = c.Config;
    f.WriteEnable = 0x06;
    f.WriteDisable = 0x04;
    f.WritePage = 0x02;
    f.WritePageAddrBytes = megabits > 128 ? 4 : 3;
    f.EraseSector = 0x20;
    f.EraseSectorAddrBytes = f.WritePageAddrBytes;
    f.EraseChip = 0xC7;
    f.ReadID = 0x9F;
    f.ReadData = 0x03;
    f.ReadDataAddrBytes = f.WritePageAddrBytes;
    f.ReadFast = 0x0B;
    f.ReadFastAddrBytes = f.WritePageAddrBytes;
    f.ReadStatus = 0x05;
    f.WriteStatus = 0x01;
    f.FlashID[0] = id0;
    f.FlashID[1] = id1;
    f.FlashID[2] = id2;
    f.IDLength = 3;
    f.PageSize = 256;
    f.NumPages = megabits * 512;
    f.SectorSize = 4096;
    setChipName(c.Manufacturer, QString::fromUtf8(manufacturer));
    setChipName(c.ModelName, QString::fromUtf8(model));
    return c;
}

} // namespace

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

    const QList<CHIP_INFO> chips = {
        chip("Winbond", "W25Q16JV", 0xEF, 0x40, 0x15, 16),
        chip("Winbond", "W25Q32JV", 0xEF, 0x40, 0x16, 32),
        chip("Winbond", "W25Q64JV", 0xEF, 0x40, 0x17, 64),
        chip("Winbond", "W25Q128JV", 0xEF, 0x40, 0x18, 128),
        chip("Winbond", "W25Q256JV", 0xEF, 0x40, 0x19, 256),
        chip("Macronix", "MX25L3233F", 0xC2, 0x20, 0x16, 32),
        chip("Macronix", "MX25L6433F", 0xC2, 0x20, 0x17, 64),
        chip("GigaDevice", "GD25Q64C", 0xC8, 0x40, 0x17, 64),
        chip("GigaDevice", "GD25Q128C", 0xC8, 0x40, 0x18, 128),
        chip("兆易创新", "GD25Q80C", 0xC8, 0x40, 0x14, 8),
        chip("Atmel", "AT25SF041", 0x1F, 0x84, 0x01, 4),
    };
    QString error;
    if (!writeChipListFile(QString::fromLatin1(kChipListFileName), chips, &error)) {
        qWarning("%s", qPrintable(error));
        return 1;
    }

    WidgetUserInteraction ui;
    ChipListDialog list(ui, nullptr);
    list.show();
    auto* table = list.findChild<QTableWidget*>(QStringLiteral("chipListTableWidget"));
    table->selectRow(2);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualItemRect(table->item(2, 1)).center());
    QApplication::processEvents();
    bool ok = list.grab().save(out + QStringLiteral("/chiplistdialog.png"));

    AddChipDialog add(chips.at(2).Config, nullptr);
    add.show();
    QApplication::processEvents();
    ok = add.grab().save(out + QStringLiteral("/addchipdialog.png")) && ok;
    list.hide(); // no close event: nothing is saved
    return ok ? 0 : 1;
}
