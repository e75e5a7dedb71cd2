#pragma once

#include <QString>

class QPrinter;
class QWidget;

// A Yes/No question as the window asks it.
struct Question
{
    enum class Icon
    {
        None,
        Question
    };

    QString caption;
    QString text;
    Icon icon = Icon::None;
    // Escape and the close box answer No; otherwise only the buttons answer.
    bool escapeAnswersNo = true;
    // Without an owner the question does not block the window behind it.
    bool ownedByWindow = true;
};

// The modal boxes and common dialogs the window shows. Every box is captioned
// with the application title unless a question brings its own caption.
class Dialogs
{
public:
    virtual ~Dialogs();

    // A notice: the text, one OK button, no icon.
    virtual void notice(const QString& text) = 0;
    // The general error box: stop icon, OK button; the text is shown as given.
    virtual void error(const QString& text) = 0;
    // True for Yes, which is the default button.
    virtual bool question(const Question& question) = 0;
    // The platform's print dialog; false when the user cancels.
    virtual bool choosePrinter(QPrinter& printer) = 0;
    // The platform's open-file dialog; an empty text when the user cancels.
    virtual QString chooseFile() = 0;
};
