// Before any Qt header: the adapter headers use a name that Qt defines as a macro.
#include "tests/support/simulatedtestadapter.h"

#include "app/mainwindow.h"
#include "gui/firmwareservice.h"
#include "tests/support/scriptedinteraction.h"
#include "tests/support/virtualclock.h"

#include <QAction>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <cstring>
#include <functional>
#include <memory>

using namespace korvane;

namespace {

const char* const kTitleWarning = "警告";

// The adapter, seams and window of one command, with the recorded calls of the start-up cleared.
struct Bench
{
    VirtualClock clock;
    SimulatedTestAdapter adapter{clock};
    ScriptedInteraction ui;
    std::unique_ptr<MainWindow> window;

    Bench()
    {
        adapter.sim().setAdapterCount(1);
        window = std::make_unique<MainWindow>(adapter, ui, clock);
        ui.clear();
        ui.answers.clear();
        adapter.clearLog();
        clock.sleepCount = 0;
        clock.totalSleptMs = 0;
    }

    void trigger(const char* action)
    {
        auto* a = window->findChild<QAction*>(QString::fromLatin1(action));
        QVERIFY2(a, action);
        a->trigger();
    }
    void selectDevice(int row)
    {
        window->findChild<QComboBox*>(QStringLiteral("devIndexComboBox"))->setCurrentIndex(row);
    }

    std::vector<AdapterCall> jumpsTo(std::uint32_t address) const
    {
        std::vector<AdapterCall> out;
        for (const auto& c : adapter.callsOf(AdapterOp::JumpToAddress))
            if (c.address == address)
                out.push_back(c);
        return out;
    }
};

QByteArray pattern(int size, int seed)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 31 + seed * 7 + (i >> 8)) & 0xFF);
    return data;
}

// A firmware image: the data followed by its MD5 value.
QByteArray imageOf(const QByteArray& data)
{
    return data + QCryptographicHash::hash(data, QCryptographicHash::Md5);
}

QString writeFile(const QString& name, const QByteArray& bytes)
{
    QFile file(QDir::current().filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return file.fileName();
}

DEVICE_INFO knownInfo()
{
    DEVICE_INFO info{};
    std::strcpy(info.FirmwareName, "固件Alpha");
    std::strcpy(info.BuildDate, "2026-01-05");
    info.FirmwareVersion = (1u << 24) | (3u << 16) | 10u;
    info.HardwareVersion = (1u << 24) | 256u;
    info.SerialNumber[0] = 26;
    info.SerialNumber[1] = 0;
    info.SerialNumber[2] = 4294967295u;
    return info;
}

QList<int> values(std::initializer_list<int> v)
{
    return QList<int>(v);
}

} // namespace

class FirmwareTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void infoText();
    void infoShownForKnownRecord();
    void infoFailures_data();
    void infoFailures();

    void upgradeCancelledTouchesNoAdapter();
    void upgradeWritesImage_data();
    void upgradeWritesImage();
    void upgradeInUpgradeModeMakesNoJump();
    void upgradeFailures_data();
    void upgradeFailures();
    void upgradeWaitsAreBounded_data();
    void upgradeWaitsAreBounded();
    void upgradeMd5MismatchWarnsThenCloses();
    void upgradeWithTheDefaultTwoAdapters();

private:
    QTemporaryDir dir;
};

void FirmwareTest::initTestCase()
{
    QVERIFY(dir.isValid());
    // No chip database here: the window only warns about it at start.
    QVERIFY(QDir::setCurrent(dir.path()));
}

