#pragma once

#include "core/operations/flashoperations.h"
#include "core/operations/statusoperations.h"

#include <QDialog>

#include <memory>

class QCheckBox;
namespace Ui {
class StatusRegisterDialog;
}

namespace korvane {

class AdapterLibrary;
class Clock;
class UserInteraction;
struct SfdpInfo;


// 状态寄存器: the chip's status registers bit by bit, named as its family names them, with what
// they protect. 读取 reads them; 写入 writes the bits that may be written (write enable first, or
// 50 for a volatile write) and reads them back. The chip is the one the main window's selections
// describe.
class StatusRegisterDialog : public QDialog
{
    Q_OBJECT

public:
    StatusRegisterDialog(AdapterLibrary& adapter, UserInteraction& interaction, Clock& clock,
                         const FlashTarget& target, const SfdpInfo* sfdp, QWidget* parent);
    ~StatusRegisterDialog() override;

    // As last read or written back; count 0 before the first read.
    const StatusRegisters& registers() const { return current; }
    QCheckBox* bitBox(int index, int bit) const;

private slots:
    void on_readPushButton_clicked();
    void on_writePushButton_clicked();
    void on_closePushButton_clicked();

private:
    bool openChip();
    void showRegisters();

    std::unique_ptr<Ui::StatusRegisterDialog> ui;
    AdapterLibrary& adapter;
    UserInteraction& interaction;
    Clock& clock;
    FlashTarget target;
    StatusLayout layout;
    StatusRegisters current;
};

} // namespace korvane
