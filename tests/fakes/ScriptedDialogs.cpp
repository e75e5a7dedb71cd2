#include "fakes/ScriptedDialogs.h"

void ScriptedDialogs::notice(const QString& text)
{
    shown.append({Shown::Notice, text, {}});
    if (whileShown)
        whileShown(shown.last());
}

void ScriptedDialogs::error(const QString& text)
{
    shown.append({Shown::Error, text, {}});
    if (whileShown)
        whileShown(shown.last());
}

bool ScriptedDialogs::question(const ::Question& question)
{
    shown.append({Shown::Question, question.text, question});
    if (whileShown)
        whileShown(shown.last());
    return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
}

bool ScriptedDialogs::choosePrinter(QPrinter& printer)
{
    shown.append({Shown::PrintDialog, {}, {}});
    // A user may set the dialog up and still cancel.
    if (onChoosePrinter)
        onChoosePrinter(printer);
    return printerAnswer;
}

QString ScriptedDialogs::chooseFile()
{
    shown.append({Shown::FileDialog, {}, {}});
    return files.isEmpty() ? QString() : files.takeFirst();
}

QStringList ScriptedDialogs::notices() const
{
    QStringList result;
    for (const Shown& s : shown)
        if (s.kind == Shown::Notice)
            result.append(s.text);
    return result;
}

QStringList ScriptedDialogs::errors() const
{
    QStringList result;
    for (const Shown& s : shown)
        if (s.kind == Shown::Error)
            result.append(s.text);
    return result;
}

QList<::Question> ScriptedDialogs::questions() const
{
    QList<::Question> result;
    for (const Shown& s : shown)
        if (s.kind == Shown::Question)
            result.append(s.question);
    return result;
}
