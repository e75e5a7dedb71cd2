#pragma once

#include "common/FtpPort.h"
#include "common/TimeLimits.h"
#include "service/alerts/AlertChannels.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <chrono>
#include <optional>

struct MailJob;

// The alerts as the service sends them: the e-mail and the text message
// through the mail helper, a process per message, which keeps the mail engine
// and TLS out of the service; the program started without a shell; the page
// filled from its template and uploaded by FTP through the page helper, a
// process per upload, which keeps Qt Network out of the service; the push
// notification through the push helper, a process per notification, which
// keeps libcurl out of the service.
class AlertSenders : public AlertChannels
{
public:
    struct Options
    {
        quint16 ftpPort = DefaultFtpPort;
        // The program that sends one e-mail or text message (velmora-send-mail).
        QString mailHelper;
        // The program that fills and uploads the FTP page (velmora-upload-page).
        QString pageHelper;
        // The program that sends one push notification (velmora-send-push).
        QString pushHelper;
        // The limit for one push notification's whole exchange.
        std::chrono::seconds pushTimeout{timelimits::Push};
        // Limits for one SMTP or FTP exchange, so that a server that stops
        // answering ends an attempt rather than hold it for ever.
        std::chrono::seconds connectTimeout{timelimits::SmtpConnect};
        std::chrono::seconds replyTimeout{timelimits::SmtpReply};
    };

    // configDir holds the page template velmora.html; carriers are the
    // "name|gateway" lines the settings name their carrier from.
    AlertSenders(QString configDir, QList<QByteArray> carriers, Options options);

    AlertOutcome sendEmail(const AddressChange& change,
                           const AlertSettings& settings) const override;
    AlertOutcome sendTextMessage(const AddressChange& change,
                                 const AlertSettings& settings) const override;
    AlertOutcome runProgram(const AddressChange& change,
                            const AlertSettings& settings) const override;
    AlertOutcome uploadPage(const AddressChange& change,
                            const AlertSettings& settings) const override;
    AlertOutcome sendPush(const AddressChange& change,
                          const AlertSettings& settings) const override;

    // The name the alerts give for this computer.
    static QString computerName();

private:
    // The server part of a mail job from the settings; a skip when they do
    // not name a usable server.
    std::optional<AlertOutcome> fillServer(MailJob& job, const AlertSettings& settings) const;
    // Runs a helper with the job on its standard input: exit code 0 is sent, 1
    // failed with the reason on its standard output, anything else a refusal.
    // `limit` guards against a helper that hangs (its own limits end an
    // exchange with a silent server).
    AlertOutcome runHelper(const QString& program, const QString& name, const QByteArray& job,
                           std::chrono::milliseconds limit) const;
    AlertOutcome runHelper(const QString& program, const QString& name,
                           const QByteArray& job) const;

    const QString m_configDir;
    const QList<QByteArray> m_carriers;
    const Options m_options;
};
