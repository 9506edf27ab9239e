#include "core/operations/statusoperations.h"

#include "core/adapter/adapterlibrary.h"
#include "core/adapter/adapterresult.h"
#include "core/base/clock.h"
#include "core/chip/sfdp.h"
#include "core/spinor/librarytransport.h"
#include "core/spinor/spinor.h"
#include "core/spinor/spinorengine.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>

namespace korvane {

namespace {

// Translated in the context "StatusOperations".
class StatusText
{
    Q_DECLARE_TR_FUNCTIONS(StatusOperations)
};

QString hexAddress(std::uint64_t address)
{
    return QStringLiteral("0x%1").arg(address, 6, 16, QLatin1Char('0'));
}

std::uint8_t readOpcode(const FlashTarget& target, const StatusLayout& layout, int index)
{
    // Status register 1 is read as the record says, as every operation polls it.
    if (index == 0 && target.chip.Config.ReadStatus != 0)
        return target.chip.Config.ReadStatus;
    return layout.registers[index].readOpcode;
}

} // namespace

StatusLayout statusLayoutForChip(const CHIP_INFO& chip, const SfdpInfo* sfdp)
{
    StatusLayout layout = statusLayoutFor(chip.Config.FlashID);
    if (layout.known() || sfdp == nullptr)
        return layout;
    // Of a chip of no known family SFDP tells which registers there are and how they are written;
    // what its protect bits protect it does not.
    layout.volatileOnly = sfdp->wantsVolatileWriteEnable();
    layout.volatileWriteEnable = layout.volatileOnly || (sfdp->statusRegister1Write & 0x08) != 0;
    if (sfdp->hasStatusRegister2()) {
        StatusRegisterInfo& sr2 = layout.registers[1];
        sr2.name = "SR2";
        sr2.readOpcode = SpiNor::ReadStatus2;
        sr2.writeOpcode = sfdp->quadEnableRequirement == 6 ? SpiNor::WriteStatus2 : 0;
        sr2.withWriteStatus1 = sfdp->quadEnableRequirement != 6;
        sr2.writableMask = SpiNor::Status2Qe;
        sr2.bits[1] = "QE";
        layout.registerCount = 2;
    }
    if (sfdp->hasStatusRegister3()) {
        StatusRegisterInfo& sr3 = layout.registers[2];
        sr3.name = "SR3";
        sr3.readOpcode = SpiNor::ReadStatus3;
        sr3.writeOpcode = SpiNor::WriteStatus3;
        layout.registerCount = 3;
    }
    return layout;
}

OperationResult readStatusRegisters(AdapterLibrary& adapter, const FlashTarget& target,
                                    const StatusLayout& layout, int count, StatusRegisters* out)
{
    StatusRegisters read;
    read.layout = layout;
    count = std::clamp(count, 1, layout.registerCount);
    for (int i = 0; i < count; ++i) {
        LibraryTransport transport(adapter, target.deviceIndex, target.selector);
        if (const int code = SpiNorEngine::readStatus(transport, readOpcode(target, layout, i), &read.values[i]))
            return operationFailure(OperationStatus::StatusReadFailed, code);
        read.count = i + 1;
    }
    *out = read;
    return OperationResult{};
}

OperationResult writeStatusRegisters(AdapterLibrary& adapter, const FlashTarget& target, Clock& clock,
                                     const StatusRegisters& current, const std::uint8_t* wanted,
                                     StatusWriteKind kind, StatusRegisters* after)
{
    const StatusLayout& layout = current.layout;
    const int count = current.count;
    std::uint8_t merged[kMaxStatusRegisters] = {};
    bool changes[kMaxStatusRegisters] = {};
    for (int i = 0; i < count; ++i) {
        const std::uint8_t mask = layout.registers[i].writableMask;
        merged[i] = static_cast<std::uint8_t>((current.values[i] & ~mask) | (wanted[i] & mask));
        changes[i] = merged[i] != current.values[i];
    }
    merged[0] &= static_cast<std::uint8_t>(~(SpiNor::StatusBusy | SpiNor::StatusWriteEnabled));

    const std::uint8_t enable = kind == StatusWriteKind::Volatile     ? SpiNor::VolatileStatusWriteEnable
                                : target.chip.Config.WriteEnable != 0 ? target.chip.Config.WriteEnable
                                                                      : SpiNor::WriteEnable;
    const std::uint8_t readStatus = readOpcode(target, layout, 0);
    LibraryTransport transport(adapter, target.deviceIndex, target.selector);
    SpiNorEngine engine(clock);
    auto send = [&](const std::uint8_t* bytes, int n) -> OperationResult {
        const int code = engine.writeStatus(transport, enable, bytes, n, readStatus);
        if (code == AdapterErrorTimeout)
            return operationFailure(OperationStatus::Timeout);
        return code == AdapterOk ? OperationResult{} : operationFailure(OperationStatus::TransferFailed, code);
    };

    // SR2 goes with SR1 as the second byte of 01 where the family takes it so: every generation of
    // those parts understands that, and a one-byte 01 clears SR2 on some of them.
    const bool sr2WithSr1 = count >= 2 && layout.registers[1].withWriteStatus1;
    const std::uint8_t writeStatus1 =
        target.chip.Config.WriteStatus != 0 ? target.chip.Config.WriteStatus : SpiNor::WriteStatus1;
    if (changes[0] || (sr2WithSr1 && changes[1])) {
        const std::uint8_t bytes[] = {writeStatus1, merged[0], merged[1]};
        const OperationResult sent = send(bytes, sr2WithSr1 ? 3 : 2);
        if (!sent.ok())
            return sent;
    }
    for (int i = 1; i < count; ++i) {
        if (!changes[i] || (i == 1 && sr2WithSr1) || layout.registers[i].writeOpcode == 0)
            continue;
        const std::uint8_t bytes[] = {layout.registers[i].writeOpcode, merged[i]};
        const OperationResult sent = send(bytes, 2);
        if (!sent.ok())
            return sent;
    }

    StatusRegisters readBack;
    const OperationResult read = readStatusRegisters(adapter, target, layout, count, &readBack);
    if (!read.ok())
        return read;
    if (after != nullptr)
        *after = readBack;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t mask = layout.registers[i].writableMask;
        if ((readBack.values[i] & mask) == (merged[i] & mask))
            continue;
        // Why the chip did not take it, where its registers say.
        const Protection before = current.protection(0);
        if (before.registerLocked)
            return operationFailure(OperationStatus::StatusLocked);
        if (before.registerProtect && !before.quadEnabled)
            return operationFailure(OperationStatus::StatusWriteProtected);
        OperationResult failed = operationFailure(OperationStatus::StatusWriteFailed, 0, std::uint64_t(i));
        failed.count = statusWriteValues(merged[i], readBack.values[i]);
        return failed;
    }
    return OperationResult{};
}

