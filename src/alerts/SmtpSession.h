#pragma once

#include "alerts/SmtpSettings.h"
#include "alerts/SmtpTranscript.h"

#include <QByteArray>
#include <QList>
#include <array>
#include <curl/curl.h>

// The SMTP client of one mail manager: a libcurl handle whose connection stays
// open after a send, so that the next send can use it, until close() says QUIT.
// Server certificates are always verified, against the system's CA store or the
// bundle named by CURL_CA_BUNDLE or SSL_CERT_FILE.
class SmtpSession
{
public:
    SmtpSession() = default;
    ~SmtpSession();
    SmtpSession(const SmtpSession&) = delete;
    SmtpSession& operator=(const SmtpSession&) = delete;

    // Sends one message; sender and recipients are bare envelope addresses.
    // Throws MailError with what went wrong and the SMTP dialogue.
    void send(const SmtpSettings& settings, const QByteArray& sender,
              const QList<QByteArray>& recipients, const QByteArray& message);
    // Ends the connection (QUIT) if there is one.
    void close();

private:
    QByteArray serverUrl(const SmtpSettings& settings) const;
    QString failureText(CURLcode code, const QByteArray& url) const;
    void abandonConnection();

    CURL* m_handle = nullptr;
    SmtpTranscript m_transcript;
    std::array<char, CURL_ERROR_SIZE> m_errorBuffer{};
};
