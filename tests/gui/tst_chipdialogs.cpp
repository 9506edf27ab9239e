#include "core/chip/chiplist.h"
#include "gui/addchipdialog.h"
#include "gui/chiplistdialog.h"
#include "tests/support/fifowatchdog.h"
#include "tests/support/scriptedinteraction.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <memory>

using namespace korvane;

namespace {

const QString kFile = QStringLiteral("./ChipListData.dat");

SPIFlashConfig sampleConfig()
{
    SPIFlashConfig c{};
    c.WriteEnable = 0x06;
    c.WriteDisable = 0x04;
    c.WritePage = 0x02;
    c.WritePageAddrBytes = 3;
    c.EraseSector = 0x20;
    c.EraseSectorAddrBytes = 4;
    c.Reserved = 0x5A;
    c.EraseChip = 0xC7;
    c.ReadID = 0x9F;
    c.ReadData = 0x03;
    c.ReadDataAddrBytes = 3;
    c.ReadFast = 0x0B;
    c.ReadFastAddrBytes = 1;
    c.ReadStatus = 0x05;
    c.WriteStatus = 0x01;
    for (int i = 0; i < 16; ++i)
        c.FlashID[i] = static_cast<std::uint8_t>(0xE0 + i);
    c.IDLength = 3;
    c.PageSize = 256;
    c.NumPages = 32768;
    c.SectorSize = 4096;
    return c;
}

CHIP_INFO makeChip(const QString& manufacturer, const QString& model, int numPages = 4096)
{
    CHIP_INFO chip{};
    chip.Config = sampleConfig();
    chip.Config.NumPages = numPages;
    setChipName(chip.Manufacturer, manufacturer);
    setChipName(chip.ModelName, model);
    return chip;
}

bool sameConfig(const SPIFlashConfig& a, const SPIFlashConfig& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void writeList(const QList<CHIP_INFO>& chips)
{
    QString error;
    QVERIFY2(writeChipListFile(kFile, chips, &error), qPrintable(error));
}

QList<CHIP_INFO> readList()
{
    QList<CHIP_INFO> chips;
    readChipListFile(kFile, chips, nullptr);
    return chips;
}

QByteArray fileBytes()
{
    QFile file(kFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// "manufacturer/model" of every record, in order.
QStringList names(const QList<CHIP_INFO>& chips)
{
    QStringList out;
    for (const CHIP_INFO& chip : chips)
        out << chipManufacturer(chip) + QLatin1Char('/') + chipModelName(chip);
    return out;
}

// Keeps regular files of this process below a few bytes while it lives; root is bound too.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes) : oldHandler(std::signal(SIGXFSZ, SIG_IGN))
    {
        getrlimit(RLIMIT_FSIZE, &oldLimit);
        rlimit limit = oldLimit;
        limit.rlim_cur = bytes;
        active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &oldLimit);
        std::signal(SIGXFSZ, oldHandler);
    }
    bool active = false;

private:
    void (*oldHandler)(int);
    rlimit oldLimit{};
};

// While it lives, file permissions bind this process even when it runs as root: the effective
// user becomes nobody.
class WithoutRoot
{
public:
    WithoutRoot() : wasRoot(geteuid() == 0) { active = !wasRoot || seteuid(65534) == 0; }
    ~WithoutRoot()
    {
        if (wasRoot && active && seteuid(0) != 0)
            qFatal("cannot return to root");
    }
    bool active = false;

private:
    bool wasRoot;
};

// What a path is, for telling whether anything was written there.
QString pathState(const QString& path)
{
    const QFileInfo info(path);
    QString type = info.isDir() ? "directory" : info.isFile() ? "file" : info.exists() ? "other" : "missing";
    QFile file(path);
    const QByteArray head = info.isFile() && file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
    return QStringLiteral("%1 %2 %3").arg(type).arg(info.size()).arg(QString::fromLatin1(head.toHex()));
}

template <typename T> T* child(QWidget* parent, const char* name)
{
    T* widget = parent->findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

QStringList tableRows(QWidget* dialog)
{
    auto* table = child<QTableWidget>(dialog, "chipListTableWidget");
    QStringList rows;
    for (int r = 0; r < table->rowCount(); ++r)
        rows << table->item(r, 0)->text() + QLatin1Char('/') + table->item(r, 1)->text() + QLatin1Char('/') +
                    table->item(r, 2)->text();
    return rows;
}

QStringList comboItems(QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

void clickRow(QWidget* dialog, int row)
{
    auto* table = child<QTableWidget>(dialog, "chipListTableWidget");
    const QRect rect = table->visualItemRect(table->item(row, 1));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
}

void deleteRow(QWidget* dialog, int row)
{
    auto* table = child<QTableWidget>(dialog, "chipListTableWidget");
    table->setCurrentCell(row, 0);
    table->actions().first()->trigger();
}

void setNames(QWidget* dialog, const QString& manufacturer, const QString& model)
{
    child<QLineEdit>(dialog, "manufacturerLineEdit")->setText(manufacturer);
    child<QLineEdit>(dialog, "modelNumberLineEdit")->setText(model);
}

// Gives a new chip's blank form the geometry and address widths the chip list takes.
void fillBlankGeometry(QDialog* d)
{
    if (child<QSpinBox>(d, "pageSizeSpinBox")->value() == 0)
        child<QSpinBox>(d, "pageSizeSpinBox")->setValue(256);
    if (child<QSpinBox>(d, "numPagesSpinBox")->value() == 0)
        child<QSpinBox>(d, "numPagesSpinBox")->setValue(4096);
    if (child<QSpinBox>(d, "sectorSizeSpinBox")->value() == 0)
        child<QSpinBox>(d, "sectorSizeSpinBox")->setValue(4096);
    for (const char* name :
         {"writePageAddrNumSpinBox", "eraseSectorAddrNumSpinBox", "readDataAddrNumSpinBox"}) {
        if (child<QSpinBox>(d, name)->value() < 3)
            child<QSpinBox>(d, name)->setValue(3);
    }
}

// Accepts the instruction dialog after setting the page count.
std::function<int(QDialog*)> acceptWithPages(int numPages)
{
    return [numPages](QDialog* d) {
        fillBlankGeometry(d);
        child<QSpinBox>(d, "numPagesSpinBox")->setValue(numPages);
        child<QPushButton>(d, "positivePushButton")->click();
        return d->result();
    };
}

} // namespace

class TestChipDialogs : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString oldCurrent;
    ScriptedInteraction addUi; // the instruction dialog's refusals

private slots:
    void init()
    {
        oldCurrent = QDir::currentPath();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        QVERIFY(QDir::setCurrent(dir->path()));
    }
    void cleanup()
    {
        QDir::setCurrent(oldCurrent);
        dir.reset();
    }

    // ---- AddChipDialog ----

    void addChipFormLayout()
    {
        AddChipDialog dialog(SPIFlashConfig{}, addUi, nullptr);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("添加芯片"));
        QCOMPARE(dialog.size(), QSize(502, 399));
        QCOMPARE(child<QGroupBox>(&dialog, "groupBox")->title(), QStringLiteral("ChipInfo"));
        QCOMPARE(child<QGroupBox>(&dialog, "groupBox_2")->title(), QStringLiteral("SPI Instruction"));
        QCOMPARE(child<QPushButton>(&dialog, "positivePushButton")->text(), QStringLiteral("确定"));
        QCOMPARE(child<QPushButton>(&dialog, "cancelPushButton")->text(), QStringLiteral("取消"));

        struct Box
        {
            const char* name;
            int maximum;
            int base;
        };
        QList<Box> boxes = {{"idLenSpinBox", 16, 10},         {"pageSizeSpinBox", 1024, 10},
                            {"numPagesSpinBox", 1000000, 10}, {"sectorSizeSpinBox", 1000000, 10},
                            {"writeEnableSpinBox", 255, 16},  {"writeDisableSpinBox", 255, 16},
                            {"writePageSpinBox", 255, 16},    {"writePageAddrNumSpinBox", 4, 10},
                            {"eraseSectorSpinBox", 255, 16},  {"eraseSectorAddrNumSpinBox", 4, 10},
                            {"eraseChipSpinBox", 255, 16},    {"readIDSpinBox", 255, 16},
                            {"readDataSpinBox", 255, 16},     {"readDataAddrNumSpinBox", 4, 10},
                            {"readFastSpinBox", 255, 16},     {"readFastAddrNumSpinBox", 4, 10},
                            {"readStatusSpinBox", 255, 16},   {"writeStatusSpinBox", 255, 16}};
        QList<QByteArray> idNames;
        for (int i = 0; i < 18; ++i)
            idNames << "flashIDSpinBox_" + QByteArray::number(i);
        for (const QByteArray& name : idNames)
            boxes << Box{name.constData(), 255, 16};
        QCOMPARE(dialog.findChildren<QSpinBox*>().size(), boxes.size());
        for (const Box& box : boxes) {
            auto* spin = child<QSpinBox>(&dialog, box.name);
            QVERIFY2(spin->minimum() == 0 && spin->maximum() == box.maximum, box.name);
            QVERIFY2(spin->displayIntegerBase() == box.base, box.name);
        }
        for (const char* name : {"idLenSpinBox", "pageSizeSpinBox", "numPagesSpinBox", "sectorSizeSpinBox"})
            QCOMPARE(child<QSpinBox>(&dialog, name)->minimumWidth(), 85);

        int addrHeadings = 0;
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            if (label->text() == QStringLiteral("Addr\nBytes"))
                ++addrHeadings;
        }
        QCOMPARE(addrHeadings, 2);
    }

