#pragma once

#include "core/chip/chipinfo.h"

#include <QDialog>

#include <memory>

namespace Ui {
class AddChipDialog;
}

namespace korvane {

class UserInteraction;


// Edits the ID, geometry and SPI instruction set of a chip. The names are edited elsewhere. 确定
// refuses, with a warning naming the field, values the chip list would not take.
class AddChipDialog : public QDialog
{
    Q_OBJECT

public:
    AddChipDialog(const SPIFlashConfig& config, UserInteraction& interaction, QWidget* parent);
    ~AddChipDialog() override;

    // The edited configuration once the dialog was accepted; the given one otherwise.
    SPIFlashConfig config() const { return chipConfig; }

private slots:
    void on_positivePushButton_clicked();
    void on_cancelPushButton_clicked();

private:
    std::unique_ptr<Ui::AddChipDialog> ui;
    SPIFlashConfig chipConfig;
    UserInteraction& interaction;
};

} // namespace korvane
