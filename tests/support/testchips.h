#pragma once

#include "core/chip/chipinfo.h"
#include "core/chip/chiplist.h"
#include "core/spinor/spinor.h"

#include <QFile>
#include <QList>
#include <QString>

#include <cstdint>
#include <vector>

namespace korvane {
}
using namespace korvane;

// A chip record with the common SPI NOR instruction set, for test-made chip databases.
inline CHIP_INFO makeTestChip(const QString& manufacturer, const QString& model, std::vector<std::uint8_t> id,
                              std::int32_t size, std::int32_t sectorSize = 4096,
                              std::uint8_t addressBytes = 3)
{
    CHIP_INFO chip{};
    chip.Config = standardSpiNorConfig(0, size, sectorSize, addressBytes);
    SPIFlashConfig& c = chip.Config;
    for (std::size_t i = 0; i < id.size() && i < 16; ++i)
        c.FlashID[i] = id[i];
    c.IDLength = static_cast<std::uint8_t>(id.size());
    if (!setChipName(chip.Manufacturer, manufacturer) || !setChipName(chip.ModelName, model))
        qFatal("test chip name too long");
    return chip;
}

// Writes the records as ./ChipListData.dat in the current directory.
inline void writeTestChipList(const QList<CHIP_INFO>& chips)
{
    QString error;
    if (!writeChipListFile(QString::fromLatin1(kChipListFileName), chips, &error))
        qFatal("cannot write the test chip list: %s", qPrintable(error));
}