    void addChipShowsAndAcceptsBack()
    {
        const SPIFlashConfig in = sampleConfig();
        AddChipDialog dialog(in, addUi, nullptr);
        QCOMPARE(child<QSpinBox>(&dialog, "readIDSpinBox")->text(), QStringLiteral("9f"));
        QCOMPARE(child<QSpinBox>(&dialog, "eraseChipSpinBox")->text(), QStringLiteral("c7"));
        QCOMPARE(child<QSpinBox>(&dialog, "flashIDSpinBox_15")->value(), 0xEF);
        QCOMPARE(child<QSpinBox>(&dialog, "flashIDSpinBox_16")->value(), 0);
        QCOMPARE(child<QSpinBox>(&dialog, "flashIDSpinBox_17")->value(), 0);
        QCOMPARE(child<QSpinBox>(&dialog, "numPagesSpinBox")->value(), 32768);
        QCOMPARE(child<QSpinBox>(&dialog, "eraseSectorAddrNumSpinBox")->value(), 4);

        // The extra ID boxes go nowhere; Reserved has no box and passes through.
        child<QSpinBox>(&dialog, "flashIDSpinBox_16")->setValue(0x11);
        child<QSpinBox>(&dialog, "flashIDSpinBox_17")->setValue(0x22);
        child<QPushButton>(&dialog, "positivePushButton")->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(sameConfig(dialog.config(), in));
        QCOMPARE(dialog.config().Reserved, std::uint8_t(0x5A));
    }

