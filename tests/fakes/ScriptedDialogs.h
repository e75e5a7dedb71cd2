#pragma once

#include "toolkit/Dialogs.h"

#include <QList>
#include <QString>
#include <functional>

// Dialogs that answer from a script and record what they were asked to show.
class ScriptedDialogs : public Dialogs
{
public:
    struct Shown
    {
        enum Kind
        {
            Notice,
            Error,
            Question,
            PrintDialog,
            FileDialog
        } kind;
        QString text;
        ::Question question;
    };

    void notice(const QString& text) override;
    void error(const QString& text) override;
    bool question(const ::Question& question) override;
    bool choosePrinter(QPrinter& printer) override;
    QString chooseFile() override;

    // Answers for the next questions, in order; then defaultAnswer.
    QList<bool> answers;
    bool defaultAnswer = true;
    // The print dialog's answer; a hook may set up the printer (e.g. PDF output),
    // whatever the answer.
    bool printerAnswer = false;
    std::function<void(QPrinter&)> onChoosePrinter;
    // The open-file dialog's answers, in order; an empty text is a cancel.
    QList<QString> files;
    // Runs while a box is "open" (e.g. to look at the window behind it).
    std::function<void(const Shown&)> whileShown;

    QList<Shown> shown;
    QStringList notices() const;
    QStringList errors() const;
    QList<::Question> questions() const;
    void clear() { shown.clear(); }
};
