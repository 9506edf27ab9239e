#include "core/operations/operationresult.h"

#include "core/adapter/adapterresult.h"

#include <QCoreApplication>

#include <algorithm>

namespace korvane {

namespace {

// Translated in the context "OperationResult".
class OperationResultText
{
    Q_DECLARE_TR_FUNCTIONS(OperationResult)
};

QString hexAddress(std::uint64_t address)
{
    return QStringLiteral("0x%1").arg(address, 6, 16, QLatin1Char('0'));
}

} // namespace

OperationResult noChipAnsweredResult(const std::uint8_t* id, int length)
{
    OperationResult result =
        operationFailure(OperationStatus::NoChipAnswered, 0, std::uint64_t(std::max(length, 0)));
    result.count = length > 0 ? id[0] : 0xFF;
    return result;
}

QString operationResultText(const OperationResult& result)
{
    const QString reason =
        QCoreApplication::translate("AdapterResult", adapterResultText(result.adapterCode));
    switch (result.status) {
    case OperationStatus::Ok:
        return OperationResultText::tr("done");
    case OperationStatus::NoAdapter:
        return OperationResultText::tr("the adapter is not connected");
    case OperationStatus::OpenFailed:
        return result.adapterCode == 0 ? OperationResultText::tr("cannot open the adapter")
                                       : OperationResultText::tr("cannot open the adapter: %1").arg(reason);
    case OperationStatus::ConfigureFailed:
        return OperationResultText::tr("cannot configure the adapter for this chip: %1").arg(reason);
    case OperationStatus::Enter4ByteFailed:
        return OperationResultText::tr("cannot switch the chip to 4-byte addressing: %1").arg(reason);
    case OperationStatus::ReadIdFailed:
        return OperationResultText::tr("cannot read the chip's ID: %1").arg(reason);
    case OperationStatus::IdMismatch:
        return OperationResultText::tr("the chip's ID differs from the chosen record's");
    case OperationStatus::NoChipAnswered:
        return OperationResultText::tr(
                   "no chip answered (the ID reads %1): check the wiring, the chip select "
                   "(--port) and the chip's supply")
            .arg(QString(2 * static_cast<int>(std::min<std::uint64_t>(result.address, 16)),
                         result.count == 0 ? QLatin1Char('0') : QLatin1Char('F')));
    case OperationStatus::NothingToRead:
        return OperationResultText::tr(
            "nothing to read: the start address is at or past the end of the chip");
    case OperationStatus::NoData:
        return OperationResultText::tr("no data");
    case OperationStatus::BeyondChip:
        return OperationResultText::tr(
            "the data does not fit between the start address and the end of the chip");
    case OperationStatus::TransferFailed:
        return OperationResultText::tr("failed at %1: %2").arg(hexAddress(result.address), reason);
    case OperationStatus::Timeout:
        return OperationResultText::tr("the chip stayed busy too long");
    case OperationStatus::VerifyMismatch:
        return OperationResultText::tr("%1 bytes differ, the first at %2")
            .arg(result.count)
            .arg(hexAddress(result.address));
    case OperationStatus::OutOfMemory:
        return OperationResultText::tr("not enough memory");
    case OperationStatus::NoFirmwareUpgrade:
        return OperationResultText::tr("this adapter's firmware cannot be upgraded");
    case OperationStatus::FirmwareFileUnreadable:
        return OperationResultText::tr("cannot read the firmware file");
    case OperationStatus::FirmwareInfoFailed:
        return OperationResultText::tr("cannot read the adapter's firmware information");
    case OperationStatus::FirmwareFileRejected:
        return OperationResultText::tr("the firmware file failed its check");
    case OperationStatus::FirmwareEraseFailed:
        return OperationResultText::tr("erasing the adapter's firmware failed");
    case OperationStatus::FirmwareWriteFailed:
        return OperationResultText::tr("writing the firmware failed");
    case OperationStatus::FirmwareMd5WriteFailed:
        return OperationResultText::tr("writing the firmware's MD5 value failed");
    case OperationStatus::FirmwareMd5Mismatch:
        return OperationResultText::tr("the written firmware failed its MD5 check");
    case OperationStatus::StatusReadFailed:
        return OperationResultText::tr("cannot read the status register: %1").arg(reason);
    case OperationStatus::StatusWriteFailed:
        return OperationResultText::tr("status register %1 did not take 0x%2: it reads 0x%3")
            .arg(result.address + 1)
            .arg((result.count >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
            .arg(result.count & 0xFF, 2, 16, QLatin1Char('0'));
    case OperationStatus::StatusWriteProtected:
        return OperationResultText::tr("the status registers are locked: SRP is set and /WP is held low");
    case OperationStatus::StatusLocked:
        return OperationResultText::tr(
            "the status registers are locked until the chip is powered off (SRL is set)");
    case OperationStatus::Protected:
        return OperationResultText::tr("part of the range is write-protected");
    case OperationStatus::NotBlank:
        return OperationResultText::tr("%1 bytes are not erased, the first at %2")
            .arg(result.count)
            .arg(hexAddress(result.address));
    case OperationStatus::ReadMismatch:
        return OperationResultText::tr(
                   "two reads differ in %1 bytes, the first at %2: a bad contact or too fast a clock; "
                   "try a lower speed")
            .arg(result.count)
            .arg(hexAddress(result.address));
    case OperationStatus::NoSfdp:
        return OperationResultText::tr("the chip has no SFDP table");
    case OperationStatus::SfdpUnusable:
        return OperationResultText::tr("the chip's SFDP table cannot be used");
    case OperationStatus::Declined:
        return OperationResultText::tr("stopped");
    case OperationStatus::NotAligned:
        return OperationResultText::tr("the range %1-%2 does not start and end on the chip's erase blocks")
            .arg(hexAddress(result.address), hexAddress(result.address + result.count - 1));
    case OperationStatus::NoEraseSize:
        return OperationResultText::tr(
            "no erase size to work in: the record's sector size is not a power of two");
    }
    return OperationResultText::tr("failed");
}

} // namespace korvane
