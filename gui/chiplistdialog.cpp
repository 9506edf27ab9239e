#include "gui/chiplistdialog.h"

#include "core/chip/chiplist.h"
#include "core/chip/chiplistlocation.h"
#include "gui/addchipdialog.h"
#include "gui/chiplistfile.h"
#include "gui/userinteraction.h"
#include "ui_chiplistdialog.h"

#include <QAction>
#include <QCloseEvent>

#include <algorithm>
#include <cstring>
#include <numeric>

namespace korvane {

namespace {

const char kAllManufacturers[] = "*";

} // namespace

ChipListDialog::ChipListDialog(UserInteraction& interaction, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::ChipListDialog>()), interaction(interaction)
{
    ui->setupUi(this);
    QTableWidget* table = ui->chipListTableWidget;
    table->setColumnWidth(0, 150);
    table->setColumnWidth(1, 300);
    table->setColumnWidth(2, 110);
    ui->addPushButton->setEnabled(false);

    deleteAction = new QAction(tr("删除"), this);
    table->addAction(deleteAction);
    connect(deleteAction, &QAction::triggered, this, &ChipListDialog::deleteRow);

    // On failure the warning has been shown and the list stays empty. A file that is there but
    // could not be read, or was refused whole, is never written: the empty list would replace the
    // records it holds. An installed list is read but never written: saves go to the user's own
    // copy. Invalid records were warned about by the window that opened the dialog; they are not
    // listed but go back into every save.
    const ChipListLocation location = locateChipList();
    savePath = location.savePath;
    bool missing = false;
    QList<InvalidChipRecord> invalid;
    writable = loadChipList(this, interaction, chips, location.readPath, &missing, &invalid) || missing;
    for (const InvalidChipRecord& record : qAsConst(invalid))
        invalidChips << record.chip;
    on_comboBoxManufacturer_currentIndexChanged(QString::fromLatin1(kAllManufacturers));

    // Filling the empty box selects "*", which refills the table the same way.
    QStringList filters{QString::fromLatin1(kAllManufacturers)};
    filters << distinctManufacturers(chips);
    ui->comboBoxManufacturer->addItems(filters);
}

ChipListDialog::~ChipListDialog() = default;

void ChipListDialog::closeEvent(QCloseEvent* event)
{
    saveList();
    QDialog::closeEvent(event);
}

void ChipListDialog::on_addPushButton_clicked()
{
    const QString manufacturer = ui->manufacturerLineEdit->text();
    const QString model = ui->modelNumberLineEdit->text();
    if (manufacturer.isEmpty() || model.isEmpty())
        return;

    CHIP_INFO chip{};
    chip.Config = workingConfig;
    // A name is stored whole with its NUL or not at all.
    if (!setChipName(chip.Manufacturer, manufacturer) || !setChipName(chip.ModelName, model)) {
        interaction.warning(this, tr("警告"), tr("厂商或型号名称过长（最多63字节）！"));
        return;
    }
    // Nothing goes into the file that the next reading would leave out.
    const ChipRecordFault fault = chipRecordFault(chip.Config);
    if (fault != ChipRecordFault::None) {
        interaction.warning(this, tr("警告"),
                            tr("芯片参数无效：%1。").arg(chipRecordFaultMessage(chip.Config, fault)));
        return;
    }

    // The model name is the key, whatever the manufacturer; the first match is offered.
    for (int i = 0; i < chips.size(); ++i) {
        if (chipModelName(chips.at(i)) != model)
            continue;
        const QMessageBox::StandardButton answer =
            interaction.question(nullptr, QMessageBox::Warning, tr("警告"), tr("该型号已经存在，是否覆盖？"),
                                 QMessageBox::Yes | QMessageBox::No);
        if (answer == QMessageBox::Yes) {
            chips[i] = chip;
            ui->addPushButton->setEnabled(false);
        }
        return;
    }

    chips << chip;
    ui->addPushButton->setEnabled(false);
    on_comboBoxManufacturer_currentIndexChanged(ui->comboBoxManufacturer->currentText());
}

void ChipListDialog::offerRecord(const CHIP_INFO& chip)
{
    workingConfig = chip.Config;
    ui->manufacturerLineEdit->setText(chipManufacturer(chip));
    ui->modelNumberLineEdit->setText(chipModelName(chip));
    ui->addPushButton->setEnabled(true);
}

void ChipListDialog::on_instructionsPushButton_clicked()
{
    AddChipDialog dialog(workingConfig, interaction, this);
    if (interaction.execDialog(&dialog) != QDialog::Accepted)
        return;
    workingConfig = dialog.config();
    ui->addPushButton->setEnabled(true);
    saveList();
}

void ChipListDialog::deleteRow()
{
    QTableWidget* table = ui->chipListTableWidget;
    const int row = table->currentRow();
    if (row < 0 || row >= table->rowCount())
        return;
    if (row < rowRecords.size()) {
        const int record = rowRecords.at(row);
        chips.removeAt(record);
        rowRecords.remove(row);
        for (int& index : rowRecords) {
            if (index > record)
                --index;
        }
    }
    table->removeRow(row);
}

void ChipListDialog::on_chipListTableWidget_clicked(const QModelIndex& index)
{
    const QTableWidgetItem* manufacturerItem = ui->chipListTableWidget->item(index.row(), 0);
    const QTableWidgetItem* modelItem = ui->chipListTableWidget->item(index.row(), 1);
    if (!manufacturerItem || !modelItem)
        return;
    const QString manufacturer = manufacturerItem->text();
    const QString model = modelItem->text();

    // Every match is applied, so the last one in list order wins.
    for (const CHIP_INFO& chip : qAsConst(chips)) {
        if (chipManufacturer(chip) != manufacturer || chipModelName(chip) != model)
            continue;
        workingConfig = chip.Config;
        ui->manufacturerLineEdit->setText(manufacturer);
        ui->modelNumberLineEdit->setText(model);
    }
}

void ChipListDialog::on_comboBoxManufacturer_currentIndexChanged(const QString& arg1)
{
    const bool all = arg1 == QLatin1String(kAllManufacturers);
    rowRecords.clear();
    for (int i = 0; i < chips.size(); ++i) {
        if (all || chipManufacturer(chips.at(i)) == arg1)
            rowRecords << i;
    }
    ui->chipListTableWidget->setRowCount(rowRecords.size());
    for (int row = 0; row < rowRecords.size(); ++row)
        fillRow(row, rowRecords.at(row));
}

void ChipListDialog::fillRow(int row, int record)
{
    const CHIP_INFO& chip = chips.at(record);
    const QString texts[3] = {chipManufacturer(chip), chipModelName(chip), formatChipSize(chipSize(chip))};
    QTableWidget* table = ui->chipListTableWidget;
    for (int column = 0; column < 3; ++column) {
        if (QTableWidgetItem* item = table->item(row, column))
            item->setText(texts[column]);
        else
            table->setItem(row, column, new QTableWidgetItem(texts[column]));
    }
}

bool ChipListDialog::saveList()
{
    if (!writable)
        return false;
    // The save sorts the list while the table keeps its rows, so work out where each record goes
    // and move the row map along; a deleted row must still take the record it shows.
    QVector<int> order(chips.size());
    std::iota(order.begin(), order.end(), 0);
    QVector<QString> keys;
    keys.reserve(chips.size());
    for (const CHIP_INFO& chip : qAsConst(chips))
        keys << chipManufacturer(chip).toLower();
    std::stable_sort(order.begin(), order.end(), [&keys](int a, int b) { return keys.at(a) < keys.at(b); });

    QList<CHIP_INFO> sorted;
    sorted.reserve(chips.size());
    for (int index : qAsConst(order))
        sorted << chips.at(index);
    const QList<CHIP_INFO> expected = sorted;
    // The user's copy may be the first file in its folder; a folder that cannot be made shows up
    // as the save's own warning.
    makeChipListFolder(savePath, nullptr);
    if (!saveChipList(this, interaction, sorted, savePath, invalidChips))
        return false;

    bool sameOrder = sorted.size() == expected.size();
    for (int i = 0; sameOrder && i < sorted.size(); ++i)
        sameOrder = std::memcmp(&sorted.at(i), &expected.at(i), sizeof(CHIP_INFO)) == 0;
    chips = sorted;
    if (!sameOrder) {
        // The file was written in another order than foreseen: show it as it now is.
        on_comboBoxManufacturer_currentIndexChanged(ui->comboBoxManufacturer->currentText());
        return true;
    }
    QVector<int> newIndex(order.size());
    for (int position = 0; position < order.size(); ++position)
        newIndex[order.at(position)] = position;
    for (int& index : rowRecords)
        index = newIndex.at(index);
    return true;
}

} // namespace korvane
