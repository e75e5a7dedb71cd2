#pragma once

#include "alerts/AbstractMailManager.h"

#include <QApplication>
#include <QCursor>
#include <QStringList>
#include <memory>

// Stands in for the mail engine where a test is about the window's steps rather
// than the SMTP dialogue: every call goes, in order, into a log the test shares
// with its dialogs, and the send's outcome is scripted.
class RecordingMailManager : public AbstractMailManager
{
public:
    struct Record
    {
        QStringList calls;
        int created = 0;
        int sendResult = 1;
        QString errorText;
        QList<Email> sent;
    };

    explicit RecordingMailManager(Record& record) : m_record(record) { ++m_record.created; }
    ~RecordingMailManager() override { m_record.calls.append(QStringLiteral("released")); }

    static std::function<std::unique_ptr<AbstractMailManager>()> factory(Record& record)
    {
        return [&record] { return std::make_unique<RecordingMailManager>(record); };
    }

    void setSmtpSsl(int ssl) override { log(QStringLiteral("SmtpSsl %1").arg(ssl)); }
    void setSmtpHost(const QString& host) override { log(QStringLiteral("SmtpHost ") + host); }
    void setSmtpPort(int port) override { log(QStringLiteral("SmtpPort %1").arg(port)); }
    void setSmtpUsername(const QString& name) override
    {
        log(QStringLiteral("SmtpUsername ") + name);
    }
    void setSmtpPassword(const QString& password) override
    {
        log(QStringLiteral("SmtpPassword ") + password);
    }
    int SendEmail(const Email& email) override
    {
        m_record.sent.append(email);
        const QCursor* cursor = QApplication::overrideCursor();
        const bool busy = cursor && cursor->shape() == Qt::WaitCursor;
        log(busy ? QStringLiteral("SendEmail (busy)") : QStringLiteral("SendEmail"));
        return m_record.sendResult;
    }
    QString LastErrorText() const override
    {
        m_record.calls.append(QStringLiteral("LastErrorText"));
        return m_record.errorText;
    }
    int CloseSmtpConnection() override
    {
        log(QStringLiteral("CloseSmtpConnection"));
        return 1;
    }

private:
    void log(const QString& call) { m_record.calls.append(call); }

    Record& m_record;
};
