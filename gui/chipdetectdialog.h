#pragma once

#include "core/chip/chipinfo.h"

#include <QDialog>
#include <QList>

namespace Ui {
class ChipDetectDialog;
}

namespace korvane {

class AdapterLibrary;
class UserInteraction;


// Reads the connected chip's JEDEC ID with a fixed minimal configuration at a slow clock and
// looks it up in the chip database.
class ChipDetectDialog : public QDialog
{
    Q_OBJECT

public:
    ChipDetectDialog(AdapterLibrary& adapter, UserInteraction& interaction, QWidget* parent = nullptr);
    ~ChipDetectDialog() override;

    void setDeviceIndex(int index) { deviceIndex = index; }
    void setSpiSelector(int selector) { spiSelector = selector; }

    // The last record found; its first three FlashID bytes are zero while nothing was found.
    const CHIP_INFO& result() const { return found; }
    // Whether the last detection read an ID, which ID, and how many records have it.
    bool detected() const { return lastDetected; }
    const std::uint8_t* detectedId() const { return lastId; }
    int matchCount() const { return lastMatches; }

private slots:
    void on_detectPushButton_clicked();

private:
    Ui::ChipDetectDialog* ui;
    AdapterLibrary& adapter;
    UserInteraction& interaction;
    QList<CHIP_INFO> chips;
    int deviceIndex = 0;
    int spiSelector = 0;
    CHIP_INFO found;
    bool lastDetected = false;
    std::uint8_t lastId[3] = {};
    int lastMatches = 0;
};

} // namespace korvane