OperationResult readProtection(AdapterLibrary& adapter, const FlashTarget& target, const StatusLayout& layout,
                               StatusRegisters* out)
{
    return readStatusRegisters(adapter, target, layout, layout.protectionRegisters, out);
}

OperationResult clearProtection(AdapterLibrary& adapter, const FlashTarget& target, Clock& clock,
                                const StatusRegisters& before, StatusRegisters* after)
{
    std::uint8_t wanted[kMaxStatusRegisters] = {};
    std::copy(before.values, before.values + kMaxStatusRegisters, wanted);
    clearProtectionBits(before.layout, wanted, before.count);
    // Where status register 1 is volatile only, 50 is the one way to write it.
    return writeStatusRegisters(
        adapter, target, clock, before, wanted,
        before.layout.volatileOnly ? StatusWriteKind::Volatile : StatusWriteKind::NonVolatile, after);
}

QString protectionBitNames(const StatusLayout& layout, const Protection& protection)
{
    QStringList names;
    for (int i = 0; i < layout.registerCount; ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            if (!(protection.bitsSet[i] & (1 << bit)))
                continue;
            const char* name = layout.registers[i].bits[bit];
            names
                << (name ? QString::fromLatin1(name)
                         : QStringLiteral("%1 bit %2").arg(QLatin1String(layout.registers[i].name)).arg(bit));
        }
    }
    return names.join(QStringLiteral(", "));
}

QString byteSizeText(std::uint64_t bytes)
{
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0)
        return QStringLiteral("%1 MiB").arg(bytes >> 20);
    if (bytes >= 1024 && bytes % 1024 == 0)
        return QStringLiteral("%1 KiB").arg(bytes >> 10);
    return StatusText::tr("%1 bytes").arg(bytes);
}

QString protectionText(const StatusLayout& layout, const Protection& protection)
{
    const QString bits = protectionBitNames(layout, protection);
    if (!protection.any)
        return bits.isEmpty() ? StatusText::tr("nothing is write-protected")
                              : StatusText::tr("%1 set, which protects nothing").arg(bits);
    if (protection.individualLocks)
        return StatusText::tr(
            "WPS is set: individual block locks apply, and the whole chip may be write-protected");
    if (!protection.exact)
        return StatusText::tr("%1 set; what they protect on this chip is not known: the whole chip may be "
                              "write-protected")
            .arg(bits);
    return StatusText::tr("%1 set: %2-%3 (%4) is write-protected")
        .arg(bits, hexAddress(protection.start), hexAddress(protection.end - 1),
             byteSizeText(protection.end - protection.start));
}

} // namespace korvane
