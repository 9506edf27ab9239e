#pragma once

#include "core/chip/chipinfo.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QVector>

#include <memory>

class QAction;
class QModelIndex;
namespace Ui {
class ChipListDialog;
}

namespace korvane {

class UserInteraction;


// Editor of the chip database: lists the records of ChipListData.dat, filtered by manufacturer,
// adds, overwrites and deletes records, and writes the file on every close event and after every
// accepted instruction edit, unless the file was there but could not be read. The list is read
// where locateChipList finds it; an installed list is saved as the user's own copy. Records with
// impossible geometry are not listed, and are written back unchanged after the others.
class ChipListDialog : public QDialog
{
    Q_OBJECT

public:
    ChipListDialog(UserInteraction& interaction, QWidget* parent);
    ~ChipListDialog() override;

    // Fills the form with a record to add (names and instruction set), ready for 添加.
    void offerRecord(const CHIP_INFO& chip);

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void on_addPushButton_clicked();
    void on_instructionsPushButton_clicked();
    void deleteRow();
    void on_chipListTableWidget_clicked(const QModelIndex& index);
    void on_comboBoxManufacturer_currentIndexChanged(const QString& arg1);

private:
    void fillRow(int row, int record);
    bool saveList();

    std::unique_ptr<Ui::ChipListDialog> ui;
    SPIFlashConfig workingConfig{}; // copied into every added record
    QAction* deleteAction = nullptr;
    QList<CHIP_INFO> chips;
    QList<CHIP_INFO> invalidChips; // the file's invalid records, byte for byte, in file order
    QVector<int> rowRecords; // index in chips of the record each table row was filled from
    bool writable = false;   // the file was read, or there was none: saving loses nothing
    QString savePath;        // the file read, or the user's copy of an installed list
    UserInteraction& interaction;
};

} // namespace korvane
