// korvane-spi as a user runs it: the real executable, its exit status and what it prints, on the
// simulated adapter with the chip contents kept in a temporary directory between runs.
#include "backends/simulated/simulatedchip.h"
#include "core/base/version.h"
#include "core/formats/imageformat.h"
#include "tests/backends/emulators/serprogemulator.h"
#include "tests/backends/emulators/sharedclock.h"
#include "tests/support/testchips.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace korvane;

namespace {

constexpr int kMiB = 1024 * 1024;

QByteArray pattern(int size, std::uint32_t seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    return bytes;
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
    QByteArray outBytes;
    QByteArray errBytes;
};

// The variables that choose the language, all cleared before a run: the tests' own English texts
// must not depend on the locale of whoever runs them.
const char* const kLocaleVariables[] = {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_CTYPE"};

// "LANG=zh_CN.UTF-8 LC_ALL=C" as an environment.
QProcessEnvironment localeEnvironment(const QString& settings)
{
    QProcessEnvironment environment;
    for (const QString& setting : settings.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        environment.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
    return environment;
}

// Columns on a terminal, counting every non-ASCII character as a wide one.
int columns(const QString& line)
{
    int width = 0;
    for (const QChar c : line)
        width += c.unicode() < 0x80 ? 1 : 2;
    return width;
}

// A run of the program with less than the test has: files may grow to fileLimit bytes at most (a
// full disk to the program; SIGXFSZ ignored so that the write fails instead), and asUser takes away
// root's right to ignore file permissions, as a user runs it. Exit status 77: root cannot drop it.
class LimitedProcess : public QProcess
{
public:
    rlim_t fileLimit = RLIM_INFINITY;
    bool asUser = false;

protected:
    void setupChildProcess() override
    {
        const rlimit limit{fileLimit, fileLimit};
        if (fileLimit != RLIM_INFINITY && std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR)
            setrlimit(RLIMIT_FSIZE, &limit);
        if (asUser && geteuid() == 0 &&
            (prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE) != 0 ||
             prctl(PR_CAPBSET_DROP, CAP_DAC_READ_SEARCH) != 0))
            _exit(77);
    }
};

} // namespace

Q_DECLARE_METATYPE(QList<QStringList>)

class TestCli : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString path(const QString& name) const { return dir.filePath(name); }

