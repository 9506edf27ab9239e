#include "core/operations/operationresult.h"

#include "core/adapter/adapterresult.h"

#include <QCoreApplication>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("OperationResult", text);
}

QString hexAddress(std::uint64_t address)
{
    return QStringLiteral("0x%1").arg(address, 6, 16, QLatin1Char('0'));
}

} // namespace

QString operationResultText(const OperationResult& result)
{
    const QString reason =
        QCoreApplication::translate("AdapterResult", adapterResultText(result.adapterCode));
    switch (result.status) {
    case OperationStatus::Ok:
        return tr("done");
    case OperationStatus::NoAdapter:
        return tr("the adapter is not connected");
    case OperationStatus::OpenFailed:
        return result.adapterCode == 0 ? tr("cannot open the adapter")
                                       : tr("cannot open the adapter: %1").arg(reason);
    case OperationStatus::ConfigureFailed:
        return tr("cannot configure the adapter for this chip: %1").arg(reason);
    case OperationStatus::Enter4ByteFailed:
        return tr("cannot switch the chip to 4-byte addressing: %1").arg(reason);
    case OperationStatus::ReadIdFailed:
        return tr("cannot read the chip's ID: %1").arg(reason);
    case OperationStatus::IdMismatch:
        return tr("the chip's ID differs from the chosen record's");
    case OperationStatus::NothingToRead:
        return tr("nothing to read: the start address is at or past the end of the chip");
    case OperationStatus::NoData:
        return tr("no data");
    case OperationStatus::BeyondChip:
        return tr("the data does not fit between the start address and the end of the chip");
    case OperationStatus::TransferFailed:
        return tr("failed at %1: %2").arg(hexAddress(result.address), reason);
    case OperationStatus::Timeout:
        return tr("the chip stayed busy too long");
    case OperationStatus::VerifyMismatch:
        return tr("%1 bytes differ, the first at %2").arg(result.count).arg(hexAddress(result.address));
    case OperationStatus::OutOfMemory:
        return tr("not enough memory");
    case OperationStatus::NoFirmwareUpgrade:
        return tr("this adapter's firmware cannot be upgraded");
    case OperationStatus::FirmwareFileUnreadable:
        return tr("cannot read the firmware file");
    case OperationStatus::FirmwareInfoFailed:
        return tr("cannot read the adapter's firmware information");
    case OperationStatus::FirmwareFileRejected:
        return tr("the firmware file failed its check");
    case OperationStatus::FirmwareEraseFailed:
        return tr("erasing the adapter's firmware failed");
    case OperationStatus::FirmwareWriteFailed:
        return tr("writing the firmware failed");
    case OperationStatus::FirmwareMd5WriteFailed:
        return tr("writing the firmware's MD5 value failed");
    case OperationStatus::FirmwareMd5Mismatch:
        return tr("the written firmware failed its MD5 check");
    case OperationStatus::StatusReadFailed:
        return tr("cannot read the status register: %1").arg(reason);
    case OperationStatus::StatusWriteFailed:
        return tr("status register %1 did not take 0x%2: it reads 0x%3")
            .arg(result.address + 1)
            .arg((result.count >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
            .arg(result.count & 0xFF, 2, 16, QLatin1Char('0'));
    case OperationStatus::StatusWriteProtected:
        return tr("the status registers are locked: SRP is set and /WP is held low");
    case OperationStatus::StatusLocked:
        return tr("the status registers are locked until the chip is powered off (SRL is set)");
    case OperationStatus::Protected:
        return tr("part of the range is write-protected");
    case OperationStatus::NotBlank:
        return tr("%1 bytes are not erased, the first at %2")
            .arg(result.count)
            .arg(hexAddress(result.address));
    case OperationStatus::ReadMismatch:
        return tr("two reads differ in %1 bytes, the first at %2: a bad contact or too fast a clock; "
                  "try a lower speed")
            .arg(result.count)
            .arg(hexAddress(result.address));
    case OperationStatus::NoSfdp:
        return tr("the chip has no SFDP table");
    case OperationStatus::SfdpUnusable:
        return tr("the chip's SFDP table cannot be used");
    case OperationStatus::NoEraseSize:
        return tr("no erase size to work in: the record's sector size is not a power of two");
    }
    return tr("failed");
}
