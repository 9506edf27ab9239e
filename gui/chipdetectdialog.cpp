#include "gui/chipdetectdialog.h"

#include "core/adapter/adapterlibrary.h"
#include "core/chip/chiplist.h"
#include "core/chip/chiplistlocation.h"
#include "core/operations/flashoperations.h"
#include "gui/chiplistfile.h"
#include "gui/operationframe.h"
#include "gui/userinteraction.h"
#include "ui_chipdetectdialog.h"

#include <QCoreApplication>
#include <QLineEdit>

#include <algorithm>
#include <cstring>

namespace korvane {

namespace {

// A text of this file in the window's language.
QString translated(const char* text)
{
    return QCoreApplication::translate("ChipDetectDialog", text);
}

const char kWarningTitle[] = QT_TRANSLATE_NOOP("ChipDetectDialog", "警告");
const char kUnknown[] = "unknown";

QString byteCountText(int bytes)
{
    return QString::asprintf("%d Byte", bytes);
}

// Long names (several models in one record) would otherwise show only their end.
void showText(QLineEdit* edit, const QString& text)
{
    edit->setText(text);
    edit->setCursorPosition(0);
}

} // namespace

ChipDetectDialog::ChipDetectDialog(AdapterLibrary& adapter, UserInteraction& interaction, QWidget* parent)
    : QDialog(parent), ui(new Ui::ChipDetectDialog), adapter(adapter), interaction(interaction)
{
    ui->setupUi(this);
    // Longer labels (the English ones) widen the form rather than being cut short.
    resize(std::max(width(), sizeHint().width()), height());
    std::memset(&found, 0, sizeof found);
    loadChipList(this, interaction, chips, locateChipList().readPath);
}

ChipDetectDialog::~ChipDetectDialog()
{
    delete ui;
}

void ChipDetectDialog::on_detectPushButton_clicked()
{
    const QString title = translated(kWarningTitle);
    std::uint8_t id[kIdBufferSize];
    const OperationResult read = readChipId(adapter, deviceIndex, spiSelector, id);
    lastDetected = read.ok();
    std::copy(id, id + 3, lastId);
    lastMatches = 0;
    switch (read.status) {
    case OperationStatus::Ok:
        break;
    case OperationStatus::ConfigureFailed:
        interaction.warning(this, title, tr("配置设备失败！"));
        return;
    case OperationStatus::ReadIdFailed:
        interaction.warning(this, title, tr("获取芯片ID失败！"));
        return;
    case OperationStatus::NoChipAnswered:
        // No record to look for and none to offer: nothing answered.
        interaction.warning(this, title, noChipAnsweredText(read));
        return;
    case OperationStatus::OpenFailed: {
        const QString refused = adapterRefusedText(read, adapter.identity(deviceIndex).backend);
        interaction.warning(this, title,
                            refused.isEmpty() ? tr("打开设备失败，设备选择是否正确？") : refused);
        return;
    }
    default:
        interaction.warning(this, title, tr("打开设备失败，设备选择是否正确？"));
        return;
    }

    showText(ui->flashIDLineEdit, QString::asprintf("%02X%02X%02X", id[0], id[1], id[2]));

    // The first record with the same three leading bytes wins.
    const QList<CHIP_INFO> matches = chipsWithId(chips, id);
    lastMatches = matches.size();
    if (!matches.isEmpty()) {
        const CHIP_INFO& chip = matches.first();
        showText(ui->manufacturerLineEdit, chipManufacturer(chip));
        showText(ui->modelNameLineEdit, chipModelName(chip));
        showText(ui->memSizeLineEdit, formatChipSize(chipSize(chip)));
        showText(ui->pageSizeLineEdit, byteCountText(chip.Config.PageSize));
        showText(ui->sectorSizeLineEdit, byteCountText(chip.Config.SectorSize));
        found = chip;
        return;
    }

    // Unknown model: the manufacturer may still be known from the first ID byte.
    const QString unknown = QString::fromLatin1(kUnknown);
    showText(ui->manufacturerLineEdit, unknown);
    for (const CHIP_INFO& chip : chips) {
        if (chip.Config.FlashID[0] == id[0]) {
            showText(ui->manufacturerLineEdit, chipManufacturer(chip));
            break;
        }
    }
    showText(ui->modelNameLineEdit, unknown);
    showText(ui->memSizeLineEdit, unknown);
    showText(ui->pageSizeLineEdit, unknown);
    showText(ui->sectorSizeLineEdit, unknown);
}

} // namespace korvane
