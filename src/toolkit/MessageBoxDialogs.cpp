#include "toolkit/MessageBoxDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>

MessageBoxDialogs::MessageBoxDialogs(QString applicationTitle) : m_title(std::move(applicationTitle))
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
    QMessageBox box(question.icon == Question::Icon::Question ? QMessageBox::Question
                                                              : QMessageBox::NoIcon,
                    question.caption.isEmpty() ? m_title : question.caption, question.text,
                    QMessageBox::Yes | QMessageBox::No,
                    question.ownedByWindow ? m_owner.data() : nullptr);
    box.setDefaultButton(QMessageBox::Yes);
    // Without an escape answer, Escape and the close box do nothing.
    box.setEscapeButton(question.escapeAnswersNo ? box.button(QMessageBox::No) : nullptr);
    if (!question.escapeAnswersNo)
        box.setWindowFlag(Qt::WindowCloseButtonHint, false);
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