    void addChipTakesEditedValues()
    {
        AddChipDialog dialog(SPIFlashConfig{}, addUi, nullptr);
        dialog.show();
        fillBlankGeometry(&dialog);
        // Opcodes are typed as hexadecimal digits.
        auto* eraseChip = child<QSpinBox>(&dialog, "eraseChipSpinBox");
        eraseChip->selectAll();
        QTest::keyClicks(eraseChip, QStringLiteral("60"));
        auto* readId = child<QSpinBox>(&dialog, "readIDSpinBox");
        readId->selectAll();
        QTest::keyClicks(readId, QStringLiteral("ab"));
        child<QSpinBox>(&dialog, "flashIDSpinBox_0")->setValue(0xC8);
        child<QSpinBox>(&dialog, "flashIDSpinBox_15")->setValue(0x7F);
        child<QSpinBox>(&dialog, "sectorSizeSpinBox")->setValue(65536);
        child<QSpinBox>(&dialog, "readFastAddrNumSpinBox")->setValue(4);
        child<QPushButton>(&dialog, "positivePushButton")->click();

        const SPIFlashConfig out = dialog.config();
        QCOMPARE(out.EraseChip, std::uint8_t(0x60));
        QCOMPARE(out.ReadID, std::uint8_t(0xAB));
        QCOMPARE(out.FlashID[0], std::uint8_t(0xC8));
        QCOMPARE(out.FlashID[15], std::uint8_t(0x7F));
        QCOMPARE(out.SectorSize, 65536);
        QCOMPARE(out.ReadFastAddrBytes, std::uint8_t(4));
        QCOMPARE(out.IDLength, std::uint8_t(1)); // 0 entered
    }

    void addChipIdLength()
    {
        for (int entered : {0, 1, 16}) {
            AddChipDialog dialog(sampleConfig(), addUi, nullptr);
            child<QSpinBox>(&dialog, "idLenSpinBox")->setValue(entered);
            child<QPushButton>(&dialog, "positivePushButton")->click();
            QCOMPARE(int(dialog.config().IDLength), entered == 0 ? 1 : entered);
        }
    }

    void addChipClampsOnlyWhenAccepted()
    {
        SPIFlashConfig in = sampleConfig();
        in.PageSize = 4096;
        in.NumPages = 2000000;
        in.IDLength = 200;

        AddChipDialog cancelled(in, addUi, nullptr);
        QCOMPARE(child<QSpinBox>(&cancelled, "pageSizeSpinBox")->value(), 1024);
        QCOMPARE(child<QSpinBox>(&cancelled, "numPagesSpinBox")->value(), 1000000);
        QCOMPARE(child<QSpinBox>(&cancelled, "idLenSpinBox")->value(), 16);
        child<QPushButton>(&cancelled, "cancelPushButton")->click();
        QCOMPARE(cancelled.result(), int(QDialog::Rejected));
        QVERIFY(sameConfig(cancelled.config(), in));

        AddChipDialog escaped(in, addUi, nullptr);
        escaped.show();
        QTest::keyClick(&escaped, Qt::Key_Escape);
        QCOMPARE(escaped.result(), int(QDialog::Rejected));
        QVERIFY(sameConfig(escaped.config(), in));

        AddChipDialog accepted(in, addUi, nullptr);
        child<QPushButton>(&accepted, "positivePushButton")->click();
        QCOMPARE(accepted.config().PageSize, 1024);
        QCOMPARE(accepted.config().NumPages, 1000000);
        QCOMPARE(accepted.config().IDLength, std::uint8_t(16));
    }

