#pragma once

#include "common/TimeLimits.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

// One push notification for the push helper (velmora-send-push): either a web
// request, whole, or Apprise URLs with a title and a body. The service and the
// window hand it over on the helper's standard input, never on its command
// line, where other users of the machine could read the tokens.
struct PushJob
{
    enum class Way
    {
        WebRequest,
        Apprise,
    };
    Way way = Way::WebRequest;

    // The web request.
    QString url;
    QString method = QStringLiteral("POST");
    QStringList headers; // "Name: value"
    QByteArray body;
    QString caFile; // one more certificate to trust besides the system's; none when empty

    // Apprise: one URL per entry, sent by the program `apprise`.
    QStringList appriseUrls;
    QString appriseProgram = QStringLiteral("apprise");
    QString title;
    QString message;

    int timeoutSeconds = int(timelimits::Push.count());
    // What the helper's report must never show (tokens, header values): each
    // is written as "…" instead.
    QStringList secrets;

    // How long its helper may run: the exchange, and room to start and to end.
    std::chrono::milliseconds runLimit() const;

    QByteArray encode() const;
    // Nothing when the bytes are not a whole job.
    static std::optional<PushJob> decode(const QByteArray& bytes);
};
