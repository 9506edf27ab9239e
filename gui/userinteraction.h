#pragma once

#include <QMessageBox>
#include <QString>

#include <memory>

class QDialog;
class QWidget;

namespace korvane {

// The modal progress dialog that flash operations and the firmware upgrade show while they work:
// a label above a bar whose percentage text is hidden. The user cannot close it (Esc and the close
// control are ignored); only close() hides it.
class ProgressDialog
{
public:
    virtual ~ProgressDialog() = default;
    virtual void setLabelText(const QString& text) = 0;
    virtual void setValue(int value) = 0;
    virtual int value() const = 0;
    // Hides the dialog; it stays hidden for the rest of its life.
    virtual void close() = 0;
    virtual bool isVisible() const = 0;
};

// Everything that asks or tells the user something, or runs a modal loop. Windows get it through
// their constructors so that tests can script the answers and record what was shown.
class UserInteraction
{
public:
    virtual ~UserInteraction() = default;

    virtual QMessageBox::StandardButton warning(QWidget* parent, const QString& title, const QString& text,
                                                QMessageBox::StandardButtons buttons = QMessageBox::Ok) = 0;
    virtual QMessageBox::StandardButton
    information(QWidget* parent, const QString& title, const QString& text,
                QMessageBox::StandardButtons buttons = QMessageBox::Ok) = 0;
    // A message box with the given icon and buttons, run modally; returns the button chosen
    // (QMessageBox::NoButton or Escape when the box was closed otherwise).
    virtual QMessageBox::StandardButton question(QWidget* parent, QMessageBox::Icon icon,
                                                 const QString& title, const QString& text,
                                                 QMessageBox::StandardButtons buttons) = 0;
    virtual void about(QWidget* parent, const QString& title, const QString& text) = 0;

    // Empty string when the user cancels.
    virtual QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                                    const QString& filter) = 0;
    virtual QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                                    const QString& filter) = 0;

    // Runs the dialog modally and returns its result code (QDialog::Accepted or Rejected).
    virtual int execDialog(QDialog* dialog) = 0;

    // Creates, shows and paints a modal progress dialog (parent, title, label, bar range).
    virtual std::unique_ptr<ProgressDialog> showProgress(QWidget* parent, const QString& title,
                                                         const QString& label, int minimum, int maximum) = 0;
};

// Production implementation on QMessageBox, QFileDialog and QDialog::exec().
class WidgetUserInteraction : public UserInteraction
{
public:
    QMessageBox::StandardButton warning(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok) override;
    QMessageBox::StandardButton information(QWidget* parent, const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok) override;
    QMessageBox::StandardButton question(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                         const QString& text, QMessageBox::StandardButtons buttons) override;
    void about(QWidget* parent, const QString& title, const QString& text) override;
    QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                            const QString& filter) override;
    QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                            const QString& filter) override;
    int execDialog(QDialog* dialog) override;
    std::unique_ptr<ProgressDialog> showProgress(QWidget* parent, const QString& title, const QString& label,
                                                 int minimum, int maximum) override;
};

} // namespace korvane