    // 确定 refuses what the chip list would leave out, naming the field; the dialog stays open.
    void addChipRefusesImpossibleGeometry_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("page 1000") << "pageSizeSpinBox" << 1000 << "PageSize 为 1000，不是2的幂";
        QTest::newRow("sector below page")
            << "sectorSizeSpinBox" << 128 << "SectorSize 128 小于 PageSize 256";
        QTest::newRow("no pages") << "numPagesSpinBox" << 0 << "NumPages 为 0，应大于0";
        QTest::newRow("read 2 address bytes")
            << "readDataAddrNumSpinBox" << 2 << "ReadDataAddrBytes 为 2，应为3或4";
        QTest::newRow("erase 1 address byte")
            << "eraseSectorAddrNumSpinBox" << 1 << "EraseSectorAddrBytes 为 1，应为3或4";
    }
    void addChipRefusesImpossibleGeometry()
    {
        QFETCH(QString, box);
        QFETCH(int, value);
        QFETCH(QString, message);
        ScriptedInteraction ui;
        AddChipDialog dialog(sampleConfig(), ui, nullptr);
        dialog.show();
        child<QSpinBox>(&dialog, qPrintable(box))->setValue(value);
        child<QPushButton>(&dialog, "positivePushButton")->click();
        QCOMPARE(ui.messages(), QStringList{"芯片参数无效：" + message + "。"});
        QCOMPARE(ui.calls.first().parent.data(), static_cast<QWidget*>(&dialog));
        QVERIFY(dialog.isVisible());
        QVERIFY(sameConfig(dialog.config(), sampleConfig()));
    }

    // ---- ChipListDialog ----

    // A record offered from elsewhere (detection's SFDP) is checked by 添加 too.
    void offeredImpossibleRecordIsNotAdded()
    {
        ScriptedInteraction ui;
        ChipListDialog dialog(ui, nullptr); // no file: the warning that says so comes first
        CHIP_INFO offered = makeChip("New", "N1");
        offered.Config.SectorSize = 3;
        dialog.offerRecord(offered);
        child<QPushButton>(&dialog, "addPushButton")->click();
        QCOMPARE(ui.messages().last(), QStringLiteral("芯片参数无效：SectorSize 为 3，不是2的幂。"));
        QCOMPARE(tableRows(&dialog).size(), 0);
    }

    void chipListOpens()
    {
        writeList({makeChip("Beta", "B1", 8192), makeChip("Acme", "A1", 3), makeChip("Beta", "B2", 6144),
                   makeChip("Acme", "A2", 4)});
        ScriptedInteraction ui;
        ChipListDialog dialog(ui, nullptr);
        QVERIFY(ui.calls.isEmpty());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Chip List"));
        QCOMPARE(dialog.size(), QSize(619, 389));

        auto* table = child<QTableWidget>(&dialog, "chipListTableWidget");
        QCOMPARE(table->columnCount(), 3);
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("厂商"));
        QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("型号"));
        QCOMPARE(table->horizontalHeaderItem(2)->text(), QStringLiteral("容量"));
        QCOMPARE(table->columnWidth(0), 150);
        QCOMPARE(table->columnWidth(1), 300);
        QCOMPARE(table->columnWidth(2), 110);
        QVERIFY(table->verticalHeader()->isHidden());
        QCOMPARE(table->verticalHeader()->defaultSectionSize(), 20);
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(table->contextMenuPolicy(), Qt::ActionsContextMenu);
        QCOMPARE(table->actions().size(), 1);
        QCOMPARE(table->actions().first()->text(), QStringLiteral("删除"));
        QVERIFY(!child<QPushButton>(&dialog, "addPushButton")->isEnabled());

        // 256-byte pages: 8192 pages = 2 MByte, 3 pages = 768 Byte, 6144 = 1 MByte (1.5 cut), 4 = 1 KByte.
        QCOMPARE(tableRows(&dialog),
                 QStringList({"Beta/B1/2 MByte", "Acme/A1/768 Byte", "Beta/B2/1 MByte", "Acme/A2/1 KByte"}));
        auto* combo = child<QComboBox>(&dialog, "comboBoxManufacturer");
        QCOMPARE(comboItems(combo), QStringList({"*", "Beta", "Acme"}));

        combo->setCurrentText(QStringLiteral("Acme"));
        QCOMPARE(tableRows(&dialog), QStringList({"Acme/A1/768 Byte", "Acme/A2/1 KByte"}));
        combo->setCurrentText(QStringLiteral("*"));
        QCOMPARE(tableRows(&dialog).size(), 4);
    }

    void chipListWithoutFile()
    {
        ScriptedInteraction ui;
        ChipListDialog dialog(ui, nullptr);
        QCOMPARE(ui.calls.size(), 1);
        QCOMPARE(ui.calls.first().kind, InteractionCall::Warning);
        QCOMPARE(ui.calls.first().parent.data(), static_cast<QWidget*>(&dialog));
        QCOMPARE(ui.calls.first().title, QStringLiteral("Korvane SPI Flash Program"));
        QVERIFY(ui.calls.first().text.startsWith(QStringLiteral("不能打开文件 ./ChipListData.dat:\n")));
        QCOMPARE(child<QTableWidget>(&dialog, "chipListTableWidget")->rowCount(), 0);
        QCOMPARE(comboItems(child<QComboBox>(&dialog, "comboBoxManufacturer")), QStringList({"*"}));

        // Saving creates the file.
        dialog.close();
        QVERIFY(QFile::exists(kFile));
        QCOMPARE(QFileInfo(kFile).size(), 0);
    }

    // A database that is there but cannot be read is never written over: neither the instruction
    // edit nor the close saves the empty list.
    void unreadableListIsNeverWritten_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("write-only file") << "0200"
                                         << "Permission denied";
        QTest::newRow("FIFO") << "fifo"
                              << "Not a regular file";
        QTest::newRow("directory") << "directory"
                                   << "Is a directory";
        QTest::newRow("3 GiB file") << "huge"
                                    << "File too large";
        QTest::newRow("two records and a byte") << "fragment"
                                                << "345 bytes, not a whole number of 172-byte records";
    }
    void unreadableListIsNeverWritten()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        writeList({makeChip("Acme", "A1"), makeChip("Beta", "B1")});
        if (kind == "fifo") {
            QVERIFY(QFile::remove(kFile));
            QCOMPARE(mkfifo("ChipListData.dat", 0644), 0);
        } else if (kind == "directory") {
            QVERIFY(QFile::remove(kFile));
            QVERIFY(QDir().mkdir(kFile));
        } else if (kind == "huge") {
            QFile file(kFile);
            QVERIFY(file.resize(qint64(3) << 30)); // sparse: costs no disk
        } else if (kind == "fragment") {
            QFile file(kFile);
            QVERIFY(file.open(QIODevice::Append) && file.write("x", 1) == 1);
        } else {
            // The directory open to all, so that only the file's own mode stops the read.
            QVERIFY(QFile::setPermissions(dir->path(), QFile::permissions(dir->path()) | QFile::ReadOther |
                                                           QFile::ExeOther));
            QVERIFY(QFile::setPermissions(kFile, QFile::WriteOwner));
        }
        const QString before = pathState(kFile);

        ScriptedInteraction ui;
        std::unique_ptr<ChipListDialog> dialog;
        FifoWatchdog watchdog(kFile);
        if (kind == "0200") {
            // Root reads any file: the dialog is made as another user, and closed as root again,
            // when a save would succeed.
            WithoutRoot user;
            QVERIFY(user.active);
            dialog = std::make_unique<ChipListDialog>(ui, nullptr);
        } else {
            dialog = std::make_unique<ChipListDialog>(ui, nullptr);
        }
        dialog->show();
        QVERIFY(!watchdog.fired());
        QCOMPARE(ui.messages(),
                 QStringList{QStringLiteral("不能打开文件 ./ChipListData.dat:\n%1.").arg(reason)});
        QCOMPARE(ui.calls.first().parent.data(), static_cast<QWidget*>(dialog.get()));
        QCOMPARE(tableRows(dialog.get()), QStringList());

        // An accepted instruction edit and an add, then the close: each would have saved.
        ui.dialogScripts.enqueue(acceptWithPages(1234));
        child<QPushButton>(dialog.get(), "instructionsPushButton")->click();
        setNames(dialog.get(), QStringLiteral("Gamma"), QStringLiteral("G1"));
        child<QPushButton>(dialog.get(), "addPushButton")->click();
        QCOMPARE(tableRows(dialog.get()).size(), 1);
        QVERIFY(dialog->close());
        QCOMPARE(ui.messages().size(), 1);
        QCOMPARE(pathState(kFile), before);
        QCOMPARE(QDir(QStringLiteral(".")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 QStringList({"ChipListData.dat"}));
    }

    void deleteTakesTheRowsRecord()
    {
        writeList(
            {makeChip("Acme", "A1"), makeChip("Beta", "B1"), makeChip("Acme", "A2"), makeChip("Acme", "A3")});
        ScriptedInteraction ui;
        ChipListDialog dialog(ui, nullptr);
        dialog.show();
        child<QComboBox>(&dialog, "comboBoxManufacturer")->setCurrentText(QStringLiteral("Acme"));
        deleteRow(&dialog, 1);
        QCOMPARE(tableRows(&dialog), QStringList({"Acme/A1/1 MByte", "Acme/A3/1 MByte"}));
        QCOMPARE(names(readList()).size(), 4); // nothing saved yet
        // The map follows the removal: row 1 is now A3.
        deleteRow(&dialog, 1);
        dialog.close();
        QCOMPARE(names(readList()), QStringList({"Acme/A1", "Beta/B1"}));
    }

    void deleteAfterSortTakesTheShownRecord()
    {
        // The save after an instruction edit sorts the list but leaves the table as it was.
        writeList({makeChip("beta", "B1"), makeChip("Alpha", "A1"), makeChip("gamma", "G1")});
        ScriptedInteraction ui;
        ChipListDialog dialog(ui, nullptr);
        dialog.show();
        ui.dialogScripts.enqueue(acceptWithPages(100));
        child<QPushButton>(&dialog, "instructionsPushButton")->click();
        QCOMPARE(names(readList()), QStringList({"Alpha/A1", "beta/B1", "gamma/G1"}));
        QCOMPARE(tableRows(&dialog).first(), QStringLiteral("beta/B1/1 MByte"));

        deleteRow(&dialog, 0);
        dialog.close();
        QCOMPARE(names(readList()), QStringList({"Alpha/A1", "gamma/G1"}));
    }

    void clickPicksTheLastMatchingRecord()
    {
        QList<CHIP_INFO> chips = {makeChip("Acme", "A1", 10), makeChip("Beta", "B1", 20),
                                  makeChip("Acme", "A1", 30)};
        chips[2].Config.ReadID = 0x90;
        writeList(chips);
        ScriptedInteraction ui;
        ChipListDialog dialog(ui, nullptr);
        dialog.show();
        clickRow(&dialog, 0);
        QCOMPARE(child<QLineEdit>(&dialog, "manufacturerLineEdit")->text(), QStringLiteral("Acme"));
        QCOMPARE(child<QLineEdit>(&dialog, "modelNumberLineEdit")->text(), QStringLiteral("A1"));
        QVERIFY(!child<QPushButton>(&dialog, "addPushButton")->isEnabled());

        // The instruction dialog opens on the picked configuration: the later record's.
        SPIFlashConfig shown{};
        ui.dialogScripts.enqueue([&shown](QDialog* d) {
            shown = static_cast<AddChipDialog*>(d)->config();
            return int(QDialog::Rejected);
        });
        child<QPushButton>(&dialog, "instructionsPushButton")->click();
        QVERIFY(sameConfig(shown, chips[2].Config));
        const InteractionCall exec = ui.callsOf(InteractionCall::ExecDialog).first();
        QCOMPARE(exec.parent.data(), static_cast<QWidget*>(&dialog));
        QCOMPARE(exec.title, QStringLiteral("添加芯片"));
        QCOMPARE(exec.text, QStringLiteral("AddChipDialog"));
        // Rejected: nothing saved, button still off.
        QCOMPARE(fileBytes().size(), 3 * 172);
        QCOMPARE(names(readList()), QStringList({"Acme/A1", "Beta/B1", "Acme/A1"}));
        QVERIFY(!child<QPushButton>(&dialog, "addPushButton")->isEnabled());
    }

    void instructionEditSavesSortedAtOnce()
    {
        writeList({makeChip("beta", "B1"), makeChip("Alpha", "A1"), makeChip("Gamma", "G1"),
                   makeChip("alpha", "a2"), makeChip("BETA", "B2")});
        ScriptedInteraction ui;
        ChipListDialog dialog(ui, nullptr);
        ui.dialogScripts.enqueue(acceptWithPages(1234));
        child<QPushButton>(&dialog, "instructionsPushButton")->click();
        QVERIFY(child<QPushButton>(&dialog, "addPushButton")->isEnabled());

        const QList<CHIP_INFO> saved = readList();
        QCOMPARE(saved.size(), 5);
        for (int i = 1; i < saved.size(); ++i)
            QVERIFY(chipManufacturer(saved[i - 1]).toLower() <= chipManufacturer(saved[i]).toLower());
        QStringList sortedNames = names(saved);
        sortedNames.sort();
        QCOMPARE(sortedNames, QStringList({"Alpha/A1", "BETA/B2", "Gamma/G1", "alpha/a2", "beta/B1"}));
        // The records themselves are unchanged by the edit.
        for (const CHIP_INFO& chip : saved)
            QCOMPARE(chip.Config.NumPages, 4096);
    }

    void addNewModel()
    {
        writeList({makeChip("Acme", "A1"), makeChip("Beta", "B1")});
        ScriptedInteraction ui;
        ChipListDialog dialog(ui, nullptr);
        auto* add = child<QPushButton>(&dialog, "addPushButton");
        ui.dialogScripts.enqueue([](QDialog* d) {
            fillBlankGeometry(d);
            child<QSpinBox>(d, "pageSizeSpinBox")->setValue(512);
            child<QSpinBox>(d, "numPagesSpinBox")->setValue(8192);
            child<QSpinBox>(d, "readIDSpinBox")->setValue(0x9F);
            child<QSpinBox>(d, "flashIDSpinBox_0")->setValue(0xEF);
            child<QPushButton>(d, "positivePushButton")->click();
            return d->result();
        });
        child<QPushButton>(&dialog, "instructionsPushButton")->click();
        QVERIFY(add->isEnabled());

        setNames(&dialog, QStringLiteral("Newco"), QStringLiteral("N1"));
        add->click();
        QVERIFY(!add->isEnabled());
        QCOMPARE(tableRows(&dialog).last(), QStringLiteral("Newco/N1/4 MByte"));
        // A new manufacturer is not added to the filter list.
        QCOMPARE(comboItems(child<QComboBox>(&dialog, "comboBoxManufacturer")),
                 QStringList({"*", "Acme", "Beta"}));
        QCOMPARE(readList().size(), 2); // not yet saved

        // Under another filter the appended record is not shown.
        ui.dialogScripts.enqueue(acceptWithPages(16));
        child<QPushButton>(&dialog, "instructionsPushButton")->click();
        child<QComboBox>(&dialog, "comboBoxManufacturer")->setCurrentText(QStringLiteral("Beta"));
        setNames(&dialog, QStringLiteral("Acme"), QStringLiteral("A9"));
        add->click();
        QCOMPARE(tableRows(&dialog), QStringList({"Beta/B1/1 MByte"}));

        dialog.close();
        const QList<CHIP_INFO> saved = readList();
        QCOMPARE(names(saved), QStringList({"Acme/A1", "Acme/A9", "Beta/B1", "Newco/N1"}));
        QCOMPARE(saved[3].Config.PageSize, 512);
        QCOMPARE(saved[3].Config.NumPages, 8192);
        QCOMPARE(saved[3].Config.FlashID[0], std::uint8_t(0xEF));
        QCOMPARE(saved[1].Config.NumPages, 16);
        QVERIFY(ui.callsOf(InteractionCall::Question).isEmpty());
    }

    void addExistingModelAsks()
    {
        const QList<CHIP_INFO> original = {makeChip("Acme", "X1"), makeChip("Beta", "B1"),
                                           makeChip("Acme", "X1")};
        for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
            writeList(original);
            ScriptedInteraction ui;
            ChipListDialog dialog(ui, nullptr);
            auto* add = child<QPushButton>(&dialog, "addPushButton");
            ui.dialogScripts.enqueue(acceptWithPages(77));
            child<QPushButton>(&dialog, "instructionsPushButton")->click();
            setNames(&dialog, QStringLiteral("Beta"), QStringLiteral("X1"));
            ui.answers.enqueue(answer);
            add->click();

            const QList<InteractionCall> questions = ui.callsOf(InteractionCall::Question);
            QCOMPARE(questions.size(), 1);
            QVERIFY(!questions[0].hadParent);
            QCOMPARE(questions[0].icon, QMessageBox::Warning);
            QCOMPARE(questions[0].title, QStringLiteral("警告"));
            QCOMPARE(questions[0].text, QStringLiteral("该型号已经存在，是否覆盖？"));
            QCOMPARE(questions[0].buttons, QMessageBox::Yes | QMessageBox::No);
            QCOMPARE(add->isEnabled(), answer == QMessageBox::No);
            // The table is not refilled either way.
            QCOMPARE(tableRows(&dialog).first(), QStringLiteral("Acme/X1/1 MByte"));

            dialog.close();
            const QList<CHIP_INFO> saved = readList();
            if (answer == QMessageBox::No) {
                QCOMPARE(names(saved), QStringList({"Acme/X1", "Acme/X1", "Beta/B1"}));
                for (const CHIP_INFO& chip : saved)
                    QCOMPARE(chip.Config.NumPages, 4096);
            } else {
                // The first record with the model is replaced, manufacturer included.
                QCOMPARE(names(saved), QStringList({"Acme/X1", "Beta/X1", "Beta/B1"}));
                QCOMPARE(saved[1].Config.NumPages, 77);
                QCOMPARE(saved[0].Config.NumPages, 4096);
            }
        }
    }

    void addWithEmptyNamesDoesNothing()
    {
        writeList({makeChip("Acme", "A1")});
        ScriptedInteraction ui;
        ChipListDialog dialog(ui, nullptr);
        auto* add = child<QPushButton>(&dialog, "addPushButton");
        ui.dialogScripts.enqueue(acceptWithPages(5));
        child<QPushButton>(&dialog, "instructionsPushButton")->click();
        ui.clear();
        for (const auto& pair :
             {qMakePair(QString(), QStringLiteral("M")), qMakePair(QStringLiteral("M"), QString())}) {
            setNames(&dialog, pair.first, pair.second);
            add->click();
            QVERIFY(add->isEnabled());
        }
        QVERIFY(ui.calls.isEmpty());
        QCOMPARE(tableRows(&dialog).size(), 1);
    }

    void tooLongNamesAreRefused()
    {
        writeList({makeChip("Acme", "A1")});
        ScriptedInteraction ui;
        ChipListDialog dialog(ui, nullptr);
        auto* add = child<QPushButton>(&dialog, "addPushButton");
        ui.dialogScripts.enqueue(acceptWithPages(5));
        child<QPushButton>(&dialog, "instructionsPushButton")->click();

        const QString fits = QString(21, QChar(0x82AF));    // 21 x 3 bytes = 63
        const QString tooLong = QString(22, QChar(0x82AF)); // 66 bytes
        for (const auto& pair :
             {qMakePair(tooLong, QStringLiteral("M1")), qMakePair(QStringLiteral("Acme"), tooLong),
              qMakePair(QStringLiteral("Acme"), QString(64, QLatin1Char('m')))}) {
            ui.clear();
            setNames(&dialog, pair.first, pair.second);
            add->click();
            QCOMPARE(ui.calls.size(), 1);
            QCOMPARE(ui.calls[0].kind, InteractionCall::Warning);
            QCOMPARE(ui.calls[0].parent.data(), static_cast<QWidget*>(&dialog));
            QCOMPARE(ui.calls[0].title, QStringLiteral("警告"));
            QCOMPARE(ui.calls[0].text, QStringLiteral("厂商或型号名称过长（最多63字节）！"));
            QVERIFY(add->isEnabled());
            QCOMPARE(child<QLineEdit>(&dialog, "manufacturerLineEdit")->text(), pair.first);
            QCOMPARE(tableRows(&dialog).size(), 1);
        }

        ui.clear();
        setNames(&dialog, fits, QString(63, QLatin1Char('m')));
        add->click();
        QVERIFY(ui.calls.isEmpty());
        QVERIFY(!add->isEnabled());
        dialog.close();
        const QList<CHIP_INFO> saved = readList();
        QCOMPARE(saved.size(), 2);
        const CHIP_INFO& added = chipManufacturer(saved[0]) == fits ? saved[0] : saved[1];
        QCOMPARE(chipManufacturer(added), fits);
        QCOMPARE(chipModelName(added), QString(63, QLatin1Char('m')));
        QCOMPARE(added.Manufacturer[63], '\0');
        QCOMPARE(added.ModelName[63], '\0');
    }

    void closeSavesEscapeDoesNot()
    {
        writeList({makeChip("Beta", "B1"), makeChip("Acme", "A1")});
        const QByteArray before = fileBytes();
        {
            ScriptedInteraction ui;
            ChipListDialog dialog(ui, nullptr);
            dialog.show();
            deleteRow(&dialog, 0);
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        QCOMPARE(fileBytes(), before);
        {
            ScriptedInteraction ui;
            ChipListDialog dialog(ui, nullptr);
            dialog.show();
            deleteRow(&dialog, 0);
            QVERIFY(dialog.close());
            QVERIFY(!dialog.isVisible());
            QVERIFY(ui.calls.isEmpty());
        }
        QCOMPARE(names(readList()), QStringList({"Acme/A1"}));
    }

    void shortWriteIsAFailure()
    {
        // The write stops after 100 bytes; the old file must stay whole and the failure be told.
        writeList({makeChip("Acme", "A1"), makeChip("Acme", "A2"), makeChip("Acme", "A3")});
        const QByteArray before = fileBytes();
        QString error;
        bool written = true;
        {
            FileSizeLimit limit(100);
            QVERIFY(limit.active);
            written = writeChipListFile(kFile, {makeChip("Beta", "B1"), makeChip("Beta", "B2")}, &error);
        }
        QVERIFY(!written);
        QCOMPARE(error, QStringLiteral("File too large"));
        QCOMPARE(fileBytes(), before);
        QCOMPARE(QDir(QStringLiteral(".")).entryList(QDir::Files), QStringList({"ChipListData.dat"}));
    }

    void failedSaveKeepsTheOldFile()
    {
        writeList({makeChip("Beta", "B1"), makeChip("Acme", "A1"), makeChip("Acme", "A2")});
        const QByteArray before = fileBytes();
        ScriptedInteraction ui;
        ChipListDialog dialog(ui, nullptr);
        dialog.show();
        deleteRow(&dialog, 2);

        {
            FileSizeLimit limit(100);
            QVERIFY(limit.active);
            dialog.close();
        }

        QCOMPARE(ui.calls.size(), 1);
        QCOMPARE(ui.calls[0].kind, InteractionCall::Warning);
        QCOMPARE(ui.calls[0].parent.data(), static_cast<QWidget*>(&dialog));
        QCOMPARE(ui.calls[0].title, QStringLiteral("Korvane SPI Flash Program"));
        QVERIFY(ui.calls[0].text.startsWith(QStringLiteral("不能打开文件 ./ChipListData.dat:\n")));
        QCOMPARE(fileBytes(), before);
        QCOMPARE(QDir(QStringLiteral(".")).entryList(QDir::Files), QStringList({"ChipListData.dat"}));
        // The edit is still in the dialog; a later successful save stores it.
        QCOMPARE(tableRows(&dialog).size(), 2);
        dialog.close();
        QCOMPARE(names(readList()), QStringList({"Acme/A1", "Beta/B1"}));
    }
};

QTEST_MAIN(TestChipDialogs)
#include "tst_chipdialogs.moc"
