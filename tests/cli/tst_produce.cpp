// korvane-spi produce in-process on a bench: a virtual clock whose every sleep lets the bench put a
// chip into the simulated adapter's socket or take it out, as an operator does between units.
#include "backends/simulated/simulatedadapter.h"

#include "cli/commandline.h"
#include "tests/support/testchips.h"
#include "tests/support/virtualclock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>

using namespace korvane;

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr int kImageSize = 8192;
constexpr std::uint32_t kSerialAt = 0x100;

QString readAll(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        bytes.append(chunk, int(got));
    return QString::fromLocal8Bit(bytes);
}

// Chips come 1 s after the last one left and are taken out 5 s after they came (a unit takes far
// less); unit failUnit has its chip write-protected while its erase runs, so that nothing it
// programs takes. Without a count, Ctrl+C comes once the last chip is out.
class Bench : public VirtualClock
{
public:
    void sleep(int ms) override
    {
        VirtualClock::sleep(ms);
        if (sim == nullptr)
            return;
        SimulatedChip* chip = sim->chip(0, 0x00);
        if (chip && inserted == failUnit && chip->isBusy())
            chip->setStatusRegister(0, 0x1c);
        if (now < changeAt)
            return;
        if (chip) {
            removed.push_back(sim->detachChip(0, 0x00));
            changeAt = now + kSecond;
            if (afterRemoval)
                afterRemoval();
        } else if (inserted < units) {
            sim->attachChip(0, 0x00, createSimulatedChip("W25Q16", *this));
            ++inserted;
            changeAt = now + 5 * kSecond;
        } else if (interruptAtEnd) {
            std::raise(SIGINT);
        }
    }

    SimulatedAdapter* sim = nullptr;
    std::vector<std::unique_ptr<SimulatedChip>> removed;
    int units = 0;
    int inserted = 0;
    int failUnit = 0;
    bool interruptAtEnd = false;
    std::int64_t changeAt = kSecond;
    std::function<void()> afterRemoval;
};

} // namespace

