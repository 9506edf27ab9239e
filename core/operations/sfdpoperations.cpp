#include "core/operations/sfdpoperations.h"

#include "core/adapter/adapterlibrary.h"
#include "core/chip/chiplist.h"
#include "core/spinor/librarytransport.h"
#include "core/spinor/spinor.h"
#include "core/spinor/spinorengine.h"

#include <QCoreApplication>

#include <vector>

namespace korvane {

namespace {

constexpr std::uint32_t kSixteenMiB = 16u << 20;

int readSfdpBytes(AdapterLibrary& adapter, int dev, int sel, std::uint32_t address, std::uint8_t* out,
                  int count)
{
    LibraryTransport transport(adapter, dev, sel);
    return SpiNorEngine::readSfdp(transport, address, out, count);
}

} // namespace

OperationResult readSfdp(AdapterLibrary& adapter, int deviceIndex, int selector, SfdpInfo* info, QString* why)
{
    std::uint8_t header[kSfdpHeaderSize];
    if (const int code = readSfdpBytes(adapter, deviceIndex, selector, 0, header, sizeof header))
        return operationFailure(OperationStatus::TransferFailed, code);
    int parameterHeaders = 0;
    if (!parseSfdpHeader(header, sizeof header, &parameterHeaders))
        return operationFailure(OperationStatus::NoSfdp);

    std::vector<std::uint8_t> headers(kSfdpParameterHeaderSize * static_cast<std::size_t>(parameterHeaders));
    if (const int code = readSfdpBytes(adapter, deviceIndex, selector, kSfdpHeaderSize, headers.data(),
                                       static_cast<int>(headers.size())))
        return operationFailure(OperationStatus::TransferFailed, code, kSfdpHeaderSize);
    SfdpParameterHeader basic;
    if (!findSfdpBasicTable(headers.data(), parameterHeaders, &basic)) {
        if (why != nullptr)
            *why = QCoreApplication::translate("Sfdp", "there is no basic flash parameter table");
        return operationFailure(OperationStatus::SfdpUnusable);
    }
    std::vector<std::uint8_t> table(4 * static_cast<std::size_t>(basic.dwords));
    if (const int code = readSfdpBytes(adapter, deviceIndex, selector, basic.pointer, table.data(),
                                       static_cast<int>(table.size())))
        return operationFailure(OperationStatus::TransferFailed, code, basic.pointer);
    if (!parseSfdpBasicTable(table.data(), basic.dwords, basic, info, why))
        return operationFailure(OperationStatus::SfdpUnusable);
    return OperationResult{};
}

OperationResult detectChip(AdapterLibrary& adapter, int deviceIndex, int selector,
                           std::uint8_t (&id)[kIdBufferSize], SfdpInfo* info, bool* sfdpRead)
{
    *sfdpRead = false;
    const OperationResult read = readChipId(adapter, deviceIndex, selector, id);
    if (!read.ok())
        return read;
    *sfdpRead = readSfdp(adapter, deviceIndex, selector, info).ok();
    return read;
}

bool chipInfoFromSfdp(const SfdpInfo& info, const std::uint8_t* id, int idLength, const QString& manufacturer,
                      const QString& model, CHIP_INFO* chip)
{
    if (info.eraseTypeCount == 0 || info.pageSize == 0 || info.sizeBytes == 0 ||
        info.sizeBytes > 0x7FFFFFFFu || info.sizeBytes % info.pageSize != 0)
        return false;
    std::uint8_t addressBytes = 3;
    if (info.addressing == SfdpAddressing::FourByte ||
        (info.addressing == SfdpAddressing::ThreeOrFourByte && info.sizeBytes > kSixteenMiB))
        addressBytes = 4;
    const SfdpEraseType& smallest = info.eraseTypes[0];
    CHIP_INFO made{};
    made.Config =
        standardSpiNorConfig(0, static_cast<std::int32_t>(info.sizeBytes),
                             static_cast<std::int32_t>(smallest.size), addressBytes, smallest.opcode);
    made.Config.PageSize = static_cast<std::int32_t>(info.pageSize);
    made.Config.NumPages = static_cast<std::int32_t>(info.sizeBytes / info.pageSize);
    const int length = std::min(std::max(idLength, 0), 16);
    std::fill(std::begin(made.Config.FlashID), std::end(made.Config.FlashID), std::uint8_t(0));
    std::copy(id, id + length, made.Config.FlashID);
    made.Config.IDLength = static_cast<std::uint8_t>(length);
    if (!setChipName(made.Manufacturer, manufacturer) || !setChipName(made.ModelName, model))
        return false;
    // Odd tables (an erase type smaller than a page) give records the chip list would refuse.
    if (chipRecordFault(made.Config) != ChipRecordFault::None)
        return false;
    *chip = made;
    return true;
}

} // namespace korvane
