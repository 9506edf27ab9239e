#pragma once

#include "core/chip/chipinfo.h"
#include "core/operations/production.h"

#include <QDialog>

#include <cstdint>
#include <memory>

class QTimer;
namespace Ui {
class ProductionDialog;
}

namespace korvane {

class AdapterLibrary;
class Clock;
class UserInteraction;


// 操作 → 量产: programs one chip after another on the window's adapter, port and chip record, with
// the image file, the write method, a serial number and a log chosen here (the core's production
// station and run; see core/operations/production.h). Everything runs on the user-interface
// thread: a timer polls for the chip, and a unit's work lets pending events run once per block,
// so that 停止 is heard; a unit is never stopped half way.
class ProductionDialog : public QDialog
{
    Q_OBJECT

public:
    struct Target
    {
        AdapterLibrary& adapter;
        Clock& clock;
        UserInteraction& ui;
        int deviceIndex;
        int selector;
        std::uint32_t clockHz;
        CHIP_INFO chip;   // the record every unit is checked against
        int startAddress; // where a raw image goes
    };

    explicit ProductionDialog(const Target& target, QWidget* parent = nullptr);
    ~ProductionDialog() override;

    bool isRunning() const { return station != nullptr; }

public slots:
    // One poll of the station (the timer's, every kProductionPollMs while a run lasts).
    void pollOnce();

protected:
    // While a run lasts, closing the dialog stops it at the next safe point instead.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void on_imageBrowseButton_clicked();
    void on_logBrowseButton_clicked();
    void on_serialFileBrowseButton_clicked();
    void on_startButton_clicked();
    void on_stopButton_clicked();
    void on_closeButton_clicked();
    void on_serialFormatComboBox_currentIndexChanged(int index);

private:
    class Observer;

    // Reads the settings, opens the run (asking about serials an interrupted run left) and makes
    // the station; false after a warning.
    bool start();
    // After the station stopped: why, when it stopped on its own, and the serial file let go.
    void finish();
    bool readImage(std::vector<ImageSegment>* image);
    void showUnit(const UnitRecord& record);
    void showCounts();
    void setRunning(bool running);
    void warn(const QString& text);
    QString errorText(const ProductionError& error) const;

    Ui::ProductionDialog* ui;
    Target target;
    QTimer* timer;
    std::unique_ptr<ProductionRun> run;
    std::unique_ptr<ProductionStation> station;
    std::unique_ptr<Observer> observer;
    bool polling = false;
};

} // namespace korvane
