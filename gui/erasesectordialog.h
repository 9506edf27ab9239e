#pragma once

#include <QDialog>

namespace Ui {
class EraseSectorDialog;
}

namespace korvane {

// Asks for the first sector and the number of sectors to erase.
class EraseSectorDialog : public QDialog
{
    Q_OBJECT

public:
    explicit EraseSectorDialog(QWidget* parent = nullptr);
    ~EraseSectorDialog() override;

    // The number of sectors offered; 0 or less counts as 1.
    void setSectorTotal(int total);
    int sectorTotal() const { return total; }
    // Set when the user confirms.
    int startSector() const { return start; }
    int sectorNum() const { return count; }

private slots:
    void on_surePushButton_clicked();
    void on_startSectorSpinBox_valueChanged(int value);
    void on_cancelPushButton_clicked();

private:
    Ui::EraseSectorDialog* ui;
    int start = 0;
    int count = 0;
    int total = 1;
};

} // namespace korvane