void FirmwareTest::infoText()
{
    DEVICE_INFO info = knownInfo();
    char functions[kDeviceFunctionsTextSize] = {};
    QCOMPARE(
        firmwareInfoText(info, functions),
        QStringLiteral("固件名称: 固件Alpha\n编译日期: 2026-01-05\n固件版本: v1.3.10\n硬件版本: v1.0.256\n"
                       "设备序号: 0000001A00000000FFFFFFFF\n固件功能: "));

    QCOMPARE(firmwareVersionText(0xFFFFFFFFu), QStringLiteral("v255.255.65535"));
    QCOMPARE(firmwareVersionText(0x0A0B0000u), QStringLiteral("v10.11.0"));

    // Fields without a NUL end at their last byte; nothing of the next field leaks in.
    std::memset(info.FirmwareName, 'N', sizeof info.FirmwareName);
    std::memset(info.BuildDate, 'D', sizeof info.BuildDate);
    std::array<char, kDeviceFunctionsTextSize> full;
    full.fill('F');
    const QStringList lines = firmwareInfoText(info, full.data()).split('\n');
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines[0], QStringLiteral("固件名称: ") + QString(32, 'N'));
    QCOMPARE(lines[1], QStringLiteral("编译日期: ") + QString(32, 'D'));
    QCOMPARE(lines[5], QStringLiteral("固件功能: ") + QString(kDeviceFunctionsTextSize, 'F'));

    // Text after the first NUL is not shown.
    std::memcpy(full.data(), "SPI\0I2C", 8);
    QCOMPARE(firmwareInfoText(info, full.data()).section('\n', 5), QStringLiteral("固件功能: SPI"));
}

void FirmwareTest::infoShownForKnownRecord()
{
    Bench b;
    b.adapter.sim().setDeviceInfo(0, knownInfo());
    b.adapter.sim().setFunctionsText(0, std::string("SPI Flash, I2C"));
    b.trigger("actionFirmwareInfo");

    QCOMPARE(b.ui.calls.size(), 1);
    const InteractionCall& box = b.ui.calls[0];
    QCOMPARE(box.kind, InteractionCall::About);
    QCOMPARE(box.parent.data(), static_cast<QWidget*>(b.window.get()));
    QCOMPARE(box.title, QStringLiteral("固件信息"));
    QCOMPARE(box.text, QStringLiteral("固件名称: 固件Alpha\n编译日期: 2026-01-05\n固件版本: v1.3.10\n"
                                      "硬件版本: v1.0.256\n设备序号: 0000001A00000000FFFFFFFF\n"
                                      "固件功能: SPI Flash, I2C"));
    // The adapter is left open for the next command.
    QVERIFY(b.adapter.sim().isOpen(0));
    QCOMPARE(b.adapter.countOf(AdapterOp::CloseDevice), 0);

    // A functions text filling the whole buffer is shown up to the buffer's end.
    b.ui.clear();
    const std::string full(kDeviceFunctionsTextSize, 'x');
    b.adapter.sim().setFunctionsText(0, full.data(), kDeviceFunctionsTextSize);
    b.trigger("actionFirmwareInfo");
    QCOMPARE(b.ui.messages().size(), 1);
    QVERIFY(
        b.ui.messages()[0].endsWith(QStringLiteral("固件功能: ") + QString(kDeviceFunctionsTextSize, 'x')));
}

void FirmwareTest::infoFailures_data()
{
    QTest::addColumn<int>("adapters");
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("failingOp");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("lastOp");

    const int none = 0;
    QTest::newRow("no adapter") << 0 << 0 << none << "该设备未连接！" << int(AdapterOp::ScanDevices);
    QTest::newRow("index beyond count") << 2 << 2 << none << "该设备未连接！" << int(AdapterOp::ScanDevices);
    QTest::newRow("open fails") << 1 << 0 << int(AdapterOp::OpenDevice) << "打开设备失败！"
                                << int(AdapterOp::OpenDevice);
    QTest::newRow("info fails") << 1 << 0 << int(AdapterOp::GetDeviceInfo) << "获取固件信息失败！"
                                << int(AdapterOp::GetDeviceInfo);
}

void FirmwareTest::infoFailures()
{
    QFETCH(int, adapters);
    QFETCH(int, device);
    QFETCH(int, failingOp);
    QFETCH(QString, message);
    QFETCH(int, lastOp);

    Bench b;
    b.adapter.sim().setAdapterCount(adapters);
    b.selectDevice(device);
    if (failingOp)
        b.adapter.failCall(AdapterOp(failingOp));
    b.trigger("actionFirmwareInfo");

    QCOMPARE(b.ui.calls.size(), 1);
    QCOMPARE(b.ui.calls[0].kind, InteractionCall::Warning);
    QCOMPARE(b.ui.calls[0].title, QString::fromUtf8(kTitleWarning));
    QCOMPARE(b.ui.calls[0].text, message);
    QCOMPARE(b.ui.calls[0].parent.data(), static_cast<QWidget*>(b.window.get()));
    QVERIFY(!b.adapter.calls().empty());
    QCOMPARE(int(b.adapter.calls().back().op), lastOp);
    for (const auto& c : b.adapter.calls())
        if (c.op != AdapterOp::ScanDevices)
            QCOMPARE(c.device, device);
}

