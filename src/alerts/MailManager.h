#pragma once

#include "alerts/AbstractMailManager.h"
#include "alerts/SmtpSettings.h"

#include <chrono>
#include <memory>

class SmtpSession;

// The mail engine: sends e-mails over SMTP with libcurl. The connection made by
// a send stays open until CloseSmtpConnection() or the manager's end, both of
// which end it with QUIT. One manager belongs to one thread.
class MailManager : public AbstractMailManager
{
public:
    MailManager();
    ~MailManager() override;
    MailManager(const MailManager&) = delete;
    MailManager& operator=(const MailManager&) = delete;

    void setSmtpSsl(int ssl) override { m_settings.ssl = ssl; }
    void setSmtpHost(const QString& host) override { m_settings.host = host; }
    void setSmtpPort(int port) override { m_settings.port = port; }
    void setSmtpUsername(const QString& username) override { m_settings.username = username; }
    void setSmtpPassword(const QString& password) override { m_settings.password = password; }

    int SendEmail(const Email& email) override;
    QString LastErrorText() const override { return m_lastErrorText; }
    int CloseSmtpConnection() override;

    // Limits for the connection with the greeting (30 s) and for every later
    // reply (60 s); whole seconds.
    void setConnectTimeout(std::chrono::seconds timeout) { m_settings.connectTimeout = timeout; }
    void setReplyTimeout(std::chrono::seconds timeout) { m_settings.replyTimeout = timeout; }

    const SmtpSettings& settings() const { return m_settings; }

private:
    SmtpSettings m_settings;
    std::unique_ptr<SmtpSession> m_session;
    QString m_lastErrorText;
};
