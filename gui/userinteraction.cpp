#include "gui/userinteraction.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QVBoxLayout>

namespace korvane {

namespace {

// Stays up while the work runs: Esc and the window's close control are ignored. Hidden, it would
// hand input back to the main window, where the user could start another operation inside this
// one. The work closes it from code (hide), which sends no close event.
class BusyDialog : public QDialog
{
public:
    using QDialog::QDialog;

protected:
    // Esc lands here.
    void reject() override {}
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

class WidgetProgressDialog : public ProgressDialog
{
public:
    WidgetProgressDialog(QWidget* parent, const QString& title, const QString& label, int minimum,
                         int maximum)
        : dialog(new BusyDialog(parent))
    {
        auto* layout = new QVBoxLayout(dialog);
        labelWidget = new QLabel(label, dialog);
        bar = new QProgressBar(dialog);
        bar->setRange(minimum, maximum);
        bar->setTextVisible(false);
        layout->addWidget(labelWidget);
        layout->addWidget(bar);
        dialog->setModal(true);
        dialog->setWindowTitle(title);
        dialog->show();
        QCoreApplication::processEvents();
    }

    ~WidgetProgressDialog() override { delete dialog.data(); }

    void setLabelText(const QString& text) override
    {
        if (dialog)
            labelWidget->setText(text);
    }
    void setValue(int value) override
    {
        if (dialog)
            bar->setValue(value);
    }
    int value() const override { return dialog ? bar->value() : 0; }
    void close() override
    {
        if (dialog)
            dialog->hide();
    }
    bool isVisible() const override { return dialog && dialog->isVisible(); }

private:
    // The parent window may be destroyed first; the pointer then turns null.
    QPointer<QDialog> dialog;
    QLabel* labelWidget = nullptr;
    QProgressBar* bar = nullptr;
};

} // namespace

QMessageBox::StandardButton WidgetUserInteraction::warning(QWidget* parent, const QString& title,
                                                           const QString& text,
                                                           QMessageBox::StandardButtons buttons)
{
    return QMessageBox::warning(parent, title, text, buttons);
}

QMessageBox::StandardButton WidgetUserInteraction::information(QWidget* parent, const QString& title,
                                                               const QString& text,
                                                               QMessageBox::StandardButtons buttons)
{
    return QMessageBox::information(parent, title, text, buttons);
}

QMessageBox::StandardButton WidgetUserInteraction::question(QWidget* parent, QMessageBox::Icon icon,
                                                            const QString& title, const QString& text,
                                                            QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, title, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void WidgetUserInteraction::about(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::about(parent, title, text);
}

QString WidgetUserInteraction::getOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                                               const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString WidgetUserInteraction::getSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                               const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

int WidgetUserInteraction::execDialog(QDialog* dialog)
{
    return dialog->exec();
}

std::unique_ptr<ProgressDialog> WidgetUserInteraction::showProgress(QWidget* parent, const QString& title,
                                                                    const QString& label, int minimum,
                                                                    int maximum)
{
    return std::make_unique<WidgetProgressDialog>(parent, title, label, minimum, maximum);
}

} // namespace korvane