void FirmwareTest::upgradeCancelledTouchesNoAdapter()
{
    Bench b;
    b.trigger("actionUpgrade");

    QCOMPARE(b.ui.calls.size(), 1);
    const InteractionCall& dialog = b.ui.calls[0];
    QCOMPARE(dialog.kind, InteractionCall::OpenFile);
    QCOMPARE(dialog.title, QStringLiteral("打开固件文件"));
    QCOMPARE(dialog.text, QStringLiteral("Binary Files (*.bin);;All Files (*.*)"));
    QCOMPARE(dialog.parent.data(), static_cast<QWidget*>(b.window.get()));
    QVERIFY(b.adapter.calls().empty());
    QVERIFY(b.ui.progresses.isEmpty());
}

void FirmwareTest::upgradeWritesImage_data()
{
    QTest::addColumn<int>("dataLength");
    QTest::addColumn<QList<int>>("bar");

    // 60 + (blocks written x 204800) / data length, then 100 after a short last block.
    QTest::newRow("one block") << 5120 << values({10, 20, 30, 40, 50, 60, 100});
    QTest::newRow("three blocks") << 3 * 5120 << values({10, 20, 30, 40, 50, 60, 73, 86, 100});
    QTest::newRow("100 bytes") << 100 << values({10, 20, 30, 40, 50, 60, 100});
    QTest::newRow("two blocks and 100") << 2 * 5120 + 100 << values({10, 20, 30, 40, 50, 60, 79, 99, 100});
    QTest::newRow("one byte") << 1 << values({10, 20, 30, 40, 50, 60, 100});
}

