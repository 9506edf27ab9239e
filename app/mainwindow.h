#pragma once

#include "core/chip/chipinfo.h"
#include "gui/chipsafety.h"

#include <QList>
#include <QMainWindow>
#include <QStringList>

class AdapterLibrary;
class Clock;
class QGridLayout;
class QHexEdit;
class UserInteraction;
struct OperationContext;

namespace Ui {
class MainWindow;
}

// The program's one window: settings panel, operation buttons, menus, tool bar and the hex editor
// showing the buffer. The adapter library, the user-interaction seam and the clock are created by
// main() and handed to every dialog and operation the window starts.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(AdapterLibrary& adapter, UserInteraction& ui, Clock& clock, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The record of the selected model; all zero before any model has been selected.
    const CHIP_INFO& currentChipInfo() const { return currentChip; }

private slots:
    void on_actionOpenFile_triggered();
    void on_actionAddChip_triggered();
    void on_manufacturerComboBox_currentTextChanged(const QString& manufacturer);
    void on_modelNameComboBox_currentTextChanged(const QString& modelName);
    void on_startAddrSpinBox_valueChanged(int startAddress);
    void on_eraseChipPushButton_clicked();
    void on_writeDataPushButton_clicked();
    void on_readDataPushButton_clicked();
    void on_verifyPushButton_clicked();
    void on_actionSaveAs_triggered();
    void on_eraseSectorPushButton_clicked();
    void on_actionEraseChip_triggered();
    void on_actionEraseSector_triggered();
    void on_actionWrite_triggered();
    void on_actionRead_triggered();
    void on_actionVerify_triggered();
    void on_actionHelp_triggered();
    void on_actionChipDetect_triggered();
    void on_actionFirmwareInfo_triggered();
    void on_actionUpgrade_triggered();
    void on_actionSmartWrite_triggered();
    void on_actionBlankCheck_triggered();
    void on_actionStatusRegisters_triggered();

private:
    // Reads ChipListData.dat into chipList and refills the manufacturer box, which selects the
    // first manufacturer's first model. On a missing file the warning is shown and lists and
    // boxes keep what they had.
    void loadChipList();
    // The selections a flash operation starts from, read from the widgets now.
    OperationContext operationContext();
    // Chip size minus start address: how much of a buffer fits from the start address on.
    std::int64_t roomFromStartAddress() const;
    // After detection: the chip's SFDP table remembered for its port, what was found said on the
    // status bar, and where no record has the ID, a record built from SFDP offered.
    void afterDetection(int deviceIndex, int selector, const std::uint8_t* id, int matches);

    Ui::MainWindow* ui;
    QHexEdit* hexEdit = nullptr;
    QGridLayout* gridLayout = nullptr; // on dataWidget, holds only hexEdit
    QList<CHIP_INFO> chipList;         // file order
    QStringList manufacturerList;      // distinct names in order of first appearance
    CHIP_INFO currentChip{};           // zero until a model is selected
    ChipSfdp detectedSfdp;             // the last SFDP table detection read

    AdapterLibrary& adapter;
    UserInteraction& interaction;
    Clock& clock;
};
