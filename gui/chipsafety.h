#pragma once

#include "core/chip/sfdp.h"
#include "core/operations/operationsession.h"

#include <QString>

#include <cstdint>

class QWidget;

namespace korvane {

class UserInteraction;
struct CHIP_INFO;
struct OperationResult;

// The SFDP table the window read from a chip at detection, and where: it is compared with the
// record chosen for that port before every write and erase.
struct ChipSfdp
{
    int deviceIndex = -1;
    int selector = -1;
    std::uint8_t id[3] = {};
    SfdpInfo info;

    // The table, if it was read from this port's chip and the record names the same chip.
    const SfdpInfo* forTarget(int device, int spiSelector, const CHIP_INFO& chip) const;
};

// The window's answers to an operation's questions, asked in message boxes:
// - an ID that differs from the record's: "ID不匹配，是否继续？" (Yes/No, without a parent);
// - an SFDP size that differs from the record's: whether to go on;
// - block protection over part of what is to change: clear it first (Yes), go on as it is (No)
//   or stop (Cancel); blocks locked one by one: whether to go on.
class WindowQuestions : public SessionQuestions
{
public:
    WindowQuestions(UserInteraction& ui, QWidget* window) : ui(ui), window(window) {}
    bool acceptOtherId(const std::uint8_t* id, int length) override;
    bool acceptOtherSize(std::uint64_t recordSize, std::uint64_t sfdpSize) override;
    ProtectionAnswer protectedRange(const StatusLayout& layout, const Protection& protection) override;
    bool acceptBlockLocks(const StatusLayout& layout, const Protection& protection) override;

private:
    UserInteraction& ui;
    QWidget* window;
};

// Why the check before a change failed: the status register could not be read, or the
// protection could not be cleared (SRP with /WP low, SRL, a register that did not take its value).
QString protectionFailureText(const OperationResult& result);

// "8 MByte", "128 KByte", "100 Byte": a size in the words the window shows chip sizes in, exact.
QString chipSizeText(std::uint64_t bytes);
// One line about an SFDP table, as the window shows it.
QString sfdpSummary(const SfdpInfo& info);

} // namespace korvane
