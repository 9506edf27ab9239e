#pragma once

#include "gui/userinteraction.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

namespace korvane {
}
using namespace korvane;

// What a progress dialog went through, kept after the dialog object is gone.
struct ProgressRecord
{
    QPointer<QWidget> parent;
    bool hadParent = false;
    QString title;
    QStringList labels; // the initial label, then every change
    int minimum = 0;
    int maximum = 0;
    QList<int> values; // every setValue, in order
    bool visible = true;
    bool closed = false;
    bool destroyed = false;
};

// One call of the user-interaction seam.
struct InteractionCall
{
    enum Kind
    {
        Warning,
        Information,
        Question,
        About,
        OpenFile,
        SaveFile,
        ExecDialog,
        Progress
    };
    Kind kind;
    QPointer<QWidget> parent;
    bool hadParent = false;
    QString title; // caption for file dialogs, window title for ExecDialog
    QString text;  // filter for file dialogs, class name for ExecDialog
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool progressVisible = false; // a progress dialog was still visible when the call came
    QString directory;            // start directory of file dialogs
};

// Test double: records every call and answers from queues. Unscripted questions answer
// QMessageBox::No, unscripted file dialogs are cancelled, unscripted dialogs are rejected.
class ScriptedInteraction : public UserInteraction
{
public:
    QList<InteractionCall> calls;
    QQueue<QMessageBox::StandardButton> answers;
    QQueue<QString> fileNames;
    // Each script runs against the dialog instead of its modal loop and returns the result code.
    QQueue<std::function<int(QDialog*)>> dialogScripts;
    QList<std::shared_ptr<ProgressRecord>> progresses;

    QMessageBox::StandardButton warning(QWidget* parent, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok) override
    {
        record(InteractionCall::Warning, parent, title, text, buttons, QMessageBox::Warning);
        return answerOr(QMessageBox::Ok);
    }
    QMessageBox::StandardButton information(QWidget* parent, const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons = QMessageBox::Ok) override
    {
        record(InteractionCall::Information, parent, title, text, buttons, QMessageBox::Information);
        return answerOr(QMessageBox::Ok);
    }
    QMessageBox::StandardButton question(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                         const QString& text, QMessageBox::StandardButtons buttons) override
    {
        record(InteractionCall::Question, parent, title, text, buttons, icon);
        return answerOr(QMessageBox::No);
    }
    void about(QWidget* parent, const QString& title, const QString& text) override
    {
        record(InteractionCall::About, parent, title, text, QMessageBox::Ok, QMessageBox::NoIcon);
    }
    QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                            const QString& filter) override
    {
        record(InteractionCall::OpenFile, parent, caption, filter, {}, QMessageBox::NoIcon);
        calls.last().directory = dir;
        return fileNames.isEmpty() ? QString() : fileNames.dequeue();
    }
    QString getSaveFileName(QWidget* parent, const QString& caption, const QString& dir,
                            const QString& filter) override
    {
        record(InteractionCall::SaveFile, parent, caption, filter, {}, QMessageBox::NoIcon);
        calls.last().directory = dir;
        return fileNames.isEmpty() ? QString() : fileNames.dequeue();
    }
    int execDialog(QDialog* dialog) override
    {
        record(InteractionCall::ExecDialog, dialog->parentWidget(), dialog->windowTitle(),
               // The class without its namespace, as the tests name dialogs.
               QString::fromLatin1(dialog->metaObject()->className()).section(QStringLiteral("::"), -1), {},
               QMessageBox::NoIcon);
        if (dialogScripts.isEmpty())
            return QDialog::Rejected;
        return dialogScripts.dequeue()(dialog);
    }
    std::unique_ptr<ProgressDialog> showProgress(QWidget* parent, const QString& title, const QString& label,
                                                 int minimum, int maximum) override
    {
        record(InteractionCall::Progress, parent, title, label, {}, QMessageBox::NoIcon);
        auto rec = std::make_shared<ProgressRecord>();
        rec->parent = parent;
        rec->hadParent = parent != nullptr;
        rec->title = title;
        rec->labels << label;
        rec->minimum = minimum;
        rec->maximum = maximum;
        progresses << rec;
        return std::make_unique<Progress>(rec);
    }

    // Convenience for assertions.
    QList<InteractionCall> callsOf(InteractionCall::Kind kind) const
    {
        QList<InteractionCall> out;
        for (const auto& c : calls)
            if (c.kind == kind)
                out << c;
        return out;
    }
    // Texts of the message boxes (warning, information, question, about), in order.
    QStringList messages() const
    {
        QStringList out;
        for (const auto& c : calls)
            if (c.kind <= InteractionCall::About)
                out << c.text;
        return out;
    }
    // The warning and information boxes, in order.
    QList<InteractionCall> reports() const
    {
        QList<InteractionCall> out;
        for (const auto& c : calls)
            if (c.kind == InteractionCall::Warning || c.kind == InteractionCall::Information)
                out << c;
        return out;
    }
    void clear()
    {
        calls.clear();
        progresses.clear();
    }

private:
    class Progress : public ProgressDialog
    {
    public:
        explicit Progress(std::shared_ptr<ProgressRecord> r) : rec(std::move(r)) {}
        ~Progress() override { rec->destroyed = true; }
        void setLabelText(const QString& text) override { rec->labels << text; }
        void setValue(int value) override { rec->values << value; }
        int value() const override { return rec->values.isEmpty() ? -1 : rec->values.last(); }
        void close() override
        {
            rec->closed = true;
            rec->visible = false;
        }
        bool isVisible() const override { return rec->visible; }

    private:
        std::shared_ptr<ProgressRecord> rec;
    };

    void record(InteractionCall::Kind kind, QWidget* parent, const QString& title, const QString& text,
                QMessageBox::StandardButtons buttons, QMessageBox::Icon icon)
    {
        InteractionCall c;
        c.kind = kind;
        c.parent = parent;
        c.hadParent = parent != nullptr;
        c.title = title;
        c.text = text;
        c.buttons = buttons;
        c.icon = icon;
        for (const auto& p : progresses)
            c.progressVisible = c.progressVisible || p->visible;
        calls << c;
    }
    QMessageBox::StandardButton answerOr(QMessageBox::StandardButton fallback)
    {
        return answers.isEmpty() ? fallback : answers.dequeue();
    }
};
