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
    }
    return tr("failed");
}
