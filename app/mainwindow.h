#pragma once

#include "core/chip/chipinfo.h"
#include "core/operations/flashoperations.h"
#include "core/formats/imageformat.h"
#include "gui/chipsafety.h"

#include <QList>
#include <QMainWindow>
#include <QStringList>

class QFile;
class QGridLayout;
class QLabel;
class QSettings;
namespace Ui {
class MainWindow;
}

namespace korvane {

class AdapterLibrary;
class Clock;
class QHexEdit;
class UserInteraction;
struct OperationContext;
enum class WindowLanguage;


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

    // Restores the window's size and position and the user's last device, port, speed,
    // manufacturer, model and file folder from settings (group "window"), and keeps them there when
    // the window closes. Anything not stored, or no longer offered, stays at its default. The
    // language chosen in the menu is kept there too, at once.
    void rememberChoices(QSettings* settings);

protected:
    void closeEvent(QCloseEvent* event) override;

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
    void on_actionProduction_triggered();

private:
    // Reads ChipListData.dat (where locateChipList finds it) into chipList and refills the
    // manufacturer box, which selects the first manufacturer's first model. On a missing file the warning is
    // shown and lists and boxes keep what they had. Invalid records are left out, with one warning
    // unless the same records were warned about at the last load that had any.
    void loadChipList();
    // The selections a flash operation starts from, read from the widgets now.
    OperationContext operationContext();
    // Chip size minus start address: how much of a buffer fits from the start address on.
    std::int64_t roomFromStartAddress() const;
    // Which adapter the selected device index is, and the SPI clock it ran at last, in the status
    // bar and the device box's tool tip.
    void showAdapter();
    // Loads an Intel HEX or S-record file: its bytes from its lowest address on, gaps 0xFF, at
    // the start address the user gave or else at the file's own lowest address. Refused with a
    // warning, buffer and start address unchanged, when the file is faulty or does not fit the chip.
    void loadRecordFile(QFile& file, const QString& fileName, ImageFormat format);
    // Replaces the buffer with bytes; the old model goes once nothing refers to it.
    void setBuffer(const QByteArray& bytes);
    void rememberDirectory(const QString& fileName);
    void saveChoices();
    // 帮助 → 语言/Language: follow the system, 中文 or English, checked as remembered.
    void addLanguageMenu();
    void showLanguage(WindowLanguage language);
    // Remembers the choice; it applies from the next start, which the user is told in the language
    // chosen when it differs from the one shown.
    void chooseLanguage(WindowLanguage language);
    // After detection: the chip's SFDP table remembered for its port, what was found said on the
    // status bar, and where no record has the ID, a record built from SFDP offered.
    void afterDetection(int deviceIndex, int selector, const std::uint8_t* id, int matches);
    // The SHA-256 (shortened; whole in the tool tip) and CRC-32 of the bytes an operation read,
    // wrote or compared, on the status bar.
    void showHashes(FlashOperation operation, const QByteArray& bytes);

    Ui::MainWindow* ui;
    QHexEdit* hexEdit = nullptr;
    QGridLayout* gridLayout = nullptr; // on dataWidget, holds only hexEdit
    QLabel* adapterLabel = nullptr;    // in the status bar
    QLabel* hashLabel = nullptr;       // in the status bar
    QList<CHIP_INFO> chipList;         // file order
    QStringList manufacturerList;      // distinct names in order of first appearance
    CHIP_INFO currentChip{};           // zero until a model is selected
    QSettings* settings = nullptr;     // where choices are remembered; none in tests that do not ask
    QString fileDirectory;             // last folder of a file opened or saved; empty: the dialog's own
    // The user set 地址 by hand since the last record file set it: a record file then goes there
    // instead of to its own lowest address. The window's own changes do not count.
    bool startAddressGiven = false;
    bool settingStartAddress = false;
    ChipSfdp detectedSfdp; // the last SFDP table detection read
    // Digest of the invalid records last warned about: reading the list again after the chip list
    // dialog, which keeps them, brings no second warning about the same records.
    QByteArray warnedInvalidRecords;

    AdapterLibrary& adapter;
    UserInteraction& interaction;
    Clock& clock;
};

} // namespace korvane
