#include "gui/erasesectordialog.h"

#include "ui_erasesectordialog.h"

namespace korvane {

EraseSectorDialog::EraseSectorDialog(QWidget* parent) : QDialog(parent), ui(new Ui::EraseSectorDialog)
{
    ui->setupUi(this);
}

EraseSectorDialog::~EraseSectorDialog()
{
    delete ui;
}

void EraseSectorDialog::setSectorTotal(int value)
{
    total = value > 0 ? value : 1;
    ui->startSectorSpinBox->setMaximum(total - 1);
    ui->sectorNumSpinBox->setMaximum(total - ui->startSectorSpinBox->value());
}

void EraseSectorDialog::on_surePushButton_clicked()
{
    start = ui->startSectorSpinBox->value();
    count = ui->sectorNumSpinBox->value();
    accept();
}

void EraseSectorDialog::on_startSectorSpinBox_valueChanged(int value)
{
    // Lowers the count at once when it no longer fits behind the new start.
    ui->sectorNumSpinBox->setMaximum(total - value);
}

void EraseSectorDialog::on_cancelPushButton_clicked()
{
    reject();
}

} // namespace korvane