    QProcessEnvironment environmentWith(const QProcessEnvironment& extra) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("SPIFLASH_SIM_DIR"), path(QStringLiteral("sim")));
        environment.remove(QStringLiteral("SPIFLASH_SIM_CHIPS"));
        for (const char* variable : kLocaleVariables)
            environment.remove(QLatin1String(variable));
        environment.insert(extra);
        return environment;
    }

    // standardOutput: a file to send standard output to instead of reading it; fileLimit and asUser
    // as LimitedProcess takes them.
    Run run(QStringList arguments, const QString& workingDirectory = QString(),
            const QProcessEnvironment& extra = QProcessEnvironment(), const QString& standardOutput = QString(),
            rlim_t fileLimit = RLIM_INFINITY, bool asUser = false) const
    {
        LimitedProcess process;
        process.fileLimit = fileLimit;
        process.asUser = asUser;
        if (!standardOutput.isEmpty())
            process.setStandardOutputFile(standardOutput);
        process.setProcessEnvironment(environmentWith(extra));
        process.setWorkingDirectory(workingDirectory.isEmpty() ? dir.path() : workingDirectory);
        process.start(QStringLiteral(KORVANE_SPI), arguments);
        Run result;
        if (!process.waitForFinished(60000)) {
            process.kill();
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        result.outBytes = process.readAllStandardOutput();
        result.errBytes = process.readAllStandardError();
        result.out = QString::fromLocal8Bit(result.outBytes);
        result.err = QString::fromLocal8Bit(result.errBytes);
        return result;
    }

    // The simulated adapter's chips, as SPIFLASH_SIM_CHIPS gives them; none: its default pair.
    static QProcessEnvironment simulatedChips(const QString& chips)
    {
        QProcessEnvironment environment;
        if (!chips.isEmpty())
            environment.insert(QStringLiteral("SPIFLASH_SIM_CHIPS"), chips);
        return environment;
    }

    void writeFile(const QString& name, const QByteArray& bytes) const
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), qint64(bytes.size()));
    }

    void writeRecords(const QString& name, ImageFormat format, std::uint32_t start,
                      const QByteArray& bytes) const
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QString error;
        QVERIFY(writeRecordFile(file, format, start, reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                std::size_t(bytes.size()), 16, &error));
    }

    // The lowest address and the bytes of a record file.
    QPair<std::uint64_t, QByteArray> readRecords(const QString& name, ImageFormat format) const
    {
        QFile file(path(name));
        RecordImage image;
        ImageError error;
        QByteArray bytes;
        if (!file.open(QIODevice::ReadOnly) || !readRecordFile(file, format, &image, &error) ||
            !image.assemble(&bytes, &error))
            return {};
        return {image.lowest(), bytes};
    }

    QByteArray simImage() const
    {
        QFile file(path(QStringLiteral("sim/adapter0-SPI1-CS0.bin")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        // The chip list in the working directory, where the window looks for it too. The GD25Q16's
        // ID is shared by two records that differ in their sector size.
        QList<CHIP_INFO> chips;
        chips << makeTestChip("Winbond", "W25Q64BV/W25Q64FV", {0xEF, 0x40, 0x17}, 8 * kMiB)
              << makeTestChip("Winbond", "W25Q64JV", {0xEF, 0x40, 0x17}, 8 * kMiB)
              << makeTestChip("Winbond", "W25Q128.V", {0xEF, 0x40, 0x18}, 16 * kMiB)
              << makeTestChip("Macronix", "MX25L25645G", {0xC2, 0x20, 0x19}, 32 * kMiB, 4096, 4)
              << makeTestChip("GigaDevice", "GD25Q16", {0xC8, 0x40, 0x15}, 2 * kMiB)
              << makeTestChip("Other", "XX25Q16", {0xC8, 0x40, 0x15}, 2 * kMiB, 65536);
        QVERIFY(QDir::setCurrent(dir.path()));
        writeTestChipList(chips);
        writeFile(QStringLiteral("small.bin"), pattern(100000, 1));
        QString sizesError;
        QVERIFY(writeChipListFile(path(QStringLiteral("sizes.dat")),
                                  {makeTestChip("Winbond", "W25Q64-4M", {0xEF, 0x40, 0x17}, 4 * kMiB)},
                                  &sizesError));
        writeFile(QStringLiteral("toolarge.bin"), pattern(8 * kMiB + 1, 2));
        writeFile(QStringLiteral("empty.bin"), QByteArray());
        QVERIFY(mkfifo(path(QStringLiteral("fifo")).toLocal8Bit().constData(), 0600) == 0);
        // Record files: 5000 bytes at 64 KiB, a damaged one, one past the 8 MiB chip, one without data.
        writeRecords(QStringLiteral("image.hex"), ImageFormat::IntelHex, 0x10000, pattern(5000, 3));
        writeRecords(QStringLiteral("image.s19"), ImageFormat::SRecord, 0x10000, pattern(5000, 3));
        writeFile(QStringLiteral("bad.hex"),
                  ":020000040001F9\n:0400000000010203F6\n:0400040004050607DF\n:00000001FF\n");
        writeRecords(QStringLiteral("far.hex"), ImageFormat::IntelHex, 8 * kMiB - 16, pattern(32, 4));
        writeFile(QStringLiteral("nodata.srec"), "S0030000FC\nS9030000FC\n");
        // Chip lists of random bytes, 100 KiB and 595 whole records, and the test list with a record
        // of 3-byte sectors behind it.
        writeFile(QStringLiteral("random.bin"), pattern(100 * 1024, 5));
        writeFile(QStringLiteral("random595.bin"), pattern(172 * 595, 6));
        chips << makeTestChip("Bad", "Bad3", {0xEF, 0x40, 0x17}, 8 * kMiB, 3);
        QString error;
        QVERIFY(writeChipListFile(path(QStringLiteral("mixed.dat")), chips, &error));
        // Data past the chip, then a bad line: refused at the record, never read as far as the line.
        QFile far(path(QStringLiteral("far.hex")));
        QVERIFY(far.open(QIODevice::ReadOnly));
        writeFile(QStringLiteral("farbad.hex"),
                  far.readAll().replace(":00000001FF\n", ":0400000000010203F7\n"));
        // 5 GiB (sparse) after a bad first line: read only as far as that line.
        writeFile(QStringLiteral("huge.hex"), ":0400000000010203F7\n");
        QVERIFY(QFile::resize(path(QStringLiteral("huge.hex")), qint64(5) << 30));
        // Two records of 16 bytes at 0x0000 and 0x2000, and the 8 KiB gap between them.
        writeFile(QStringLiteral("two.hex"), ":10000000000102030405060708090A0B0C0D0E0F78\n"
                                             ":10200000101112131415161718191A1B1C1D1E1F58\n:00000001FF\n");
    }

    void init() { QDir(path(QStringLiteral("sim"))).removeRecursively(); }

    // One command each, on erased chips: exit status and a text it must print.
    void commands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected"); // in standard output or standard error

        const QString sim = QStringLiteral("--adapter=sim");
        QTest::newRow("version") << QStringList{"--version"} << 0
                                 << QStringLiteral("korvane-spi ") + QLatin1String(kProgramVersion);
        QTest::newRow("help") << QStringList{"--help"} << 0 << "erase-sectors FIRST COUNT";
        QTest::newRow("no command") << QStringList{} << 2 << "no command given";
        QTest::newRow("unknown command") << QStringList{"flashy"} << 2 << "unknown command \"flashy\"";
        QTest::newRow("unknown option") << QStringList{"--frobnicate", "chips"} << 2 << "frobnicate";
        QTest::newRow("missing argument") << QStringList{sim, "read"} << 2 << "read: missing argument";
        QTest::newRow("extra argument")
            << QStringList{sim, "erase", "now"} << 2 << "unexpected argument \"now\"";
        QTest::newRow("bad speed") << QStringList{sim, "-s", "40", "detect"} << 2 << "--speed takes";
        QTest::newRow("bad port") << QStringList{sim, "-p", "SPI3-CS0", "detect"} << 2 << "--port takes";
        QTest::newRow("bad address") << QStringList{sim, "-a", "0xZZ", "read", "x"} << 2 << "--address takes";
        QTest::newRow("unknown adapter kind")
            << QStringList{"-A", "usb9", "adapters"} << 2 << "unknown adapter";
        QTest::newRow("adapter forms in the help") << QStringList{"--help"} << 0 << "serprog:DEVICE[:BAUD]";
        QTest::newRow("adapter library missing")
            << QStringList{"-A", "lib:nothere.so", "adapters"} << 2
            << "cannot load the adapter library nothere.so: no such file";
        QTest::newRow("serprog without a device")
            << QStringList{"-A", "serprog:", "adapters"} << 2 << "needs the programmer's serial device";
        QTest::newRow("spidev clock not a number")
            << QStringList{"-A", "spidev:/dev/spidev0.0:8MHz", "adapters"} << 2 << "must be a number of Hz";
        QTest::newRow("no adapter without --adapter")
            << QStringList{"detect"} << 1
            << "no adapter found (to try the program without one: --adapter sim)";
        QTest::newRow("adapters") << QStringList{sim, "adapters"} << 0 << "Simulated adapter";
        QTest::newRow("device index past the list")
            << QStringList{sim, "-d", "2", "detect"} << 1 << "no adapter 2";
        QTest::newRow("chips filtered") << QStringList{"chips", "q64"} << 0 << "W25Q64JV";
        // Options a command has no use for are refused, not passed over.
        QTest::newRow("--address with erase-sectors")
            << QStringList{sim, "-a", "0x10000", "erase-sectors", "0", "1"} << 2
            << "--address is for read, write, verify, flash, blank-check, erase, produce only";
        QTest::newRow("--length with status") << QStringList{sim, "-l", "16", "status"} << 2 << "--length is for";
        QTest::newRow("--no-verify with read")
            << QStringList{sim, "--no-verify", "read", "x.bin"} << 2 << "--no-verify is for write only";
        QTest::newRow("erase of a range off the erase blocks")
            << QStringList{sim, "-a", "0x1000", "-l", "0x800", "erase"} << 1
            << "0x001000-0x0017ff is not whole 4 KiB erase blocks; the blocks that cover it are 0x001000-0x001fff";
        QTest::newRow("erase of a range") << QStringList{sim, "-a", "0x10000", "-l", "0x11000", "erase"} << 0
                                          << "Erased 69632 bytes from 0x010000";
        QTest::newRow("--length past the file")
            << QStringList{sim, "-l", "100001", "verify", "small.bin"} << 1
            << "--length 100001 does not fit the 100000 bytes";
        // A record of 4 MiB on the 8 MiB chip: every command that addresses the chip says so.
        for (const char* command : {"read", "blank-check", "erase"}) {
            QStringList arguments{sim, "--db", "sizes.dat", command};
            if (QLatin1String(command) == QLatin1String("read"))
                arguments << "x.bin";
            QTest::addRow("SFDP size with %s", command)
                << arguments << 1 << "the chip's SFDP table says 8 MiB, W25Q64-4M's record 4 MiB; --yes goes on anyway";
        }
        QTest::newRow("SFDP size with --yes") << QStringList{sim, "--db", "sizes.dat", "-y", "blank-check"} << 0
                                              << "warning: the chip's SFDP table says 8 MiB";
        QTest::newRow("chip list missing")
            << QStringList{"--db", "none.dat", "chips"} << 1 << "cannot read the chip list none.dat";
        QTest::newRow("chip list of random bytes")
            << QStringList{"--db", "random.bin", "chips"} << 1
            << "random.bin: 102400 bytes, not a whole number of 172-byte records";
        QTest::newRow("chip list of random records") << QStringList{"--db", "random595.bin", "chips"} << 1
                                                     << "random595.bin holds no valid chip record";
        QTest::newRow("random records: ten named, then a count")
            << QStringList{"--db", "random595.bin", "chips"} << 1
            << "warning: random595.bin: and 585 more left out";
        QTest::newRow("an invalid record is named")
            << QStringList{"--db", "mixed.dat", "chips"} << 0
            << "mixed.dat: record 7 left out: SectorSize 3 is not a power of two";
        QTest::newRow("the valid records are listed")
            << QStringList{"--db", "mixed.dat", "chips", "W25Q64"} << 0 << "W25Q64JV";
        QTest::newRow("an invalid record is not used")
            << QStringList{sim, "--db", "mixed.dat", "-c", "Bad3", "erase-sectors", "0", "1"} << 2
            << "no chip named \"Bad3\"";
        QTest::newRow("detect lists every record of the ID") << QStringList{sim, "detect"} << 0 << "W25Q64JV";
        QTest::newRow("detect on an empty slot")
            << QStringList{sim, "-p", "SPI2-CS1", "detect"} << 1 << "cannot read the chip's ID";
        QTest::newRow("wrong chip name")
            << QStringList{sim, "-c", "AT25X", "read", "out.bin"} << 2 << "no chip named \"AT25X\"";
        QTest::newRow("chip name names two chips")
            << QStringList{sim, "-c", "w25q64", "read", "out.bin"} << 2 << "names more than one chip";
        QTest::newRow("ambiguous detection")
            << QStringList{sim, "-d", "1", "read", "out.bin"} << 1 << "matches records that differ";
        QTest::newRow("ID differs from the chosen record")
            << QStringList{sim, "-c", "W25Q128FV", "read", "out.bin"} << 1 << "--yes goes on anyway";
        QTest::newRow("file too large")
            << QStringList{sim, "write", "toolarge.bin"} << 1 << "toolarge.bin (8388609 bytes) does not fit";
        QTest::newRow("file past the end from an address")
            << QStringList{sim, "-a", "0x7FFFFF", "write", "small.bin"} << 1 << "does not fit";
        QTest::newRow("empty file") << QStringList{sim, "write", "empty.bin"} << 1 << "empty.bin is empty";
        QTest::newRow("a FIFO is no file to write")
            << QStringList{sim, "write", "fifo"} << 1 << "fifo is not a regular file";
        QTest::newRow("missing input file")
            << QStringList{sim, "verify", "nothere.bin"} << 1 << "no such file";
        QTest::newRow("read start past the chip") << QStringList{sim, "-a", "8388608", "read", "out.bin"} << 1
                                                  << "is not inside the 8388608-byte chip";
        QTest::newRow("read length past the chip")
            << QStringList{sim, "-a", "0x7FFFF0", "-l", "17", "read", "out.bin"} << 1 << "run past the end";
        QTest::newRow("erase-sectors past the chip")
            << QStringList{sim, "erase-sectors", "2047", "2"} << 1 << "which has 2048 sectors";
        QTest::newRow("erase-sectors needs numbers")
            << QStringList{sim, "erase-sectors", "one", "2"} << 2 << "two numbers";
        QTest::newRow("verify an erased chip against data")
            << QStringList{sim, "verify", "small.bin"} << 1 << "bytes differ, the first at 0x000000";
        QTest::newRow("unknown --format") << QStringList{sim, "--format", "hex", "write", "image.hex"} << 2
                                          << "--format takes bin, ihex or srec, not \"hex\"";
        QTest::newRow("--record-size other than 16 or 32")
            << QStringList{sim, "--record-size", "24", "read", "out.hex"} << 2
            << "--record-size takes 16 or 32";
        QTest::newRow("bad checksum names the line")
            << QStringList{sim, "write", "bad.hex"} << 1
            << "bad.hex is no valid Intel HEX file: line 3: bad checksum";
        QTest::newRow("record data past the chip")
            << QStringList{sim, "verify", "far.hex"} << 1
            << "far.hex: the data from 0x7ffff0 to 0x80000f does not fit the 8388608-byte chip";
        QTest::newRow("record file placed past the chip")
            << QStringList{sim, "-a", "0x7FF000", "write", "image.s19"} << 1
            << "image.s19: the data from 0x010000 to 0x01100f, placed at 0x7ff000, does not fit";
        QTest::newRow("binary read as Intel HEX")
            << QStringList{sim, "--format", "ihex", "write", "small.bin"} << 1
            << "small.bin is no valid Intel HEX file: line 1: not a valid record";
        QTest::newRow("record data past the chip: refused at that record")
            << QStringList{sim, "verify", "farbad.hex"} << 1
            << "farbad.hex: the data from 0x7ffff0 to 0x80000f does not fit the 8388608-byte chip";
        QTest::newRow("a 5 GiB record file is read to its first bad line")
            << QStringList{sim, "write", "huge.hex"} << 1
            << "huge.hex is no valid Intel HEX file: line 1: bad checksum";
        QTest::newRow("record file without data")
            << QStringList{sim, "write", "nodata.srec"} << 1 << "nodata.srec holds no data";
        QTest::newRow("firmware information")
            << QStringList{sim, "-d", "1", "info"} << 0 << "Serial number:    003500213532510A38373531";
        // Options that would do nothing are refused.
        QTest::newRow("--chip with detect") << QStringList{sim, "-c", "W25Q64JV", "detect"} << 2
                                            << "detect reads the chip's ID; --chip names a record";
        QTest::newRow("--chip with chips")
            << QStringList{"-c", "W25Q64JV", "chips"} << 2
            << "--chip is for read, write, flash, verify, blank-check, erase, erase-sectors, status, produce only";
        QTest::newRow("--volatile without --set")
            << QStringList{sim, "--volatile", "status"} << 2 << "without --set there is nothing to write";
        QTest::newRow("--record-size with write")
            << QStringList{sim, "--record-size", "32", "write", "image.hex"} << 2
            << "--record-size is for read only";
        QTest::newRow("--format with erase") << QStringList{sim, "--format", "ihex", "erase"} << 2
                                             << "--format is for read, write, flash, verify, produce only";
        // Expected hashes and production: refused before the chip is touched.
        QTest::newRow("--sha256 with erase")
            << QStringList{sim, "--sha256", QString(64, 'a'), "erase"} << 2
            << "--sha256 is for read, write, verify, produce only";
        QTest::newRow("--crc32 of another file: write refused")
            << QStringList{sim, "--crc32", "00000000", "write", "small.bin"} << 1
            << "small.bin has the CRC-32 dd0d690d, not the 00000000 expected";
        QTest::newRow("--sha256 of another file: produce refused")
            << QStringList{sim, "--sha256", QString(64, '0'), "produce", "small.bin"} << 1
            << "small.bin has the SHA-256 1ef37abda5dc5ec15556f061d1a8fc9a547458583918dcca8d89c17b38f54fcd, not";
        QTest::newRow("--count with write") << QStringList{sim, "--count", "2", "write", "small.bin"} << 2
                                            << "--count is for produce only";
        QTest::newRow("--adapter twice with read")
            << QStringList{sim, sim, "read", "out.bin"} << 2 << "--adapter is given 2 times";
        QTest::newRow("a serial without its counter file")
            << QStringList{sim, "--serial-at", "0x100", "produce", "small.bin"} << 2
            << "--serial-at needs --serial-file FILE";
        QTest::newRow("a serial across the edge of the image")
            << QStringList{sim, "--serial-at", "99998", "--serial-file", "s.txt", "produce", "small.bin"} << 1
            << "the serial's 8 bytes at 0x01869e would run across the edge of the data small.bin holds";
        QTest::newRow("a new counter file needs a start")
            << QStringList{sim, "--serial-at", "0x100", "--serial-file", "s.txt", "produce", "small.bin"} << 1
            << "the serial file s.txt does not exist; --serial-start N starts a new counter there";
        // A device node that is missing or of another kind is named, and what it is.
        QTest::newRow("no such serial port")
            << QStringList{"-A", "serprog:nothere", "detect"} << 1 << "no such serial port nothere";
        QTest::newRow("a file is no serial port") << QStringList{"-A", "serprog:small.bin", "detect"} << 1
                                                  << "small.bin is not a serial port (a regular file)";
        QTest::newRow("/dev/null is no spidev node")
            << QStringList{"-A", "spidev:/dev/null", "detect"} << 1
            << "/dev/null is not a spidev device (a device of another kind)";
    }
    void commands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        const Run result = run(arguments);
        QVERIFY2(result.out.contains(expected) || result.err.contains(expected),
                 qPrintable(result.out + result.err));
        QCOMPARE(result.exitCode, exitCode);
        // An error says why on standard error; none of these commands changes the chip, and a failed
        // read leaves no file behind.
        if (exitCode != 0)
            QVERIFY(!result.err.trimmed().isEmpty());
        const QByteArray image = simImage();
        QVERIFY(image.isEmpty() || image == QByteArray(8 * kMiB, char(0xFF)));
        QVERIFY(!QFile::exists(path(QStringLiteral("out.bin"))));
    }

    // Where the simulated chip's file cannot be written, or another program holds it, the command
    // fails and says why, instead of succeeding and losing the data. Only the chip used is held.
    void chipFileCannotBeUsed_data()
    {
        QTest::addColumn<QString>("folder"); // SPIFLASH_SIM_DIR in the test's directory
        QTest::addColumn<int>("fileLimit");  // the largest file the program may write; 0: no limit
        QTest::addColumn<QString>("said");   // %1: the folder

        const QString stored =
            "cannot read the chip's ID: what was written could not be stored\nkorvane-spi: ";
        QTest::newRow("folder is a file")
            << "plain" << 0 << stored + "cannot create the folder %1: Not a directory";
        QTest::newRow("folder inside a file")
            << "plain/sim" << 0 << stored + "cannot create the folder %1: Not a directory";
        QTest::newRow("read-only folder")
            << "readonly" << 0 << stored + "cannot open %1/adapter0-SPI1-CS0.bin: Permission denied";
        QTest::newRow("no room for the image")
            << "sim" << kMiB
            << stored + "cannot reserve 8388608 bytes for %1/adapter0-SPI1-CS0.bin: File too large";
        QTest::newRow("chip in use")
            << "held" << 0
            << "cannot read the chip's ID: the adapter is in use by another program\nkorvane-spi: "
               "%1/adapter0-SPI1-CS0.bin is in use by another program";
    }
    void chipFileCannotBeUsed()
    {
        QFETCH(QString, folder);
        QFETCH(int, fileLimit);
        QFETCH(QString, said);
        writeFile(QStringLiteral("plain"), "not a folder");
        QVERIFY(QDir().mkpath(path(QStringLiteral("readonly"))) &&
                QDir().mkpath(path(QStringLiteral("held"))));
        QVERIFY(chmod(QFile::encodeName(path(QStringLiteral("readonly"))).constData(), 0555) == 0);
        // Another program's lock, as korvane-spi takes it.
        const int held =
            ::open(QFile::encodeName(path(QStringLiteral("held/adapter0-SPI1-CS0.bin"))).constData(),
                   O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        const auto release = qScopeGuard([held] { ::close(held); });
        QVERIFY(held >= 0 && flock(held, LOCK_EX | LOCK_NB) == 0);
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("SPIFLASH_SIM_DIR"), path(folder));
        const Run r = run({"-Asim", "write", "small.bin"}, QString(), environment,
                          QString(), fileLimit > 0 ? rlim_t(fileLimit) : RLIM_INFINITY, true);
        if (r.exitCode == 77)
            QSKIP("root without CAP_SETPCAP keeps its right to write into read-only folders");
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("korvane-spi: " + said.arg(path(folder))), qPrintable(r.err));
        const bool heldRow = folder == QLatin1String("held");
        // Only the chip used is held, and only while it is used.
        if (heldRow)
            QCOMPARE(run({"-Asim", "-d", "1", "-c", "GD25Q16", "-q", "write", "small.bin"}, {}, environment)
                         .exitCode,
                     0);
        flock(held, LOCK_UN);
        if (heldRow)
            QCOMPARE(run({"-Asim", "-q", "write", "small.bin"}, {}, environment).exitCode, 0);
    }

    // What a user does across runs: the chip keeps what was written until it is erased.
    void writeVerifyReadEraseAcrossRuns()
    {
        const QString sim = QStringLiteral("-Asim");
        const QByteArray data = pattern(100000, 1);
        Run r = run({sim, "-q", "-a", "0x1000", "write", "small.bin"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("Wrote 100000 bytes at 0x001000"));
        QCOMPARE(simImage().mid(0x1000, data.size()), data);

        r = run({sim, "-a", "4096", "verify", "small.bin"});
        QCOMPARE(r.exitCode, 0);
        r = run({sim, "verify", "small.bin"}); // at 0 the data is 0x1000 bytes off
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("the first at 0x000000"), qPrintable(r.err));

        r = run({sim, "-a", "0x1000", "-l", "100000", "read", "back.bin"});
        QCOMPARE(r.exitCode, 0);
        QFile back(path(QStringLiteral("back.bin")));
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll(), data);

        // A byte changed behind the program's back is found and placed.
        QByteArray image = simImage();
        image[0x1000 + 777] = static_cast<char>(image[0x1000 + 777] ^ 0x10);
        QFile file(path(QStringLiteral("sim/adapter0-SPI1-CS0.bin")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(image);
        file.close();
        r = run({sim, "-a", "0x1000", "verify", "small.bin"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("1 bytes differ, the first at 0x001309"), qPrintable(r.err));

        QCOMPARE(run({sim, "erase-sectors", "1", "1"}).exitCode, 0);
        QCOMPARE(simImage().mid(0x1000, 0x1000), QByteArray(0x1000, char(0xFF)));
        QCOMPARE(simImage().mid(0x2000, 16), data.mid(0x1000, 16));
        QCOMPARE(run({sim, "erase"}).exitCode, 0);
        QCOMPARE(simImage(), QByteArray(8 * kMiB, char(0xFF)));
    }

    // Record files go to their own addresses unless --address moves them; read writes the format
    // its file name or --format asks for.
    void recordFilesAcrossRuns()
    {
        const QString sim = QStringLiteral("-Asim");
        const QByteArray data = pattern(5000, 3);
        Run r = run({sim, "write", "image.hex"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("Wrote 5000 bytes at 0x010000"), qPrintable(r.out));
        QVERIFY2(r.err.contains("image.hex: Intel HEX file, 5000 bytes from 0x010000"), qPrintable(r.err));
        QCOMPARE(simImage().mid(0x10000, data.size()), data);
        QCOMPARE(run({sim, "-q", "verify", "image.s19"}).exitCode, 0);

        r = run({sim, "-q", "-a", "0x30000", "write", "image.s19"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("Wrote 5000 bytes at 0x030000"), qPrintable(r.out));
        QCOMPARE(simImage().mid(0x30000, data.size()), data);
        // The forced format wins over the name; the content still has to be that format.
        QCOMPARE(run({sim, "-q", "--format", "srec", "-a", "0x30000", "verify", "image.s19"}).exitCode, 0);

        QCOMPARE(run({sim, "-q", "-a", "0x30000", "-l", "5000", "read", "back.hex"}).exitCode, 0);
        QCOMPARE(readRecords(QStringLiteral("back.hex"), ImageFormat::IntelHex),
                 qMakePair(std::uint64_t(0x30000), data));
        QCOMPARE(
            run({sim, "-q", "--format", "srec", "-a", "0x10000", "-l", "5000", "read", "back.txt"}).exitCode,
            0);
        QCOMPARE(readRecords(QStringLiteral("back.txt"), ImageFormat::SRecord),
                 qMakePair(std::uint64_t(0x10000), data));
        // 32 bytes per record: ":20" + address, type, 32 bytes, checksum.
        QCOMPARE(
            run({sim, "-q", "--record-size", "32", "-a", "0x10000", "-l", "64", "read", "wide.ihx"}).exitCode,
            0);
        QFile wide(path(QStringLiteral("wide.ihx")));
        QVERIFY(wide.open(QIODevice::ReadOnly));
        QVERIFY(wide.readAll().startsWith(QByteArray(":020000040001F9\n:20000000") +
                                          data.left(32).toHex().toUpper()));
        // A raw file stays raw.
        QCOMPARE(run({sim, "-q", "-a", "0x10000", "-l", "5000", "read", "back.bin"}).exitCode, 0);
        QFile raw(path(QStringLiteral("back.bin")));
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QCOMPARE(raw.readAll(), data);
    }

    // An erase of a range takes that range and nothing else; verify -l compares the file's start.
    void eraseOfARangeAndVerifyOfALength()
    {
        const QByteArray data = pattern(100000, 1);
        const Run written = run({"-Asim", "-q", "write", "small.bin"});
        QCOMPARE(written.exitCode, 0);
        QVERIFY2(written.out.contains("s, read back and compared."), qPrintable(written.out));
        QCOMPARE(run({"-Asim", "-q", "-a", "0x1000", "-l", "0x2000", "erase"}).exitCode, 0);
        const QByteArray chip = simImage();
        QCOMPARE(chip.left(0x1000), data.left(0x1000));
        QCOMPARE(chip.mid(0x1000, 0x2000), QByteArray(0x2000, '\xFF'));
        QCOMPARE(chip.mid(0x3000, 100000 - 0x3000), data.mid(0x3000));
        const Run r = run({"-Asim", "-l", "0x1000", "verify", "small.bin"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("Verified 4096 bytes at 0x000000"), qPrintable(r.out + r.err));
        QCOMPARE(run({"-Asim", "-q", "verify", "small.bin"}).exitCode, 1);
    }

    // A record file's gaps are not the file's: write, flash and verify leave the chip's bytes there.
    void recordFileGapsKeepTheChip()
    {
        const QByteArray other = pattern(0x3000, 5);
        writeFile(QStringLiteral("other.bin"), other);
        const QByteArray records = QByteArray::fromHex("000102030405060708090A0B0C0D0E0F");
        QCOMPARE(run({"-Asim", "-q", "write", "other.bin"}).exitCode, 0);
        Run r = run({"-Asim", "--no-verify", "write", "two.hex"});
        QVERIFY2(r.out.contains("Wrote 32 bytes at 0x000000"), qPrintable(r.out + r.err));
        QVERIFY2(r.err.contains("32 bytes in 2 runs from 0x000000 to 0x00200f"), qPrintable(r.err));
        // Only the file's bytes are compared: how many of them differ, and the first.
        const QByteArray chip = simImage();
        const QByteArray second = QByteArray::fromHex("101112131415161718191A1B1C1D1E1F");
        int differ = 0;
        int first = -1;
        for (int at : {0, 0x2000}) {
            for (int i = 0; i < 16; ++i) {
                const bool different = chip[at + i] != (at == 0 ? records : second)[i];
                differ += int(different);
                first = first < 0 && different ? at + i : first;
            }
        }
        r = run({"-Asim", "verify", "two.hex"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QStringLiteral("verify failed: %1 bytes differ, the first at 0x%2")
                                    .arg(differ)
                                    .arg(first, 6, 16, QLatin1Char('0'))),
                 qPrintable(r.err));
        r = run({"-Asim", "flash", "two.hex"});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QByteArray expected = other;
        expected.replace(0, 16, records);
        expected.replace(0x2000, 16, second);
        QVERIFY(simImage().left(0x3000) == expected);
        QCOMPARE(run({"-Asim", "verify", "two.hex"}).exitCode, 0);
    }

    // read to something that is not a regular file: refused before the chip is read, the node left
    // as it was. Root gets a device node of its own; anyone else /dev/null, which only root could
    // replace.
    void readRefusesWhatIsNoRegularFile_data()
    {
        QTest::addColumn<QString>("node");
        QTest::addColumn<QString>("expected");
        QTest::newRow("FIFO") << path(QStringLiteral("fifo"))
                              << "fifo is a FIFO, not a regular file; to write "
                                 "to standard output use -";
        QTest::newRow("symlink to a FIFO") << path(QStringLiteral("fifolink"))
                                           << "fifolink -> " + path(QStringLiteral("fifo")) + " is a FIFO";
        QTest::newRow("device") << (geteuid() == 0 ? path(QStringLiteral("null"))
                                                   : QStringLiteral("/dev/null"))
                                << "null is a character device, not a regular file";
        QTest::newRow("directory") << path(QStringLiteral("sim")) << "sim is a directory, not a regular file";
    }
    void readRefusesWhatIsNoRegularFile()
    {
        QFETCH(QString, node);
        QFETCH(QString, expected);
        QFile::link(path(QStringLiteral("fifo")), path(QStringLiteral("fifolink")));
        QDir().mkpath(path(QStringLiteral("sim")));
        if (geteuid() == 0 && !QFile::exists(path(QStringLiteral("null"))) &&
            mknod(QFile::encodeName(path(QStringLiteral("null"))).constData(), S_IFCHR | 0666,
                  makedev(1, 3)) != 0)
            QSKIP("no device node can be made here");
        struct stat before;
        struct stat after;
        QVERIFY(lstat(QFile::encodeName(node).constData(), &before) == 0);
        const Run r = run({"-Asim", "-l", "16", "read", node});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(expected) && !r.err.contains("Chip:"), qPrintable(r.err));
        QVERIFY(lstat(QFile::encodeName(node).constData(), &after) == 0);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_ino, before.st_ino);
        QVERIFY(stat(QFile::encodeName(path(QStringLiteral("fifo"))).constData(), &after) == 0 &&
                S_ISFIFO(after.st_mode));
    }

    // A symlink to a regular file is no refusal: the file it leads to gets the image.
    void readThroughASymlinkWritesItsTarget()
    {
        writeFile(QStringLiteral("target.bin"), QByteArray("old"));
        QFile::link(path(QStringLiteral("target.bin")), path(QStringLiteral("filelink")));
        QCOMPARE(run({"-Asim", "-q", "-l", "16", "read", "filelink"}).exitCode, 0);
        QVERIFY(QFileInfo(path(QStringLiteral("filelink"))).isSymLink());
        QFile target(path(QStringLiteral("target.bin")));
        QVERIFY(target.open(QIODevice::ReadOnly));
        QCOMPARE(target.readAll(), QByteArray(16, char(0xFF)));
    }

    // read - : the image and nothing else on standard output; a failed write there is a failure.
    void readToStandardOutput()
    {
        QCOMPARE(run({"-Asim", "-q", "write", "small.bin"}).exitCode, 0);
        Run r = run({"-Asim", "-l", "100", "read", "-"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.outBytes == pattern(100, 1));
        QVERIFY2(r.err.contains("Read 100 bytes from 0x000000 into standard output"), qPrintable(r.err));
        QVERIFY(!QFile::exists(path(QStringLiteral("-"))));
        r = run({"-Asim", "--format", "srec", "-l", "100", "read", "-"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.outBytes.startsWith("S0030000FC\nS113"));

        r = run({"-Asim", "read", "-"}, QString(), QProcessEnvironment(), QStringLiteral("/dev/full"));
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("korvane-spi: cannot write to standard output: No space left"),
                 qPrintable(r.err));
        QCOMPARE(
            run({"-Asim", "chips"}, QString(), QProcessEnvironment(), QStringLiteral("/dev/full")).exitCode,
            1);
        // A reader that goes away before the 8 MiB are through: an error, not a silent end.
        QProcess process;
        QProcess reader;
        process.setProcessEnvironment(environmentWith({}));
        process.setWorkingDirectory(dir.path());
        process.setStandardOutputProcess(&reader);
        reader.start(QStringLiteral("true"), QStringList());
        process.start(QStringLiteral(KORVANE_SPI), {"-Asim", "read", "-"});
        QVERIFY(process.waitForFinished(60000) && reader.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QVERIFY(process.readAllStandardError().contains("cannot write to standard output: Broken pipe"));
    }

    // Without ./ChipListData.dat the user's copy is the default chip list, then the installed one.
    void defaultChipListOutsideTheWorkingDirectory()
    {
        const QString elsewhere = path(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(elsewhere));
        QVERIFY(QDir().mkpath(path(QStringLiteral("system/korvane-spiflash"))));
        QVERIFY(QFile::copy(path(QStringLiteral("ChipListData.dat")),
                            path(QStringLiteral("system/korvane-spiflash/ChipListData.dat"))));
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("user")));
        environment.insert(QStringLiteral("XDG_DATA_DIRS"), path(QStringLiteral("system")));
        Run r = run({"chips", "MX25L"}, elsewhere, environment);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("MX25L25645G"), qPrintable(r.out + r.err));

        QString error;
        QVERIFY(QDir().mkpath(path(QStringLiteral("user/korvane-spiflash"))));
        QVERIFY(writeChipListFile(path(QStringLiteral("user/korvane-spiflash/ChipListData.dat")),
                                  {makeTestChip("Mine", "MY25Q80", {0x11, 0x22, 0x33}, kMiB)}, &error));
        r = run({"chips"}, elsewhere, environment);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("MY25Q80") && !r.out.contains("MX25L"), qPrintable(r.out + r.err));

        QDir(path(QStringLiteral("user"))).removeRecursively();
        QDir(path(QStringLiteral("system"))).removeRecursively();
        r = run({"chips"}, elsewhere, environment);
        QCOMPARE(r.exitCode, 1);
        // Every place looked in is named, so that the user knows where to put one.
        for (const QString& place : {QStringLiteral("no chip list found; looked for ./ChipListData.dat, "),
                                     path(QStringLiteral("user/korvane-spiflash/ChipListData.dat")),
                                     path(QStringLiteral("system/korvane-spiflash/ChipListData.dat")),
                                     QStringLiteral("--db names one")})
            QVERIFY2(r.err.contains(place), qPrintable(r.err));
    }

    // The chip named by its ID alternative, and a mismatch overridden with --yes.
    void chipNamesAndYes()
    {
        Run r = run({"-A", "sim", "-c", "w25q64fv", "-l", "16", "read", "id.bin"});
        QCOMPARE(r.exitCode, 0);
        r = run({"-A", "sim", "-c", "W25Q128JV", "--yes", "-l", "16", "read", "id.bin"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.contains("warning: the chip's ID EF4017 differs from W25Q128.V's ID EF4018"),
                 qPrintable(r.err));
        QFile::remove(path(QStringLiteral("id.bin")));
    }

    // Protection, status registers, SFDP, smart write, blank check and reading twice, as a user
    // runs them one after the other on the same simulated chip. Every step but the last must
    // succeed; the last one's exit status and a text it prints are the row's. Each row has its own
    // copy of the chip list (--db), the odd record "W25Q64-16M" (the W25Q64's ID, twice its size)
    // added where asked.
    void safety_data()
    {
        QTest::addColumn<QString>("chips"); // SPIFLASH_SIM_CHIPS, empty for the default
        QTest::addColumn<bool>("oddRecord");
        QTest::addColumn<QList<QStringList>>("steps");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("chipAfter"); // "erased", "small at 0x7e0000", "" not checked

        using Steps = QList<QStringList>;
        const QString none;
        QTest::newRow("status: the bits by name")
            << none << false << Steps{{"status"}} << 0
            << "SR1 = 0x00: BUSY 0, WEL 0, BP0 0, BP1 0, BP2 0, TB 0, SEC 0, SRP 0"
            << "erased";
        QTest::newRow("status --set, read back and explained")
            << none << false << Steps{{"status", "--set", "SR1=0x1c"}} << 0
            << "Protection: BP0, BP1, BP2 set: 0x000000-0x7fffff (8 MiB) is write-protected"
            << "erased";
        QTest::newRow("status --set SR3 with 11") << none << false << Steps{{"status", "--set", "sr3=0x60"}}
                                                  << 0 << "SR3 = 0x60: WPS 0, DRV0 1, DRV1 1"
                                                  << "";
        QTest::newRow("--set of a register the chip has not")
            << "0:00=MX25L25645G" << false << Steps{{"-c", "MX25L25645G", "status", "--set", "SR2=0x02"}} << 1
            << "this chip has no status register SR2"
            << "";
        QTest::newRow("--set of no register")
            << none << false << Steps{{"status", "--set", "SR4=1"}} << 2 << "--set takes REG=VALUE"
            << "erased";
        QTest::newRow("--set of more than a byte")
            << none << false << Steps{{"status", "--set", "SR1=0x100"}} << 2 << "--set takes REG=VALUE"
            << "erased";
        QTest::newRow("--set with another command")
            << none << false << Steps{{"--set", "SR1=0", "read", "x.bin"}} << 2 << "--set is for status only"
            << "erased";
        QTest::newRow("a write into the protected part is refused")
            << none << false
            << Steps{{"status", "--set", "SR1=0x04"}, {"-a", "0x7e0000", "write", "small.bin"}} << 1
            << "BP0 set: 0x7e0000-0x7fffff (128 KiB) is write-protected; --unprotect clears the protection "
               "first"
            << "erased";
        QTest::newRow("a write below it goes on")
            << none << false << Steps{{"status", "--set", "SR1=0x04"}, {"write", "small.bin"}} << 0
            << "Wrote 100000"
            << "small at 0x000000";
        QTest::newRow("--unprotect clears it, then writes")
            << none << false
            << Steps{{"status", "--set", "SR1=0x04"}, {"--unprotect", "-a", "0x7e0000", "write", "small.bin"}}
            << 0 << "Cleared the protection (BP0 set"
            << "small at 0x7e0000";
        QTest::newRow("CMP protects all: no erase")
            << none << false << Steps{{"status", "--set", "SR2=0x40"}, {"erase"}} << 1
            << "CMP set: 0x000000-0x7fffff (8 MiB) is write-protected"
            << "";
        QTest::newRow("erase-sectors into the protected part")
            << none << false << Steps{{"status", "--set", "SR1=0x24"}, {"erase-sectors", "31", "2"}} << 1
            << "BP0, TB set: 0x000000-0x01ffff (128 KiB) is write-protected"
            << "";
        QTest::newRow("SRP with /WP low: cannot be cleared")
            << "0:00=W25Q64+wp" << false << Steps{{"status", "--set", "SR1=0x9c"}, {"--unprotect", "erase"}}
            << 1 << "the status registers are locked: SRP is set and /WP is held low"
            << "";
        QTest::newRow("WPS: --unprotect cannot unlock single blocks")
            << none << false << Steps{{"status", "--set", "SR3=0x04"}, {"--unprotect", "write", "small.bin"}}
            << 1
            << "WPS is set: individual block locks apply, and the whole chip may be write-protected; "
               "korvane-spi "
               "cannot unlock single blocks"
            << "erased";
        QTest::newRow("a volatile write is gone in the next run")
            << none << false << Steps{{"status", "--volatile", "--set", "SR1=0x1c"}, {"erase"}} << 0
            << "Erased the chip"
            << "erased";
        QTest::newRow("--unprotect with a read")
            << none << false << Steps{{"--unprotect", "read", "x.bin"}} << 2
            << "--unprotect is for write, flash, erase, erase-sectors, produce only"
            << "erased";
        QTest::newRow("flash over an erased chip: programs only")
            << none << false << Steps{{"-a", "0x1800", "flash", "small.bin"}} << 0
            << "0 blocks erased (0 bytes), 391 pages programmed"
            << "small at 0x001800";
        QTest::newRow("flash of what the chip holds: nothing to do")
            << none << false << Steps{{"write", "small.bin"}, {"flash", "small.bin"}} << 0
            << "0 blocks erased (0 bytes), 0 pages programmed, 100000 of 100000 bytes unchanged"
            << "small at 0x000000";
        QTest::newRow("flash over other data: erases")
            << none << false << Steps{{"write", "other.bin"}, {"flash", "small.bin"}} << 0 << "blocks erased"
            << "small at 0x000000";
        QTest::newRow("flash into the protected part")
            << none << false
            << Steps{{"status", "--set", "SR1=0x04"}, {"-a", "0x7e0000", "flash", "small.bin"}} << 1
            << "--unprotect clears the protection first"
            << "erased";
        QTest::newRow("write says the file's hashes")
            << none << false << Steps{{"write", "small.bin"}} << 0
            << "\nSHA-256 1ef37abda5dc5ec15556f061d1a8fc9a547458583918dcca8d89c17b38f54fcd\nCRC-32 dd0d690d\n"
            << "small at 0x000000";
        QTest::newRow("verify says them, and checks the expected ones")
            << none << false
            << Steps{{"write", "small.bin"},
                     {"--sha256", "1EF37ABDA5DC5EC15556F061D1A8FC9A547458583918DCCA8D89C17B38F54FCD", "--crc32",
                      "0xDD0D690D", "verify", "small.bin"}}
            << 0 << "the chip matches small.bin.\nSHA-256 1ef37abd" << "small at 0x000000";
        QTest::newRow("read: the data read is not what was expected")
            << none << false << Steps{{"-l", "16", "--crc32", "12345678", "read", "x.bin"}} << 1
            << "korvane-spi: the data read has the CRC-32 3fb3c61a, not the 12345678 expected"
            << "erased";
        QTest::newRow("blank-check of an erased chip") << none << false << Steps{{"blank-check"}} << 0
                                                       << "Blank: the 8388608 bytes from 0x000000 are erased"
                                                       << "";
        QTest::newRow("blank-check after a write")
            << none << false << Steps{{"-a", "0x1000", "write", "small.bin"}, {"blank-check"}} << 1
            << "bytes are not erased, the first at 0x001000"
            << "";
        QTest::newRow("blank-check of the part after it")
            << none << false << Steps{{"write", "small.bin"}, {"-a", "100000", "blank-check"}} << 0
            << "Blank: the 8288608 bytes from 0x0186a0 are erased"
            << "";
        QTest::newRow("read --twice") << none << false << Steps{{"--twice", "-l", "4096", "read", "x.bin"}}
                                      << 0 << "the same both times"
                                      << "";
        QTest::newRow("--twice with a write")
            << none << false << Steps{{"--twice", "write", "small.bin"}} << 2 << "--twice is for read only"
            << "erased";
        QTest::newRow("detect shows SFDP")
            << none << false << Steps{{"detect"}} << 0
            << "SFDP: 8 MiB, 256-byte pages, erases 4 KiB (20), 32 KiB (52), 64 KiB "
               "(d8), 3-byte addresses"
            << "";
        QTest::newRow("detect says how many records match")
            << none << false << Steps{{"detect"}} << 0 << "2 records have this ID:"
            << "";
        QTest::newRow("detect of a chip without SFDP")
            << "0:00=W25Q64+nosfdp" << false << Steps{{"detect"}} << 0 << "SFDP: none"
            << "";
        QTest::newRow("no record: --add is offered") << "0:00=MX25L6433F" << false << Steps{{"detect"}} << 1
                                                     << "--add adds one built from the chip's SFDP table"
                                                     << "";
        QTest::newRow("detect --add, then the chip is known")
            << "0:00=MX25L6433F" << false << Steps{{"detect", "--add"}, {"detect"}} << 0
            << "Macronix SFDP-C22017 (8 MByte, page 256, sector 4096, 3-byte addresses)"
            << "";
        QTest::newRow("detect --add, then used by its ID")
            << "0:00=MX25L6433F" << false << Steps{{"detect", "--add"}, {"write", "small.bin"}} << 0
            << "Wrote 100000"
            << "";
        QTest::newRow("detect --add with a record already there")
            << none << false << Steps{{"detect", "--add"}} << 1 << "has a record with this ID already"
            << "";
        QTest::newRow("detect --add without SFDP")
            << "0:00=MX25L6433F+nosfdp" << false << Steps{{"detect", "--add"}} << 1
            << "no SFDP table to build a record from"
            << "";
        QTest::newRow("the record's size differs from SFDP's")
            << none << true << Steps{{"-c", "W25Q64-16M", "write", "small.bin"}} << 1
            << "the chip's SFDP table says 8 MiB, W25Q64-16M's record 16 MiB; --yes goes on anyway"
            << "erased";
        // An ID of all FF or all 00: nothing answered, whatever --yes says.
        QTest::newRow("detect: no chip answers")
            << "0:00=W25Q64+nopower" << false << Steps{{"detect"}} << 1
            << "korvane-spi: no chip answered (the ID reads FFFFFF): check "
               "the wiring, the chip select (--port) and the chip's supply"
            << "";
        QTest::newRow("a named chip: --yes does not write into nothing")
            << "0:00=W25Q64+misolow" << false << Steps{{"-c", "W25Q64JV", "--yes", "write", "small.bin"}} << 1
            << "no chip answered (the ID reads 000000)"
            << "erased";
        QTest::newRow("--yes goes on")
            << none << true << Steps{{"-c", "W25Q64-16M", "--yes", "write", "small.bin"}} << 0
            << "warning: the chip's SFDP table says 8 MiB"
            << "small at 0x000000";
    }
    void safety()
    {
        QFETCH(QString, chips);
        QFETCH(bool, oddRecord);
        QFETCH(QList<QStringList>, steps);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        QFETCH(QString, chipAfter);
        const QString database = path(QStringLiteral("row.dat"));
        QFile::remove(database);
        QVERIFY(QFile::copy(path(QStringLiteral("ChipListData.dat")), database));
        if (oddRecord) {
            QList<CHIP_INFO> list;
            QString error;
            QVERIFY(readChipListFile(database, list, &error));
            list << makeTestChip("Test", "W25Q64-16M", {0xEF, 0x40, 0x17}, 16 * kMiB);
            QVERIFY(writeChipListFile(database, list, &error));
        }
        writeFile(QStringLiteral("other.bin"), pattern(100000, 3));
        Run result;
        for (int i = 0; i < steps.size(); ++i) {
            result =
                run(QStringList{"-A", "sim", "--db", database} + steps[i], QString(), simulatedChips(chips));
            if (i + 1 < steps.size())
                QVERIFY2(result.exitCode == 0, qPrintable(steps[i].join(' ') + ": " + result.err));
        }
        QVERIFY2(result.out.contains(expected) || result.err.contains(expected),
                 qPrintable(result.out + result.err));
        QCOMPARE(result.exitCode, exitCode);
        if (chipAfter.isEmpty())
            return;
        QByteArray expectedImage(8 * kMiB, char(0xFF));
        if (chipAfter != QLatin1String("erased")) {
            const std::uint32_t at = chipAfter.section(' ', 2).toUInt(nullptr, 0);
            expectedImage.replace(int(at), 100000, pattern(100000, 1));
        }
        const QByteArray image = simImage();
        QVERIFY(image.isEmpty() ? chipAfter == QLatin1String("erased") : image == expectedImage);
    }

    // detect --add writes the list back with its invalid record where it was.
    void addKeepsInvalidRecords()
    {
        const QString database = path(QStringLiteral("add.dat"));
        QFile::remove(database);
        QVERIFY(QFile::copy(path(QStringLiteral("mixed.dat")), database));
        const Run r = run({"-A", "sim", "--db", database, "detect", "--add"}, QString(),
                          simulatedChips(QStringLiteral("0:00=MX25L6433F")));
        QCOMPARE(r.exitCode, 0);
        QFile before(path(QStringLiteral("mixed.dat"))), after(database);
        QVERIFY(before.open(QIODevice::ReadOnly) && after.open(QIODevice::ReadOnly));
        QCOMPARE(after.size(), before.size() + 172);
        QCOMPARE(after.read(before.size()), before.readAll());
    }

    // The result on standard output; notes, warnings and errors on standard error, --quiet or not.
    void streams()
    {
        // The hashes of the 16 erased bytes follow the result line (sha256sum and zlib's crc32 say so).
        const QString hashes("SHA-256 5ac6a5945f16500911219129984ba8b387a06f24fe383ce4e81a73294065461b\n"
                             "CRC-32 3fb3c61a\n");
        Run r = run({"-A", "sim", "-l", "16", "read", "streams.bin"});
        QVERIFY(r.out.startsWith("Read 16 bytes from 0x000000 into streams.bin in ") &&
                r.out.count('\n') == 3 && r.out.endsWith(hashes));
        QCOMPARE(r.err, QString("Chip: Winbond W25Q64BV/W25Q64FV / Winbond W25Q64JV (ID EF4017)\n"));
        r = run({"-A", "sim", "-q", "-c", "W25Q128JV", "--yes", "-l", "16", "read", "streams.bin"});
        QVERIFY(r.out.startsWith("Read 16 bytes") && r.out.count('\n') == 3);
        QCOMPARE(r.err, QString("warning: the chip's ID EF4017 differs from W25Q128.V's ID EF4018\n"
                                "warning: the chip's SFDP table says 8 MiB, W25Q128.V's record 16 MiB\n"));
        r = run({"-A", "sim", "-q", "verify", "small.bin"});
        QVERIFY(r.exitCode == 1 && r.out.isEmpty() && QFile::remove(path(QStringLiteral("streams.bin"))));
        QCOMPARE(r.err, QString("korvane-spi: verify failed: 99622 bytes differ, the first at 0x000000\n"));
    }

    // A failing read must not replace the file it was to write.
    void failedReadKeepsTheOldFile()
    {
        writeFile(QStringLiteral("keep.bin"), QByteArray("old contents"));
        const Run r = run({"-A", "sim", "-c", "W25Q128FV", "read", "keep.bin"});
        QCOMPARE(r.exitCode, 1);
        QFile file(path(QStringLiteral("keep.bin")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("old contents"));
    }

    // Commands whose output does not change from run to run, for comparing languages.
    static QList<QStringList> steadyCommands()
    {
        const QString sim = QStringLiteral("--adapter=sim");
        return {{"--help"},
                {sim, "-s", "40", "detect"},
                {"--frobnicate", "chips"},
                {sim, "-p", "SPI2-CS1", "detect"},
                {sim, "write", "bad.hex"},
                {"chips", "W25Q"},
                {sim, "detect"},
                {sim, "status"}};
    }

    // Any locale that is not Chinese, and LC_ALL=C over a Chinese LANG: the English texts, byte for
    // byte what the program prints with no locale set.
    void englishLocales_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("LANG=C") << "LANG=C";
        QTest::newRow("LC_ALL=POSIX") << "LC_ALL=POSIX";
        QTest::newRow("LANG=en_US.UTF-8") << "LANG=en_US.UTF-8";
        QTest::newRow("LANG=de_DE.UTF-8") << "LANG=de_DE.UTF-8";
        QTest::newRow("LC_ALL=C over LANG=zh_CN") << "LANG=zh_CN.UTF-8 LC_ALL=C";
        QTest::newRow("LC_MESSAGES=en over LANG=zh_CN") << "LANG=zh_CN.UTF-8 LC_MESSAGES=en_US.UTF-8";
    }
    void englishLocales()
    {
        QFETCH(QString, locale);
        for (const QStringList& arguments : steadyCommands()) {
            const Run plain = run(arguments);
            const Run r = run(arguments, QString(), localeEnvironment(locale));
            QCOMPARE(r.exitCode, plain.exitCode);
            QCOMPARE(r.outBytes, plain.outBytes);
            QCOMPARE(r.errBytes, plain.errBytes);
        }
        const Run help = run({"--help"}, QString(), localeEnvironment(locale));
        QVERIFY(help.outBytes.startsWith("Usage: " KORVANE_SPI
                                         " [options] <command> [arguments]\nReads, writes"));
        const Run wrong = run({"--adapter=sim", "-s", "40", "detect"}, QString(), localeEnvironment(locale));
        QCOMPARE(wrong.errBytes,
                 QByteArray("korvane-spi: --speed takes 50, 25, 12.5, 6.25 or 3.125, not \"40\"\n"
                            "Try 'korvane-spi --help' for more information.\n"));
    }

    // A Chinese locale, however it is set, whether or not it is generated on the machine: Chinese
    // texts in UTF-8, from the command line and from the core, with the same exit statuses.
    void chineseLocales_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("expected"); // in standard output or standard error

        const QString sim = QStringLiteral("--adapter=sim");
        QTest::newRow("help") << QStringList{"--help"} << 0
                              << QStringList{
                                     "用法：" KORVANE_SPI " [选项] <command> [arguments]\n通过 USB 转 SPI",
                                     "  -h, --help", "显示本帮助。", "  erase-sectors FIRST COUNT  扇区擦除",
                                     "  serprog:DEVICE[:BAUD]"};
        QTest::newRow("usage error")
            << QStringList{sim, "-s", "40", "detect"} << 2
            << QStringList{"korvane-spi: --speed 需要 50、25、12.5、6.25 或 3.125，而不是“40”\n",
                           "运行“korvane-spi --help”查看更多信息。\n"};
        QTest::newRow("unknown option")
            << QStringList{"--frobnicate", "chips"} << 2 << QStringList{"未知选项“frobnicate”。"};
        QTest::newRow("no adapter") << QStringList{"detect"} << 1
                                    << QStringList{"未找到设备（没有设备时试用本程序：--adapter sim）"};
        QTest::newRow("the core's reason") << QStringList{sim, "-p", "SPI2-CS1", "detect"} << 1
                                           << QStringList{"korvane-spi: 获取芯片 ID 失败："};
        QTest::newRow("a damaged record file")
            << QStringList{sim, "write", "bad.hex"} << 1
            << QStringList{"bad.hex 不是有效的 Intel HEX 文件：第 3 行：校验和错误"};
        QTest::newRow("read") << QStringList{sim, "-l", "4096", "read", "zh.bin"} << 0
                              << QStringList{
                                     "芯片：Winbond W25Q64BV/W25Q64FV / Winbond W25Q64JV（ID EF4017）",
                                     "已从 0x000000 读出 4096 字节到 zh.bin，耗时 "};
        QTest::newRow("status") << QStringList{sim, "status"} << 0 << QStringList{"保护：没有写保护"};
        QTest::newRow("firmware information")
            << QStringList{sim, "-d", "1", "info"} << 0 << QStringList{"序列号：  003500213532510A38373531"};
    }
    void chineseLocales()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, expected);
        const QStringList locales = {"LANG=zh_CN.UTF-8", "LC_ALL=zh_CN.UTF-8",
                                     "LANG=C LC_MESSAGES=zh_CN.UTF-8", "LANG=zh_TW.UTF-8",
                                     "LANG=en_US.UTF-8 LC_ALL=zh_CN.UTF-8"};
        for (const QString& locale : locales) {
            const Run r = run(arguments, QString(), localeEnvironment(locale));
            const QString text = QString::fromUtf8(r.outBytes + r.errBytes);
            QVERIFY2(r.exitCode == exitCode, qPrintable(locale + QLatin1String(": ") + text));
            for (const QString& part : expected)
                QVERIFY2(text.contains(part), qPrintable(locale + QLatin1String(": ") + text));
            // The help fits a terminal 80 columns wide, but for the usage line, which names the
            // program by its path.
            if (arguments == QStringList{"--help"}) {
                for (const QString& line : text.split(QLatin1Char('\n')).mid(1))
                    QVERIFY2(columns(line) <= 80, qPrintable(line));
            }
        }
    }

    // The progress line, drawn only on a terminal: Chinese on a pseudo-terminal under a Chinese
    // locale, English otherwise.
    void progressLineLanguage_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("action");
        QTest::newRow("zh_CN") << "LANG=zh_CN.UTF-8"
                               << "读数据";
        QTest::newRow("C") << "LANG=C"
                           << "reading";
    }
    void progressLineLanguage()
    {
        QFETCH(QString, locale);
        QFETCH(QString, action);
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0);
        QVERIFY(grantpt(master) == 0 && unlockpt(master) == 0);
        const QString terminal = QString::fromLocal8Bit(ptsname(master));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("SPIFLASH_SIM_DIR"), path(QStringLiteral("sim")));
        for (const char* variable : kLocaleVariables)
            environment.remove(QLatin1String(variable));
        environment.insert(localeEnvironment(locale));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(dir.path());
        process.setStandardErrorFile(terminal);
        process.start(QStringLiteral(KORVANE_SPI), {"--adapter=sim", "-l", "65536", "read", "progress.bin"});
        const bool finished = process.waitForFinished(60000);
        QByteArray shown;
        fcntl(master, F_SETFL, O_NONBLOCK);
        char buffer[4096];
        ssize_t got = 0;
        while ((got = ::read(master, buffer, sizeof buffer)) > 0)
            shown.append(buffer, int(got));
        ::close(master);
        QVERIFY(finished);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY2(shown.contains("\r" + action.toUtf8() + "  64.0 KiB / 64.0 KiB  100%"), shown.constData());
    }

    // Production across processes: two stations (one child process each) never get one serial; a
    // run killed in the middle of a unit leaves its serial in flight, and the next run refuses to go
    // on until told whether to use it again.
    void produceStationsAndCrashes()
    {
        const QProcessEnvironment twoChips = simulatedChips(QStringLiteral("0:00=GD25Q16,1:00=GD25Q16"));
        const QStringList serials{"--db", "gd.dat", "--serial-at", "0x20", "--serial-file", "serials",
                                  "--serial-size", "4", "--log", "units.log"};
        QString error;
        QVERIFY(writeChipListFile(path(QStringLiteral("gd.dat")),
                                  {makeTestChip("GigaDevice", "GD25Q16", {0xC8, 0x40, 0x15}, 2 * kMiB)}, &error));
        Run r = run(QStringList{"-Asim", "produce", "small.bin", "--count", "2", "--serial-start", "7"} + serials,
                    QString(), twoChips);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains("[sim simulated adapter 0] PASS unit ") &&
                     r.out.contains("[sim simulated adapter 1] PASS unit ") &&
                     r.out.endsWith("2 units passed, 0 failed. Next serial: 9.\n"),
                 qPrintable(r.out));
        QList<QByteArray> onChips;
        for (const char* chip : {"sim/adapter0-SPI1-CS0.bin", "sim/adapter1-SPI1-CS0.bin"}) {
            QFile file(path(QLatin1String(chip)));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.read(100000);
            onChips << bytes.mid(0x20, 4);
            QCOMPARE(bytes.left(0x20) + bytes.mid(0x24), pattern(100000, 1).remove(0x20, 4));
        }
        std::sort(onChips.begin(), onChips.end());
        QCOMPARE(onChips, (QList<QByteArray>{"0007", "0008"}));

        // Killed once its serial is in flight (the chip erase takes 0.3 s).
        QProcess killed;
        killed.setProcessEnvironment(environmentWith(twoChips));
        killed.setWorkingDirectory(dir.path());
        killed.setReadChannel(QProcess::StandardError);
        killed.start(QStringLiteral(KORVANE_SPI),
                     QStringList{"-Asim", "-d", "0", "--erase", "produce", "small.bin"} + serials);
        QByteArray said;
        while (!said.contains("unit 1, chip C84015, serial 9") && killed.waitForReadyRead(10000))
            said += killed.readAllStandardError();
        killed.kill();
        QVERIFY2(killed.waitForFinished(10000) && said.contains("serial 9"), said.constData());

        const QStringList again{"-Asim", "-d", "0", "--count", "1", "produce", "small.bin"};
        r = run(again + serials, QString(), twoChips);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("serials: a run ended without finishing its unit with serial 9 on sim simulated "
                                "adapter 0 (a crash or a power cut)"),
                 qPrintable(r.err));
        r = run(again + serials + QStringList{"--resume-serial", "reuse"}, QString(), twoChips);
        QVERIFY2(r.exitCode == 0 && r.out.contains("PASS unit 1, serial 9, chip C84015"), qPrintable(r.out + r.err));
        QFile log(path(QStringLiteral("units.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 5);
        QVERIFY(lines[3].contains(",9,FAIL,left in flight by an interrupted run; to be used again,"));
        QVERIFY(lines[4].contains(",9,PASS,,"));
    }

    // The program itself on a serprog programmer: through a pseudo-terminal to an emulated firmware
    // in this process.
    void serprogThroughAPseudoTerminal()
    {
        SharedVirtualClock clock;
        auto chip = createSimulatedChip("GD25Q16", clock);
        const QByteArray image = pattern(2 * kMiB, 4);
        std::copy(image.begin(), image.end(), chip->contents().begin());
        SerprogEmulator emulator;
        emulator.attachChip(0, chip.get());
        const QString form = QStringLiteral("serprog:") + QString::fromStdString(emulator.devicePath());
        Run r = run({"-A", form, "adapters"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("serprog") && r.out.contains(QString::fromStdString(emulator.devicePath())),
                 qPrintable(r.out));
        r = run({"-A", form, "detect"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains("ID: C84015"), qPrintable(r.out + r.err));
        r = run({"-A", form, "-q", "-c", "GD25Q16", "read", "pty.bin"});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QFile file(path(QStringLiteral("pty.bin")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), image);
        for (const std::string& problem : emulator.violations())
            QFAIL(problem.c_str());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
