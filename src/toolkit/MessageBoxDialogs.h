#pragma once

#include "toolkit/Dialogs.h"

#include <QPointer>
#include <QWidget>

// Dialogs on QMessageBox, QPrintDialog and QFileDialog.
class MessageBoxDialogs : public Dialogs
{
public:
    explicit MessageBoxDialogs(QString applicationTitle);

    // The window that owns the boxes (they are centred over it).
    void setOwner(QWidget* owner) { m_owner = owner; }

    void notice(const QString& text) override;
    void error(const QString& text) override;
    bool question(const Question& question) override;
    bool choosePrinter(QPrinter& printer) override;
    QString chooseFile() override;

private:
    QString m_title;
    QPointer<QWidget> m_owner;
};