void FirmwareTest::upgradeWritesImage()
{
    QFETCH(int, dataLength);
    QFETCH(QList<int>, bar);

    Bench b;
    const QByteArray data = pattern(dataLength, dataLength);
    const QByteArray image = imageOf(data);
    const QString path = writeFile(QStringLiteral("fw.bin"), image);
    QVERIFY(!path.isEmpty());
    b.ui.fileNames << path;
    QVERIFY(!b.adapter.sim().inUpgradeMode(0));
    b.trigger("actionUpgrade");

    // Messages and dialog.
    QCOMPARE(b.ui.messages(), QStringList{QStringLiteral("固件更新成功！")});
    const InteractionCall& done = b.ui.calls.last();
    QCOMPARE(done.kind, InteractionCall::Information);
    QCOMPARE(done.title, QStringLiteral("消息"));
    QCOMPARE(done.parent.data(), static_cast<QWidget*>(b.window.get()));
    QVERIFY(!done.progressVisible);
    QCOMPARE(b.ui.progresses.size(), 1);
    const ProgressRecord& progress = *b.ui.progresses[0];
    QCOMPARE(progress.title, QStringLiteral("固件更新"));
    QCOMPARE(progress.parent.data(), static_cast<QWidget*>(b.window.get()));
    QCOMPARE(progress.minimum, 0);
    QCOMPARE(progress.maximum, 100);
    QCOMPARE(progress.labels,
             (QStringList{"正在检测设备，请稍后...\n", "查找设备...", "打开设备...", "获取设备信息...",
                          "进入升级模式...", "检测固件文件...", "擦除固件...", "正在更新固件，请稍后..."}));
    QCOMPARE(progress.values, bar);
    QVERIFY(progress.closed);
    QVERIFY(!progress.visible);

    // The adapter calls, in order.
    const std::uint32_t app = 0x08020000;
    const auto L = std::uint32_t(image.size());
    const auto D = std::uint32_t(dataLength);
    std::vector<AdapterOp> expected = {AdapterOp::ScanDevices, AdapterOp::OpenDevice,
                                       AdapterOp::GetDeviceInfo, AdapterOp::JumpToAddress,
                                       AdapterOp::CloseDevice};
    // The adapter is gone for 1.5 s: the scans after 500 and 1000 ms miss it, the one after 1500 ms
    // finds it; it opens at once.
    for (int i = 0; i < 3; ++i)
        expected.push_back(AdapterOp::ScanDevices);
    expected.insert(expected.end(), {AdapterOp::OpenDevice, AdapterOp::GetDeviceInfo,
                                     AdapterOp::CheckFirmwareFile, AdapterOp::EraseFirmware});
    const int blocks = dataLength / 5120 + (dataLength % 5120 ? 1 : 0);
    for (int i = 0; i < blocks + 1; ++i)
        expected.push_back(AdapterOp::WriteFirmware);
    expected.insert(expected.end(),
                    {AdapterOp::CheckFirmwareMd5, AdapterOp::JumpToAddress, AdapterOp::CloseDevice});
    QVERIFY(b.adapter.sequence() == expected);
    QCOMPARE(b.clock.sleepCount, 4);
    QCOMPARE(b.clock.totalSleptMs, 3 * 500 + 100);

    QCOMPARE(b.jumpsTo(0x08000000).size(), std::size_t(1));
    QCOMPARE(b.adapter.callsOf(AdapterOp::CheckFirmwareFile)[0].path, QFile::encodeName(path).toStdString());
    const AdapterCall erase = b.adapter.callsOf(AdapterOp::EraseFirmware)[0];
    QCOMPARE(erase.address, app);
    QCOMPARE(erase.endAddress, app + L);

    const auto writes = b.adapter.callsOf(AdapterOp::WriteFirmware);
    for (int i = 0; i < blocks; ++i) {
        QCOMPARE(writes[i].address, app + std::uint32_t(i) * 5120);
        QCOMPARE(writes[i].count, std::min<std::uint32_t>(5120, D - std::uint32_t(i) * 5120));
        QCOMPARE(writes[i].flag, 1);
    }
    QCOMPARE(writes.back().address, app + D);
    QCOMPARE(writes.back().count, 16u);
    QCOMPARE(writes.back().flag, 0);
    const AdapterCall check = b.adapter.callsOf(AdapterOp::CheckFirmwareMd5)[0];
    QCOMPARE(check.address, app);
    QCOMPARE(check.count, D);
    QCOMPARE(b.jumpsTo(app).size(), std::size_t(1));
    for (const auto& c : b.adapter.calls())
        if (c.op != AdapterOp::ScanDevices && c.op != AdapterOp::CheckFirmwareFile)
            QCOMPARE(c.device, 0);

    // The adapter now runs the new firmware: its application area holds the image.
    QVERIFY(!b.adapter.sim().inUpgradeMode(0));
    const std::vector<std::uint8_t>& area = b.adapter.sim().applicationArea(0);
    QVERIFY(area.size() >= L);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(area.data()), int(L)), image);
    const std::vector<std::uint8_t>& running = b.adapter.sim().runningApplication(0);
    QVERIFY(!running.empty());
    QVERIFY(QByteArray(reinterpret_cast<const char*>(running.data()), int(running.size())).startsWith(data));
}

void FirmwareTest::upgradeInUpgradeModeMakesNoJump()
{
    Bench b;
    b.adapter.sim().setUpgradeMode(0, true);
    const QByteArray data = pattern(2 * 5120, 3);
    b.ui.fileNames << writeFile(QStringLiteral("mode.bin"), imageOf(data));
    b.trigger("actionUpgrade");

    QCOMPARE(b.ui.messages(), QStringList{QStringLiteral("固件更新成功！")});
    QCOMPARE(b.jumpsTo(0x08000000).size(), std::size_t(0));
    QCOMPARE(b.adapter.countOf(AdapterOp::GetDeviceInfo), 1);
    QCOMPARE(b.adapter.countOf(AdapterOp::CloseDevice), 1); // only after the final jump
    QCOMPARE(b.clock.sleepCount, 0);
    const QStringList labels = b.ui.progresses[0]->labels;
    QCOMPARE(labels.indexOf(QStringLiteral("检测固件文件...")),
             labels.indexOf(QStringLiteral("进入升级模式...")) + 1);
    QCOMPARE(b.ui.progresses[0]->values, values({10, 20, 30, 40, 50, 60, 80, 100}));
}

