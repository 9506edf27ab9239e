#pragma once

// Plain C++ adapter headers first: Qt's "slots" keyword macro must not reach them.
#include "tests/support/simulatedtestadapter.h"

#include "app/mainwindow.h"
#include "core/chip/chiplist.h"
#include "qhexedit/qhexedit.h"
#include "qhexedit/qhexeditdata.h"
#include "qhexedit/qhexeditdatareader.h"
#include "qhexedit/qhexeditdatawriter.h"
#include "tests/support/scriptedinteraction.h"
#include "tests/support/testchips.h"
#include "tests/support/virtualclock.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdint>
#include <memory>
#include <vector>

namespace korvane {
}
using namespace korvane;

// A virtual clock whose every reading moves on by a fixed step, so that an operation that takes
// its start and end counts once each reports exactly one step.
class SteppingClock : public VirtualClock
{
public:
    std::int64_t nowNanoseconds() const override
    {
        steps += stepNs;
        return now + steps;
    }
    std::int64_t stepNs = 0;
    mutable std::int64_t steps = 0;
};

// A main window over a simulated adapter (adapter 0, chip on SPI1-CS0), the scripted interaction
// and a virtual clock, in a temporary working directory with its own chip database.
class FlashWindowFixture
{
public:
    static CHIP_INFO chipRecord(const QString& model, std::vector<std::uint8_t> id, std::int32_t size)
    {
        return makeTestChip(QStringLiteral("Test"), model, std::move(id), size);
    }

    // The chip list takes no record of size 0; one of exactly 4 GiB is valid and comes out as 0 in
    // the 32-bit chip size the window computes with.
    static CHIP_INFO zeroSizedRecord(const QString& model, std::vector<std::uint8_t> id)
    {
        CHIP_INFO chip = makeTestChip(QStringLiteral("Test"), model, std::move(id), 0, 4096, 4);
        chip.Config.NumPages = 1 << 24; // of 256 bytes
        return chip;
    }

    static QByteArray randomBytes(int size, quint32 seed)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        QRandomGenerator generator(seed);
        for (char& b : bytes)
            b = static_cast<char>(generator.bounded(256));
        return bytes;
    }

    // Call from init(): fresh directory, database, adapter with one chip of chipBytes bytes whose
    // ID is EF 40 <idByte>, and the window with the first record selected.
    bool setUp(const QList<CHIP_INFO>& records, std::uint32_t chipBytes, std::uint8_t idByte = 0x15)
    {
        previousDir = QDir::currentPath();
        dir = std::make_unique<QTemporaryDir>();
        if (!dir->isValid() || !QDir::setCurrent(dir->path()))
            return false;
        writeTestChipList(records);

        interaction.clear();
        interaction.fileNames.clear();
        clock.now = clock.steps = clock.stepNs = 0;
        clock.sleepCount = 0;
        adapter = std::make_unique<SimulatedTestAdapter>(clock);
        adapter->sim().setAdapterCount(1);
        chip = adapter->sim().attachChip(
            0, 0x00,
            std::make_unique<SimulatedChip>(clock, std::vector<std::uint8_t>{0xEF, 0x40, idByte}, chipBytes));
        // The records of other sizes are on purpose: a chip without SFDP does not say its size.
        if (chip != nullptr)
            chip->setHasSfdp(false);
        window = std::make_unique<MainWindow>(*adapter, interaction, clock);
        hexEdit = window->findChild<QHexEdit*>();
        return chip != nullptr && hexEdit != nullptr;
    }

    void tearDown()
    {
        window.reset();
        adapter.reset();
        QDir::setCurrent(previousDir);
        dir.reset();
    }

    template <typename T> T* child(const char* name) const
    {
        T* found = window->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    void click(const char* button) { child<QPushButton>(button)->click(); }
    void selectModel(const QString& model) { child<QComboBox>("modelNameComboBox")->setCurrentText(model); }
    void setStartAddress(int address) { child<QSpinBox>("startAddrSpinBox")->setValue(address); }

    QString tempPath(const QString& name) const { return dir->filePath(name); }
    QString writeFile(const QString& name, const QByteArray& bytes) const
    {
        const QString path = tempPath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write test file");
        return path;
    }
    QByteArray readFile(const QString& path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Loads a file into the buffer through the open-file action.
    void load(const QString& path)
    {
        interaction.fileNames.enqueue(path);
        child<QAction>("actionOpenFile")->trigger();
    }
    void loadBytes(const QByteArray& bytes) { load(writeFile(QStringLiteral("load.bin"), bytes)); }

    QHexEditData* model() const { return hexEdit->data(); }
    QByteArray buffer() const
    {
        if (!model())
            return QByteArray();
        QHexEditDataReader reader(model());
        return reader.read(0, model()->length());
    }
    QByteArray chipBytes(std::uint32_t from, std::uint32_t count) const
    {
        return QByteArray(reinterpret_cast<const char*>(chip->contents().data() + from),
                          static_cast<int>(count));
    }
    void setChipBytes(std::uint32_t at, const QByteArray& bytes)
    {
        std::copy(bytes.begin(), bytes.end(), chip->contents().begin() + at);
    }

    // (address, count) of every logged call of op.
    QList<QPair<std::uint32_t, std::uint32_t>> transfers(AdapterOp op) const
    {
        QList<QPair<std::uint32_t, std::uint32_t>> out;
        for (const AdapterCall& call : adapter->callsOf(op))
            out << qMakePair(call.address, call.count);
        return out;
    }

    QString previousDir;
    std::unique_ptr<QTemporaryDir> dir;
    ScriptedInteraction interaction;
    SteppingClock clock;
    std::unique_ptr<SimulatedTestAdapter> adapter;
    SimulatedChip* chip = nullptr;
    std::unique_ptr<MainWindow> window;
    QHexEdit* hexEdit = nullptr;
};
