#include "toolkit/MessageBoxDialogs.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

namespace {

// Keeps a box open until one of its buttons answers: Escape and the window's
// close box are turned away (a box with Yes and No would take them as No).
class AnswerOnlyByButtons : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            return true;
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

MessageBoxDialogs::MessageBoxDialogs(QString applicationTitle)
    : m_title(std::move(applicationTitle))
{
}

void MessageBoxDialogs::notice(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, m_title, text, QMessageBox::Ok, m_owner);
    box.exec();
}

void MessageBoxDialogs::error(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, m_title, text, QMessageBox::Ok, m_owner);
    box.exec();
}

bool MessageBoxDialogs::question(const Question& question)
{
    QMessageBox box(
        question.icon == Question::Icon::Question ? QMessageBox::Question : QMessageBox::NoIcon,
        question.caption.isEmpty() ? m_title : question.caption, question.text,
        QMessageBox::Yes | QMessageBox::No, question.ownedByWindow ? m_owner.data() : nullptr);
    box.setDefaultButton(QMessageBox::Yes);
    // Without an escape answer, Escape and the close box do nothing.
    AnswerOnlyByButtons answerOnlyByButtons;
    if (question.escapeAnswersNo) {
        box.setEscapeButton(box.button(QMessageBox::No));
    } else {
        box.setWindowFlag(Qt::WindowCloseButtonHint, false);
        box.installEventFilter(&answerOnlyByButtons);
    }
    return box.exec() == QMessageBox::Yes;
}

bool MessageBoxDialogs::choosePrinter(QPrinter& printer)
{
    QPrintDialog dialog(&printer, m_owner);
    return dialog.exec() == QDialog::Accepted;
}

QString MessageBoxDialogs::chooseFile()
{
    return QFileDialog::getOpenFileName(m_owner);
}