// One failing step of the upgrade: the set-up, the warning, and the last adapter operation.
using Setup = std::function<void(Bench&)>;
Q_DECLARE_METATYPE(Setup)

void FirmwareTest::upgradeFailures_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<int>("fileLength"); // -1: a file that is not there
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("lastOp"); // 0: no adapter call at all
    QTest::addColumn<QList<int>>("bar");

    const Setup nothing = [](Bench&) {};
    const auto failing = [](AdapterOp op, int nth) {
        return Setup([=](Bench& b) { b.adapter.failCall(op, nth); });
    };
    const QList<int> toFile = values({10, 20, 30, 40, 50});

    QTest::newRow("file missing") << nothing << -1 << "打开固件文件失败！" << 0 << values({});
    QTest::newRow("no adapter") << Setup([](Bench& b) { b.adapter.sim().setAdapterCount(0); }) << 5136
                                << "无设备连接！" << int(AdapterOp::ScanDevices) << values({10});
    // Any connected adapter passes the scan; the index meets its first check at the open.
    QTest::newRow("index not connected")
        << Setup([](Bench& b) { b.selectDevice(3); }) << 5136 << "打开设备失败！"
        << int(AdapterOp::OpenDevice) << values({10, 20});
    QTest::newRow("open fails") << failing(AdapterOp::OpenDevice, 1) << 5136 << "打开设备失败！"
                                << int(AdapterOp::OpenDevice) << values({10, 20});
    QTest::newRow("info fails") << failing(AdapterOp::GetDeviceInfo, 1) << 5136 << "获取固件信息失败！"
                                << int(AdapterOp::GetDeviceInfo) << values({10, 20, 30});
    QTest::newRow("file refused") << failing(AdapterOp::CheckFirmwareFile, 1) << 5136 << "固件文件校验失败！"
                                  << int(AdapterOp::CheckFirmwareFile) << toFile;
    // Too short to hold any firmware data: refused before the library or the adapter sees it.
    QTest::newRow("empty file") << nothing << 0 << "固件文件校验失败！" << int(AdapterOp::GetDeviceInfo)
                                << toFile;
    QTest::newRow("MD5 value only") << nothing << 16 << "固件文件校验失败！" << int(AdapterOp::GetDeviceInfo)
                                    << toFile;
    QTest::newRow("erase fails") << failing(AdapterOp::EraseFirmware, 1) << 5136 << "固件擦除失败！"
                                 << int(AdapterOp::EraseFirmware) << values({10, 20, 30, 40, 50, 60});
    QTest::newRow("second block fails")
        << failing(AdapterOp::WriteFirmware, 2) << 3 * 5120 + 16 << "写固件数据失败！"
        << int(AdapterOp::WriteFirmware) << values({10, 20, 30, 40, 50, 60, 73});
    QTest::newRow("short block fails")
        << failing(AdapterOp::WriteFirmware, 2) << 5120 + 116 << "写固件数据失败！"
        << int(AdapterOp::WriteFirmware) << values({10, 20, 30, 40, 50, 60, 99});
    QTest::newRow("MD5 write fails") << failing(AdapterOp::WriteFirmware, 3) << 2 * 5120 + 16
                                     << "写固件MD5值失败！" << int(AdapterOp::WriteFirmware)
                                     << values({10, 20, 30, 40, 50, 60, 80, 100});
}

