#include "app/mainwindow.h"
#include "core/base/version.h"
#include "core/chip/chiplist.h"
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"
#include "tests/support/scriptedinteraction.h"
#include "tests/support/simulatedtestadapter.h"
#include "tests/support/virtualclock.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QToolBar>
#include <QVBoxLayout>
#include <QtTest>

#include <cstring>
#include <memory>

using namespace korvane;

namespace {

CHIP_INFO makeChip(const QString& manufacturer, const QString& model, std::int32_t pageSize,
                   std::int32_t numPages)
{
    CHIP_INFO chip{};
    chip.Config.WriteEnable = 0x06;
    chip.Config.ReadID = 0x9F;
    chip.Config.FlashID[0] = 0xEF;
    chip.Config.IDLength = 3;
    chip.Config.PageSize = pageSize;
    chip.Config.NumPages = numPages;
    chip.Config.SectorSize = 4096;
    chip.Config.WritePageAddrBytes = chip.Config.EraseSectorAddrBytes = chip.Config.ReadDataAddrBytes = 3;
    if (!setChipName(chip.Manufacturer, manufacturer) || !setChipName(chip.ModelName, model))
        qFatal("test name too long");
    return chip;
}

CHIP_INFO mib(const QString& manufacturer, const QString& model, int mebibytes)
{
    return makeChip(manufacturer, model, 256, mebibytes * 4096);
}

QByteArray imageOf(const QList<CHIP_INFO>& chips)
{
    QByteArray bytes;
    for (const CHIP_INFO& chip : chips)
        bytes.append(reinterpret_cast<const char*>(&chip), sizeof(CHIP_INFO));
    return bytes;
}

QByteArray imageOf(const CHIP_INFO& chip)
{
    return QByteArray(reinterpret_cast<const char*>(&chip), sizeof chip);
}

QStringList itemsOf(const QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

QStringList actionNames(const QList<QAction*>& actions)
{
    QStringList names;
    for (const QAction* action : actions)
        names << (action->isSeparator() ? QStringLiteral("|") : action->objectName());
    return names;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formObjectsTextsAndLayout();
    void menusToolBarAndActions();
    void everyIconResourceLoads();
    void loadingSelectsFirstManufacturerAndModel();
    void selectingASmallerChipLowersTheStartAddress();
    void sameModelUnderTwoManufacturersTakesTheLaterRecord();
    void missingDatabaseWarnsAndLeavesBoxesEmpty();
    void emptyDatabaseLeavesCurrentChipZero();
    void sizeLabelEdges_data();
    void sizeLabelEdges();
    void zeroAndCorruptSizesKeepStartAddressValid();
    void largeAndGarbageDatabasesLoad();
    void aboutBox();
    void initialSizeShowsTheWholeHexView_data();
    void initialSizeShowsTheWholeHexView();

private:
    void writeDatabase(const QList<CHIP_INFO>& chips) { writeDatabase(imageOf(chips)); }
    void writeDatabase(const QByteArray& bytes);
    MainWindow& makeWindow();
    template <typename T> T* child(const char* name)
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }

    QString previousDir;
    std::unique_ptr<QTemporaryDir> dir;
    ScriptedInteraction interaction;
    VirtualClock clock;
    std::unique_ptr<AdapterLibrary> adapter;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::init()
{
    previousDir = QDir::currentPath();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(QDir::setCurrent(dir->path()));
    interaction.clear();
    adapter = createDefaultTestAdapter(clock);
}

void TestMainWindow::cleanup()
{
    window.reset();
    adapter.reset();
    QDir::setCurrent(previousDir);
    dir.reset();
}

void TestMainWindow::writeDatabase(const QByteArray& bytes)
{
    QFile file(QStringLiteral("ChipListData.dat"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

MainWindow& TestMainWindow::makeWindow()
{
    window = std::make_unique<MainWindow>(*adapter, interaction, clock);
    return *window;
}

void TestMainWindow::formObjectsTextsAndLayout()
{
    writeDatabase({mib("Winbond", "W25Q32", 4)});
    MainWindow& w = makeWindow();
    QCOMPARE(w.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Korvane SPI Flash Program"));
    // 730 x 500 at least; wider where the hex view needs it (initialSizeShowsTheWholeHexView).
    QCOMPARE(w.height(), 500);
    QVERIFY(w.width() >= 730);
    QVERIFY(!w.windowIcon().isNull());
    QVERIFY(interaction.calls.isEmpty());

    // Central area.
    auto* central = child<QWidget>("centralWidget");
    QCOMPARE(w.centralWidget(), central);
    auto* grid3 = qobject_cast<QGridLayout*>(central->layout());
    QVERIFY(grid3);
    QCOMPARE(grid3->objectName(), QStringLiteral("gridLayout_3"));
    QCOMPARE(grid3->spacing(), 6);
    QCOMPARE(grid3->contentsMargins(), QMargins(11, 11, 11, 11));
    auto* dataWidget = child<QWidget>("dataWidget");
    QCOMPARE(grid3->itemAtPosition(0, 0)->widget(), dataWidget);
    QCOMPARE(dataWidget->minimumSize(), QSize(560, 0));
    auto* column = qobject_cast<QVBoxLayout*>(grid3->itemAtPosition(0, 1)->layout());
    QVERIFY(column);
    QCOMPARE(column->objectName(), QStringLiteral("verticalLayout"));
    QCOMPARE(column->spacing(), 6);
    QCOMPARE(column->count(), 3);
    auto* groupBox = child<QGroupBox>("groupBox");
    auto* groupBox2 = child<QGroupBox>("groupBox_2");
    QCOMPARE(column->itemAt(0)->widget(), groupBox);
    QCOMPARE(column->itemAt(1)->widget(), groupBox2);
    QSpacerItem* spacer = column->itemAt(2)->spacerItem();
    QVERIFY(spacer);
    QCOMPARE(spacer->sizeHint(), QSize(20, 40));
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);

    // Settings panel: one labelled field per row.
    QCOMPARE(groupBox->title(), QStringLiteral("芯片信息"));
    auto* grid = qobject_cast<QGridLayout*>(groupBox->layout());
    QVERIFY(grid);
    QCOMPARE(grid->objectName(), QStringLiteral("gridLayout"));
    QCOMPARE(grid->spacing(), 6);
    QCOMPARE(grid->contentsMargins(), QMargins(11, 11, 11, 11));
    const struct
    {
        const char* layout;
        const char* label;
        const char* text;
        const char* field;
    } rows[] = {
        {"horizontalLayout", "label", "设备：", "devIndexComboBox"},
        {"horizontalLayout_2", "label_2", "通道：", "spiIndexComboBox"},
        {"horizontalLayout_3", "label_6", "速度：", "speedComboBox"},
        {"horizontalLayout_4", "label_3", "厂商：", "manufacturerComboBox"},
        {"horizontalLayout_5", "label_4", "型号：", "modelNameComboBox"},
        {"horizontalLayout_6", "label_5", "容量：", "memSizeLabel"},
        {"horizontalLayout_7", "label_7", "地址：", "startAddrSpinBox"},
    };
    QCOMPARE(grid->rowCount(), 7);
    for (int row = 0; row < 7; ++row) {
        auto* line = qobject_cast<QHBoxLayout*>(grid->itemAtPosition(row, 0)->layout());
        QVERIFY(line);
        QCOMPARE(line->objectName(), QLatin1String(rows[row].layout));
        QCOMPARE(line->spacing(), 6);
        QCOMPARE(line->count(), 2);
        auto* label = qobject_cast<QLabel*>(line->itemAt(0)->widget());
        QVERIFY(label);
        QCOMPARE(label->objectName(), QLatin1String(rows[row].label));
        QCOMPARE(label->text(), QString::fromUtf8(rows[row].text));
        QWidget* field = line->itemAt(1)->widget();
        QCOMPARE(field->objectName(), QLatin1String(rows[row].field));
        QCOMPARE(field->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
        QCOMPARE(field->sizePolicy().verticalPolicy(),
                 row == 5 ? QSizePolicy::Preferred : QSizePolicy::Fixed);
    }

    auto* devices = child<QComboBox>("devIndexComboBox");
    QCOMPARE(itemsOf(devices), (QStringList{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    auto* ports = child<QComboBox>("spiIndexComboBox");
    QCOMPARE(itemsOf(ports), (QStringList{"SPI1-CS0", "SPI1-CS1", "SPI1-CS2", "SPI1-CS3", "SPI1-CS4",
                                          "SPI2-CS0", "SPI2-CS1", "SPI2-CS2", "SPI2-CS3", "SPI2-CS4"}));
    auto* speeds = child<QComboBox>("speedComboBox");
    QCOMPARE(itemsOf(speeds), (QStringList{"50 MHz", "25 MHz", "12.5 MHz", "6.25 MHz", "3.125 MHz"}));
    for (QComboBox* box : {devices, ports, speeds})
        QCOMPARE(box->currentIndex(), 0);
    auto* size = child<QLabel>("memSizeLabel");
    QCOMPARE(size->frameShape(), QFrame::WinPanel);
    QCOMPARE(size->frameShadow(), QFrame::Sunken);
    auto* start = child<QSpinBox>("startAddrSpinBox");
    QCOMPARE(start->displayIntegerBase(), 16);
    QCOMPARE(start->minimum(), 0);
    QCOMPARE(start->value(), 0);

    // Operation buttons.
    QCOMPARE(groupBox2->title(), QStringLiteral("操作"));
    auto* grid2 = qobject_cast<QGridLayout*>(groupBox2->layout());
    QVERIFY(grid2);
    QCOMPARE(grid2->objectName(), QStringLiteral("gridLayout_2"));
    const QList<QPair<const char*, const char*>> buttons{{"eraseSectorPushButton", "扇区擦除"},
                                                         {"eraseChipPushButton", "整片擦除"},
                                                         {"writeDataPushButton", "写入数据"},
                                                         {"readDataPushButton", "读出数据"},
                                                         {"verifyPushButton", "校验数据"}};
    for (int row = 0; row < buttons.size(); ++row) {
        auto* button = qobject_cast<QPushButton*>(grid2->itemAtPosition(row, 0)->widget());
        QVERIFY(button);
        QCOMPARE(button->objectName(), QLatin1String(buttons[row].first));
        QCOMPARE(button->text(), QString::fromUtf8(buttons[row].second));
    }
}

void TestMainWindow::menusToolBarAndActions()
{
    writeDatabase(QList<CHIP_INFO>{});
    MainWindow& w = makeWindow();

    const QList<QPair<const char*, QPair<const char*, const char*>>> actions{
        {"actionOpenFile", {"打开文件", ":/images/gif_48_072.gif"}},
        {"actionAddChip", {"新增芯片", ":/images/chip.png"}},
        {"actionSaveAs", {"文件另存为...", ":/images/gif_48_089.gif"}},
        {"actionEraseChip", {"整片擦除", ":/images/erase.png"}},
        {"actionEraseSector", {"扇区擦除", ":/images/erase_sector.png"}},
        {"actionWrite", {"写入数据", ":/images/download.png"}},
        {"actionRead", {"读出数据", ":/images/upload.png"}},
        {"actionVerify", {"校验数据", ":/images/check.png"}},
        {"actionHelp", {"帮助", ":/images/help.png"}},
        {"actionChipDetect", {"芯片识别", ":/images/gif_48_091.gif"}},
        {"actionFirmwareInfo", {"固件信息", ":/images/firmwareInfo.png"}},
        {"actionUpgrade", {"固件升级", ":/images/upgrade.png"}},
        {"actionSmartWrite", {"智能写入", ":/images/smartwrite.png"}},
        {"actionBlankCheck", {"查空", ":/images/blankcheck.png"}},
        {"actionStatusRegisters", {"状态寄存器", ":/images/status.png"}},
    };
    for (const auto& a : actions) {
        auto* action = child<QAction>(a.first);
        QCOMPARE(action->text(), QString::fromUtf8(a.second.first));
        // The icon shows the resource's picture.
        const QImage expected = QPixmap(QLatin1String(a.second.second)).toImage();
        QVERIFY2(!expected.isNull(), a.second.second);
        QCOMPARE(action->icon()
                     .pixmap(expected.size(), QIcon::Normal, QIcon::Off)
                     .toImage()
                     .convertToFormat(expected.format()),
                 expected);
    }

    QMenuBar* bar = w.menuBar();
    QCOMPARE(bar->objectName(), QStringLiteral("menuBar"));
    const QList<QPair<const char*, const char*>> menus{
        {"menu", "文件"}, {"menu_2", "芯片管理"}, {"menu_3", "操作"}, {"menu_4", "帮助"}};
    QCOMPARE(bar->actions().size(), 4);
    for (int i = 0; i < 4; ++i) {
        QMenu* menu = bar->actions().at(i)->menu();
        QVERIFY(menu);
        QCOMPARE(menu->objectName(), QLatin1String(menus[i].first));
        QCOMPARE(menu->title(), QString::fromUtf8(menus[i].second));
    }
    QCOMPARE(actionNames(child<QMenu>("menu")->actions()), (QStringList{"actionOpenFile", "actionSaveAs"}));
    QCOMPARE(actionNames(child<QMenu>("menu_2")->actions()),
             (QStringList{"actionAddChip", "actionChipDetect", "actionStatusRegisters"}));
    QCOMPARE(actionNames(child<QMenu>("menu_3")->actions()),
             (QStringList{"actionEraseChip", "actionEraseSector", "actionWrite", "actionRead", "actionVerify",
                          "|", "actionSmartWrite", "actionBlankCheck", "actionProduction", "|", "actionReadTwice",
                          "actionVerifyAfterWrite", "actionBlankCheckAfterErase"}));
    QCOMPARE(actionNames(child<QMenu>("menu_4")->actions()),
             (QStringList{"actionHelp", "actionFirmwareInfo", "actionUpgrade", "actionLanguage"}));
    // The switches of the 操作 menu, off until the user turns them on.
    const QList<QPair<const char*, const char*>> switches{{"actionReadTwice", "读出时读两次并比较"},
                                                          {"actionVerifyAfterWrite", "写入后校验"},
                                                          {"actionBlankCheckAfterErase", "整片擦除后查空"}};
    for (const auto& entry : switches) {
        auto* action = child<QAction>(entry.first);
        QCOMPARE(action->text(), QString::fromUtf8(entry.second));
        QVERIFY(action->isCheckable());
        QVERIFY(!action->isChecked());
    }

    auto* toolBar = child<QToolBar>("mainToolBar");
    QCOMPARE(w.toolBarArea(toolBar), Qt::TopToolBarArea);
    QCOMPARE(actionNames(toolBar->actions()),
             (QStringList{"actionOpenFile", "actionSaveAs", "|", "actionEraseSector", "actionEraseChip",
                          "actionWrite", "actionRead", "actionVerify", "actionSmartWrite", "|",
                          "actionFirmwareInfo", "actionUpgrade", "actionHelp"}));

    QCOMPARE(w.statusBar()->objectName(), QStringLiteral("statusBar"));
    QVERIFY(w.statusBar()->currentMessage().isEmpty());
}

void TestMainWindow::everyIconResourceLoads()
{
    const QStringList paths{":/images/ico.png",        ":/images/gif_48_072.gif", ":/images/chip.png",
                            ":/images/gif_48_089.gif", ":/images/erase.png",      ":/images/erase_sector.png",
                            ":/images/download.png",   ":/images/upload.png",     ":/images/check.png",
                            ":/images/help.png",       ":/images/gif_48_091.gif", ":/images/firmwareInfo.png",
                            ":/images/upgrade.png"};
    for (const QString& path : paths) {
        QImageReader reader(path);
        // The file really is of the kind its name says, not a PNG behind a .gif name.
        QCOMPARE(reader.format(), path.endsWith(".gif") ? QByteArray("gif") : QByteArray("png"));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(path + ": " + reader.errorString()));
        QCOMPARE(image.size(), QSize(48, 48));
        QVERIFY(image.hasAlphaChannel());
        QVERIFY(!QIcon(path).isNull());
    }
}

void TestMainWindow::loadingSelectsFirstManufacturerAndModel()
{
    QList<CHIP_INFO> chips{mib("Macronix", "MX25L3206E", 4), mib("Winbond", "W25Q80", 1),
                           mib("Macronix", "MX25L6406E", 8), mib("macronix", "lower", 2),
                           mib("Macronix", "MX25L3206E", 4)};
    chips[4].Config.FlashID[2] = 0x16; // the later duplicate is the one selected
    writeDatabase(chips);
    makeWindow();
    auto* makers = child<QComboBox>("manufacturerComboBox");
    auto* models = child<QComboBox>("modelNameComboBox");
    QCOMPARE(itemsOf(makers), (QStringList{"Macronix", "Winbond", "macronix"}));
    QCOMPARE(makers->currentIndex(), 0);
    // Duplicate names stay in the model list.
    QCOMPARE(itemsOf(models), (QStringList{"MX25L3206E", "MX25L6406E", "MX25L3206E"}));
    QCOMPARE(models->currentIndex(), 0);
    QCOMPARE(child<QLabel>("memSizeLabel")->text(), QStringLiteral("4 MByte"));
    QCOMPARE(imageOf(window->currentChipInfo()), imageOf(chips.at(4)));
    QCOMPARE(child<QSpinBox>("startAddrSpinBox")->maximum(), 4 * 1024 * 1024 - 1);

    makers->setCurrentIndex(2);
    QCOMPARE(itemsOf(models), QStringList{"lower"});
    QCOMPARE(imageOf(window->currentChipInfo()), imageOf(chips.at(3)));
    QCOMPARE(child<QLabel>("memSizeLabel")->text(), QStringLiteral("2 MByte"));
    QVERIFY(interaction.calls.isEmpty());
}

void TestMainWindow::selectingASmallerChipLowersTheStartAddress()
{
    writeDatabase({mib("A", "big", 16), mib("A", "small", 1), makeChip("B", "tiny", 256, 4)});
    makeWindow();
    auto* start = child<QSpinBox>("startAddrSpinBox");
    QCOMPARE(start->maximum(), 0xFFFFFF);
    start->setValue(0x800000);
    QCOMPARE(start->value(), 0x800000);
    QCOMPARE(start->text(), QStringLiteral("800000"));

    QSignalSpy lowered(start, QOverload<int>::of(&QSpinBox::valueChanged));
    child<QComboBox>("modelNameComboBox")->setCurrentIndex(1);
    QCOMPARE(start->maximum(), 0xFFFFF);
    QCOMPARE(start->value(), 0xFFFFF);
    QCOMPARE(lowered.size(), 1);
    QCOMPARE(lowered.first().first().toInt(), 0xFFFFF);

    // A value inside the new range stays.
    start->setValue(0x10);
    child<QComboBox>("manufacturerComboBox")->setCurrentIndex(1);
    QCOMPARE(child<QLabel>("memSizeLabel")->text(), QStringLiteral("1 KByte"));
    QCOMPARE(start->maximum(), 1023);
    QCOMPARE(start->value(), 0x10);
    QCOMPARE(start->minimum(), 0);
}

void TestMainWindow::sameModelUnderTwoManufacturersTakesTheLaterRecord()
{
    const QList<CHIP_INFO> chips{mib("First", "Same", 1), mib("First", "Other", 4), mib("Second", "Same", 2)};
    writeDatabase(chips);
    makeWindow();
    // First manufacturer, first model "Same": the later record in file order is applied last.
    QCOMPARE(child<QComboBox>("manufacturerComboBox")->currentText(), QStringLiteral("First"));
    QCOMPARE(child<QComboBox>("modelNameComboBox")->currentText(), QStringLiteral("Same"));
    QCOMPARE(imageOf(window->currentChipInfo()), imageOf(chips.at(2)));
    QCOMPARE(child<QLabel>("memSizeLabel")->text(), QStringLiteral("2 MByte"));
    QCOMPARE(child<QSpinBox>("startAddrSpinBox")->maximum(), 2 * 1024 * 1024 - 1);

    child<QComboBox>("modelNameComboBox")->setCurrentIndex(1);
    QCOMPARE(imageOf(window->currentChipInfo()), imageOf(chips.at(1)));
    child<QComboBox>("manufacturerComboBox")->setCurrentIndex(1);
    QCOMPARE(imageOf(window->currentChipInfo()), imageOf(chips.at(2)));
}

void TestMainWindow::missingDatabaseWarnsAndLeavesBoxesEmpty()
{
    MainWindow& w = makeWindow();
    QCOMPARE(interaction.calls.size(), 1);
    const InteractionCall& call = interaction.calls.first();
    QCOMPARE(call.kind, InteractionCall::Warning);
    QCOMPARE(call.parent.data(), &w);
    QCOMPARE(call.title, QStringLiteral("Korvane SPI Flash Program"));
    QCOMPARE(call.text, QString::fromUtf8("不能打开文件 ./ChipListData.dat:\nNo such file or directory."));
    QCOMPARE(call.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    QCOMPARE(child<QComboBox>("manufacturerComboBox")->count(), 0);
    QCOMPARE(child<QComboBox>("modelNameComboBox")->count(), 0);
    QCOMPARE(child<QLabel>("memSizeLabel")->text(), QStringLiteral("0 Byte"));
    QCOMPARE(child<QSpinBox>("startAddrSpinBox")->maximum(), 999999999);
    QCOMPARE(child<QComboBox>("devIndexComboBox")->count(), 10);
    QCOMPARE(imageOf(w.currentChipInfo()), QByteArray(172, '\0'));
}

void TestMainWindow::emptyDatabaseLeavesCurrentChipZero()
{
    writeDatabase(QByteArray());
    MainWindow& w = makeWindow();
    QVERIFY(interaction.calls.isEmpty());
    QCOMPARE(child<QComboBox>("manufacturerComboBox")->count(), 0);
    QCOMPARE(child<QLabel>("memSizeLabel")->text(), QStringLiteral("0 Byte"));
    QCOMPARE(imageOf(w.currentChipInfo()), QByteArray(172, '\0'));
    QCOMPARE(chipSize(w.currentChipInfo()), 0);

    // A single partial record is no chip list: refused whole, with the open warning.
    cleanup();
    init();
    writeDatabase(imageOf({mib("A", "B", 1)}).left(171));
    makeWindow();
    QCOMPARE(
        interaction.messages(),
        QStringList{"不能打开文件 ./ChipListData.dat:\n171 bytes, not a whole number of 172-byte records."});
    QCOMPARE(child<QComboBox>("manufacturerComboBox")->count(), 0);
    QCOMPARE(imageOf(window->currentChipInfo()), QByteArray(172, '\0'));
}

void TestMainWindow::sizeLabelEdges_data()
{
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<int>("numPages");
    QTest::addColumn<QString>("text");
    QTest::newRow("1023") << 1 << 1023 << "1023 Byte";
    QTest::newRow("1024") << 256 << 4 << "1 KByte";
    QTest::newRow("1048575") << 1 << 1048575 << "1023 KByte";
    QTest::newRow("1048576") << 256 << 4096 << "1 MByte";
    QTest::newRow("1.5 MiB") << 256 << 6144 << "1 MByte";
    QTest::newRow("one byte") << 1 << 1 << "1 Byte";
}

void TestMainWindow::sizeLabelEdges()
{
    QFETCH(int, pageSize);
    QFETCH(int, numPages);
    QFETCH(QString, text);
    // Behind a 64 MiB chip, so the label really changes.
    const QList<CHIP_INFO> chips{mib("M", "first", 64), makeChip("M", "edge", pageSize, numPages)};
    writeDatabase(chips);
    makeWindow();
    auto* label = child<QLabel>("memSizeLabel");
    QCOMPARE(label->text(), QStringLiteral("64 MByte"));
    child<QComboBox>("modelNameComboBox")->setCurrentIndex(1);
    QCOMPARE(label->text(), text);
    QCOMPARE(imageOf(window->currentChipInfo()), imageOf(chips.at(1)));
}

void TestMainWindow::zeroAndCorruptSizesKeepStartAddressValid()
{
    // A size that wraps to zero or below in 32 bits (records of 2 to 4 GiB, which the chip list
    // takes) must not push the start address below 0.
    writeDatabase(
        {mib("M", "real", 1), makeChip("M", "zero", 4096, 1 << 20), makeChip("M", "negative", 4096, 786432)});
    makeWindow();
    QVERIFY(interaction.calls.isEmpty());
    auto* start = child<QSpinBox>("startAddrSpinBox");
    start->setValue(0x1234);
    for (int row : {1, 2}) {
        child<QComboBox>("modelNameComboBox")->setCurrentIndex(row);
        QCOMPARE(start->minimum(), 0);
        QCOMPARE(start->maximum(), 0);
        QCOMPARE(start->value(), 0);
    }
    QCOMPARE(child<QLabel>("memSizeLabel")->text(), QStringLiteral("-1073741824 Byte"));
}

void TestMainWindow::largeAndGarbageDatabasesLoad()
{
    QList<CHIP_INFO> chips;
    for (int i = 0; i < 100000; ++i)
        chips << makeChip(QStringLiteral("Maker%1").arg(i % 50), QStringLiteral("Model%1").arg(i), 256,
                          1 + i);
    writeDatabase(chips);
    makeWindow();
    QCOMPARE(child<QComboBox>("manufacturerComboBox")->count(), 50);
    QCOMPARE(child<QComboBox>("modelNameComboBox")->count(), 2000);
    QCOMPARE(imageOf(window->currentChipInfo()), imageOf(chips.first()));

    cleanup();
    init();
    // Random records, one of them valid: it alone is offered, the others are left out with one
    // warning.
    QRandomGenerator random(99);
    QByteArray garbage(172 * 200, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random.bounded(256));
    CHIP_INFO valid = mib("Valid", "V1", 2);
    garbage.replace(172 * 50, 172, imageOf(valid));
    writeDatabase(garbage);
    makeWindow();
    QCOMPARE(interaction.messages().size(), 1);
    QVERIFY2(interaction.messages().first().startsWith(
                 "芯片库 ./ChipListData.dat 中有199条记录无效，已略过。\n第1条："),
             qPrintable(interaction.messages().first()));
    QCOMPARE(itemsOf(child<QComboBox>("manufacturerComboBox")), QStringList{"Valid"});
    QCOMPARE(imageOf(window->currentChipInfo()), imageOf(valid));
    QVERIFY(child<QSpinBox>("startAddrSpinBox")->minimum() == 0);
    QVERIFY(child<QSpinBox>("startAddrSpinBox")->value() >= 0);
}

void TestMainWindow::aboutBox()
{
    writeDatabase(QByteArray());
    MainWindow& w = makeWindow();
    child<QAction>("actionHelp")->trigger();
    const QList<InteractionCall> about = interaction.callsOf(InteractionCall::About);
    QCOMPARE(about.size(), 1);
    QCOMPARE(about.first().parent.data(), &w);
    QCOMPARE(about.first().title, QStringLiteral("帮助"));
    const QString text = about.first().text;
    QCOMPARE(text,
             QString::fromUtf8("官方网站<span style=\"font-size:12px;\"></span>："
                               "<a href=\"http://www.korvane.example\">http://www.korvane.example</a><br>"
                               "技术支持：0571-5550-1234<br>"
                               "版本信息：v") +
                 QLatin1String(kProgramVersion));
    QVERIFY(Qt::mightBeRichText(text));
}

void TestMainWindow::initialSizeShowsTheWholeHexView_data()
{
    QTest::addColumn<qreal>("pointSize"); // of the application font, which the view follows
    QTest::addColumn<QString>("model");   // its width sets the settings panel's
    QTest::newRow("default font") << qreal(0) << "W25Q64";
    QTest::newRow("9 point") << qreal(9) << "W25Q64";
    QTest::newRow("16 point") << qreal(16) << "W25Q64";
    // As in the bundled list: a record naming several models widens the panel beside the view.
    QTest::newRow("long model names") << qreal(0) << "W25Q64BV/W25Q64CV/W25Q64FV/W25Q64JV-IQ";
}

void TestMainWindow::initialSizeShowsTheWholeHexView()
{
    QFETCH(qreal, pointSize);
    QFETCH(QString, model);
    // The whole window in that font for the whole test.
    struct FontGuard
    {
        QFont saved = QApplication::font();
        ~FontGuard() { QApplication::setFont(saved); }
    } guard;
    if (pointSize > 0) {
        QFont font = guard.saved;
        font.setPointSizeF(pointSize);
        QApplication::setFont(font);
    }
    writeDatabase({mib("Winbond", model, 8)});
    MainWindow& w = makeWindow();
    const int initialWidth = w.width();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.width(), initialWidth);

    // A buffer of the whole chip: the address column keeps its width, every column is in view.
    QFile file(QStringLiteral("image.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(8 << 20));
    file.close();
    interaction.fileNames.enqueue(file.fileName());
    child<QAction>("actionOpenFile")->trigger();
    auto* hexEdit = w.findChild<QHexEdit*>();
    QVERIFY(hexEdit && hexEdit->data());
    QCOMPARE(hexEdit->data()->length(), qint64(8 << 20));
    QCoreApplication::processEvents();
    auto* area = hexEdit->findChild<QScrollArea*>();
    QVERIFY(area && area->widget());
    QVERIFY(area->widget()->minimumWidth() > 0);
    QVERIFY2(
        area->viewport()->width() >= area->widget()->minimumWidth(),
        qPrintable(
            QStringLiteral("%1 < %2").arg(area->viewport()->width()).arg(area->widget()->minimumWidth())));
    QVERIFY(!area->horizontalScrollBar()->isVisible());

    // As narrow as the panel allows, the character column needs the scroll bar.
    w.resize(w.minimumSizeHint().width(), w.height());
    QCoreApplication::processEvents();
    QVERIFY(area->horizontalScrollBar()->isVisible());

    // SPIFLASH_START_SCREENSHOT=<file.png> keeps the window as it starts (docs/mainwindow.png),
    // with the database SPIFLASH_CHIP_DATABASE=<file> if given.
    const QString path = qEnvironmentVariable("SPIFLASH_START_SCREENSHOT");
    if (pointSize == 0 && !path.isEmpty()) {
        window.reset();
        const QString database = qEnvironmentVariable("SPIFLASH_CHIP_DATABASE");
        if (!database.isEmpty()) {
            QFile::remove(QStringLiteral("ChipListData.dat"));
            QVERIFY(QFile::copy(database, QStringLiteral("ChipListData.dat")));
        }
        MainWindow& fresh = makeWindow();
        fresh.show();
        QVERIFY(QTest::qWaitForWindowExposed(&fresh));
        QVERIFY(fresh.grab().save(path));
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