class TestProduce : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QByteArray image;

    QString path(const QString& name) const { return dir.filePath(name); }

    // Runs korvane-spi with arguments on the bench; the simulated adapters it makes are counted.
    int run(Bench& bench, const QStringList& arguments, QString* said, int* adaptersMade = nullptr)
    {
        DeviceAccess access;
        int made = 0;
        access.simulated = [&bench, &made](Clock& clock) {
            auto adapter = std::make_unique<SimulatedAdapter>(clock);
            adapter->setAdapterCount(1);
            bench.sim = adapter.get();
            ++made;
            return std::unique_ptr<AdapterLibrary>(std::move(adapter));
        };
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        int status = -1;
        {
            CommandLine cli(bench, access, out, err);
            status = cli.run(QStringList{"korvane-spi", "-A", "sim", "-d", "0"} + arguments);
            // A run that ends at its count leaves the last chip in.
            if (bench.sim && bench.sim->chip(0, 0x00))
                bench.removed.push_back(bench.sim->detachChip(0, 0x00));
            bench.sim = nullptr;
        }
        *said = readAll(out) + readAll(err);
        std::fclose(out);
        std::fclose(err);
        if (adaptersMade)
            *adaptersMade = made;
        return status;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid() && QDir::setCurrent(dir.path()));
        writeTestChipList({makeTestChip("Winbond", "W25Q16", {0xEF, 0x40, 0x15}, 2 * 1024 * 1024)});
        image.resize(kImageSize);
        for (int i = 0; i < kImageSize; ++i)
            image[i] = char(i * 7 + 3);
        QFile file(path(QStringLiteral("image.bin")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image) == kImageSize);
    }

    // Units one after another: each chip holds the image with its own serial, the log has a line
    // per unit and the counter file the next serial. A unit that fails gives its serial back.
    void units_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("units");                 // chips put in
        QTest::addColumn<int>("failUnit");              // 0: none
        QTest::addColumn<QList<QByteArray>>("patches"); // the serial bytes of each chip that passed
        QTest::addColumn<QStringList>("log");           // "serial result" per line
        QTest::addColumn<int>("exitCode");

        QTest::newRow("decimal text, smart write")
            << QStringList{"--serial-format", "dec",  "--serial-size", "6",
                           "--serial-start",  "1000", "--count",       "3"}
            << 3 << 0 << QList<QByteArray>{"001000", "001001", "001002"}
            << QStringList{"1000 PASS", "1001 PASS", "1002 PASS"} << 0;
        QTest::newRow("hexadecimal text, stopped by Ctrl+C")
            << QStringList{"--serial-format", "hex", "--serial-size", "4", "--serial-start", "0xabc"} << 2
            << 0 << QList<QByteArray>{"0ABC", "0ABD"} << QStringList{"2748 PASS", "2749 PASS"} << 0;
        QTest::newRow("little-endian bytes, erase and write")
            << QStringList{"--serial-format", "le",   "--serial-size", "3", "--erase",
                           "--serial-start",  "1000", "--count",       "2"}
            << 2 << 0 << QList<QByteArray>{QByteArray("\xE8\x03\x00", 3), QByteArray("\xE9\x03\x00", 3)}
            << QStringList{"1000 PASS", "1001 PASS"} << 0;
        QTest::newRow("big-endian bytes, a unit fails verify")
            << QStringList{"--serial-format",
                           "be",
                           "--serial-size",
                           "2",
                           "--erase",
                           "--serial-start",
                           "1000",
                           "--count",
                           "3",
                           "--log-format",
                           "jsonl"}
            << 4 << 2 << QList<QByteArray>{"\x03\xE8", "\x03\xE9", "\x03\xEA"}
            << QStringList{"1000 PASS", "1001 FAIL", "1001 PASS", "1002 PASS"} << 1;
    }
    void units()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, units);
        QFETCH(int, failUnit);
        QFETCH(QList<QByteArray>, patches);
        QFETCH(QStringList, log);
        QFETCH(int, exitCode);
        for (const char* name : {"serials", "serials.lock", "units.log"})
            QFile::remove(path(QLatin1String(name)));
        Bench bench;
        bench.units = units;
        bench.failUnit = failUnit;
        bench.interruptAtEnd = !arguments.contains("--count");
        QString said;
        const int status =
            run(bench,
                QStringList{"-q", "--serial-at", QString::number(kSerialAt), "--serial-file", path("serials"),
                            "--log", path("units.log"), "produce", path("image.bin")} +
                    arguments,
                &said);
        QVERIFY2(status == exitCode, qPrintable(said));
        QCOMPARE(bench.inserted, units);

        // The chips that passed, each with its serial; the failed one is left out.
        QList<QByteArray> held;
        for (std::size_t i = 0; i < bench.removed.size(); ++i) {
            if (int(i) + 1 != failUnit)
                held << QByteArray(reinterpret_cast<const char*>(bench.removed[i]->contents().data()),
                                   kImageSize);
        }
        QCOMPARE(held.size(), patches.size());
        for (int i = 0; i < held.size(); ++i)
            QCOMPARE(held[i], QByteArray(image).replace(int(kSerialAt), patches[i].size(), patches[i]));

        QFile logFile(path("units.log"));
        QVERIFY(logFile.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = logFile.readAll().trimmed().split('\n');
        const bool csv = !arguments.contains("jsonl");
        if (csv)
            QCOMPARE(lines.takeFirst(),
                     QByteArray("time,adapter,chip_id,image_sha256,serial,result,reason,seconds"));
        QCOMPARE(lines.size(), log.size());
        for (int i = 0; i < lines.size(); ++i) {
            const QString serial = log[i].section(' ', 0, 0);
            const QString result = log[i].section(' ', 1);
            if (csv) {
                QVERIFY2(lines[i].contains(QString(",sim simulated adapter 0,EF4015,%1,%2,%3,")
                                               .arg(imageSha(), serial, result)
                                               .toUtf8()),
                         lines[i].constData());
            } else {
                const QJsonObject object = QJsonDocument::fromJson(lines[i]).object();
                QCOMPARE(object.value("serial").toString(), serial);
                QCOMPARE(object.value("result").toString(), result);
                QCOMPARE(object.value("reason").toString().startsWith("verify: "), result == "FAIL");
            }
        }
        QFile state(path("serials"));
        QVERIFY(state.open(QIODevice::ReadOnly));
        const QString next = QString::number(log.last().section(' ', 0, 0).toInt() + 1);
        QVERIFY(state.readAll().endsWith(("\nnext " + next + "\n").toUtf8()));
    }

    // A log that can no longer be written (here a folder took its place, as a full disk would
    // refuse it) stops the run, and the unit's serial stays in flight for the next run to ask about.
    void logThatCannotBeWrittenStopsTheRun()
    {
        for (const char* name : {"serials", "serials.lock", "units.log"})
            QFile::remove(path(QLatin1String(name)));
        Bench bench;
        bench.units = 3;
        bench.afterRemoval = [this] {
            QFile::remove(path("units.log"));
            QDir().mkdir(path("units.log"));
        };
        QString said;
        const int status = run(bench,
                               {"-q", "--serial-at", "0x100", "--serial-file", path("serials"), "--serial-start", "7",
                                "--log", path("units.log"), "produce", path("image.bin")},
                               &said);
        QDir().rmdir(path("units.log"));
        QCOMPARE(status, 1);
        QVERIFY2(said.contains("units.log: Is a directory; serial 8 stays in flight"), qPrintable(said));
        QCOMPARE(bench.inserted, 2);
        QFile state(path("serials"));
        QVERIFY(state.open(QIODevice::ReadOnly));
        QVERIFY(state.readAll().endsWith("next 9\nin-flight 8 sim simulated adapter 0\n"));
    }

    // A file whose hash is not the one expected is refused before any adapter is made.
    void expectedHashBeforeTheChip()
    {
        for (const char* command : {"write", "verify", "produce"}) {
            Bench bench;
            QString said;
            int made = -1;
            QCOMPARE(run(bench, {"--crc32", "0x12345678", command, path("image.bin")}, &said, &made), 1);
            QVERIFY2(said.contains("not the 12345678 expected"), qPrintable(said));
            QCOMPARE(made, 0);
        }
    }

private:
    QString imageSha() const
    {
        return QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex());
    }
};

QTEST_GUILESS_MAIN(TestProduce)
#include "tst_produce.moc"