void FirmwareTest::upgradeFailures()
{
    QFETCH(Setup, setup);
    QFETCH(int, fileLength);
    QFETCH(QString, message);
    QFETCH(int, lastOp);
    QFETCH(QList<int>, bar);

    Bench b;
    if (fileLength < 0) {
        b.ui.fileNames << QDir::current().filePath(QStringLiteral("missing.bin"));
    } else {
        const QByteArray image =
            fileLength >= 16 ? imageOf(pattern(fileLength - 16, 5)) : pattern(fileLength, 5);
        QCOMPARE(image.size(), fileLength);
        b.ui.fileNames << writeFile(QStringLiteral("fail.bin"), image);
    }
    setup(b);
    b.trigger("actionUpgrade");

    // One warning, after the dialog has gone.
    QCOMPARE(b.ui.messages(), QStringList{message});
    const InteractionCall& warning = b.ui.calls.last();
    QCOMPARE(warning.kind, InteractionCall::Warning);
    QCOMPARE(warning.title, QString::fromUtf8(kTitleWarning));
    QCOMPARE(warning.parent.data(), static_cast<QWidget*>(b.window.get()));
    QVERIFY(!warning.progressVisible);
    QCOMPARE(b.ui.progresses.size(), 1);
    QVERIFY(b.ui.progresses[0]->closed);
    QCOMPARE(b.ui.progresses[0]->values, bar);

    if (lastOp == 0)
        QVERIFY(b.adapter.calls().empty());
    else
        QCOMPARE(int(b.adapter.calls().back().op), lastOp);
    // Nothing reaches the adapter's memory before the image has been accepted, and no failure
    // restarts the application.
    if (lastOp != int(AdapterOp::EraseFirmware) && lastOp != int(AdapterOp::WriteFirmware))
        QCOMPARE(b.adapter.countOf(AdapterOp::EraseFirmware), 0);
    QCOMPARE(b.jumpsTo(0x08020000).size(), std::size_t(0));
    QCOMPARE(b.adapter.countOf(AdapterOp::CheckFirmwareMd5), 0);
}

void FirmwareTest::upgradeWaitsAreBounded_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("jumps");
    QTest::addColumn<int>("scansAfterJumps");
    QTest::addColumn<int>("opensAfterJumps");
    QTest::addColumn<int>("sleptMs");

    QTest::newRow("never reappears") << Setup([](Bench& b) { b.adapter.sim().setNeverReappear(0, true); })
                                     << "无设备连接！" << 1 << 52 << 0 << 52 * 500;
    // Every open after the first fails: 52 tries of 100 ms after the adapter has been found.
    QTest::newRow("cannot reopen") << Setup([](Bench& b) {
        for (int n = 2; n <= 53; ++n)
            b.adapter.failCall(AdapterOp::OpenDevice, n);
    }) << "打开设备失败！" << 1 << 3
                                   << 52 << 3 * 500 + 52 * 100;
    // Back in its application after every jump: three jumps, then the command gives up.
    QTest::newRow("never in upgrade mode")
        << Setup([](Bench& b) { b.adapter.sim().setIgnoreUpgradeJump(0, true); }) << "获取固件信息失败！" << 3
        << 3 * 3 << 3 << 3 * (3 * 500 + 100);
    // A failed information read after the jump asks for another jump; the second one works.
    QTest::newRow("info fails after jump")
        << Setup([](Bench& b) { b.adapter.failCall(AdapterOp::GetDeviceInfo, 2); }) << "固件更新成功！" << 2
        << 2 * 3 << 2 << 2 * (3 * 500 + 100);
}

void FirmwareTest::upgradeWaitsAreBounded()
{
    QFETCH(Setup, setup);
    QFETCH(QString, message);
    QFETCH(int, jumps);
    QFETCH(int, scansAfterJumps);
    QFETCH(int, opensAfterJumps);
    QFETCH(int, sleptMs);

    Bench b;
    b.ui.fileNames << writeFile(QStringLiteral("wait.bin"), imageOf(pattern(5120, 9)));
    setup(b);
    b.trigger("actionUpgrade");

    QCOMPARE(b.ui.messages(), QStringList{message});
    QCOMPARE(b.ui.progresses.size(), 1);
    QVERIFY(b.ui.progresses[0]->closed);
    QVERIFY(!b.ui.calls.last().progressVisible);
    QCOMPARE(int(b.jumpsTo(0x08000000).size()), jumps);
    // The first scan and open come before any jump.
    QCOMPARE(b.adapter.countOf(AdapterOp::ScanDevices) - 1, scansAfterJumps);
    QCOMPARE(b.adapter.countOf(AdapterOp::OpenDevice) - 1, opensAfterJumps);
    QCOMPARE(b.clock.totalSleptMs, std::int64_t(sleptMs));
    // Events are not processed during the waits: the bar stays at 40 through them.
    QCOMPARE(b.ui.progresses[0]->values.mid(0, 4), values({10, 20, 30, 40}));
    const bool success = message == QStringLiteral("固件更新成功！");
    QCOMPARE(b.adapter.countOf(AdapterOp::EraseFirmware), success ? 1 : 0);
}

void FirmwareTest::upgradeMd5MismatchWarnsThenCloses()
{
    Bench b;
    b.ui.fileNames << writeFile(QStringLiteral("md5.bin"), imageOf(pattern(5120 + 7, 11)));
    b.adapter.failCall(AdapterOp::CheckFirmwareMd5);
    b.trigger("actionUpgrade");

    QCOMPARE(b.ui.messages(), QStringList{QStringLiteral("MD5值校验失败！")});
    // The warning comes while the dialog still shows, the adapter is closed after it.
    const InteractionCall& warning = b.ui.calls.last();
    QCOMPARE(warning.title, QString::fromUtf8(kTitleWarning));
    QCOMPARE(warning.parent.data(), static_cast<QWidget*>(b.window.get()));
    QVERIFY(warning.progressVisible);
    QVERIFY(b.ui.progresses[0]->closed);
    QVERIFY(!b.ui.progresses[0]->visible);
    QCOMPARE(b.adapter.calls().back().op, AdapterOp::CloseDevice);
    QCOMPARE(b.adapter.calls().back().device, 0);
    QCOMPARE(b.adapter.calls()[b.adapter.calls().size() - 2].op, AdapterOp::CheckFirmwareMd5);
    QCOMPARE(b.jumpsTo(0x08020000).size(), std::size_t(0));
    QVERIFY(b.adapter.sim().runningApplication(0).empty());
}

void FirmwareTest::upgradeWithTheDefaultTwoAdapters()
{
    // The program's own simulation: the other adapter is there throughout, so the wait for the
    // restarting one to reappear ends at the first scan and the open attempts wait out its restart.
    VirtualClock clock;
    auto adapter = createDefaultTestAdapter(clock);
    ScriptedInteraction ui;
    MainWindow window(*adapter, ui, clock);
    auto trigger = [&](const char* name) {
        window.findChild<QAction*>(QString::fromLatin1(name))->trigger();
    };
    ui.clear();
    adapter->clearLog();
    const QByteArray data = pattern(3 * 5120 + 7, 21);
    ui.fileNames << writeFile(QStringLiteral("two.bin"), imageOf(data));
    trigger("actionUpgrade");

    QCOMPARE(ui.messages(), QStringList{QStringLiteral("固件更新成功！")});
    QCOMPARE(adapter->countOf(AdapterOp::ScanDevices), 2);
    const int opensAfterJump = SimulatedAdapter::kDefaultRestartMs / 100 - 500 / 100;
    QCOMPARE(adapter->countOf(AdapterOp::OpenDevice), 1 + opensAfterJump);
    QCOMPARE(clock.totalSleptMs, std::int64_t(500 + opensAfterJump * 100));
    QVERIFY(!adapter->sim().inUpgradeMode(0));
    const std::vector<std::uint8_t>& running = adapter->sim().runningApplication(0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(running.data()), int(running.size())), data);
    QVERIFY(adapter->sim().runningApplication(1).empty());

    // The new firmware restarts as the command ends; by the time the user has read the success
    // box it is back, for this command and every one after it.
    QVERIFY(adapter->sim().isRestarting(0));
    clock.sleep(SimulatedAdapter::kDefaultRestartMs);
    for (int i = 0; i < 2; ++i) {
        ui.clear();
        trigger("actionFirmwareInfo");
        QCOMPARE(ui.calls.size(), 1);
        QCOMPARE(ui.calls[0].kind, InteractionCall::About);
        QVERIFY(ui.calls[0].text.contains(QStringLiteral("设备序号: ")));
    }
}

QTEST_MAIN(FirmwareTest)
#include "tst_firmware.moc"
