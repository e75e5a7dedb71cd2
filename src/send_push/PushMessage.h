#pragma once

#include "common/AlertSettings.h"
#include "helpers/PushJob.h"

#include <QString>
#include <QStringList>
#include <variant>

// The push notification the settings describe, for one change: the same in the
// service's alerts and in the window's test notification.
namespace pushmessage {

// The ways and presets as the settings number them.
enum Way
{
    WebRequest = 0,
    AppriseUrls = 1,
};
enum Preset
{
    OwnRequest = 0,  // the URL, method, headers and body as written
    Ntfy = 1,        // the server's URL, a topic and an optional access token
    Gotify = 2,      // the server's URL and an application token
    JsonWebhook = 3, // a URL that takes {"text": ..., "content": ...}
};

// What the placeholders stand for.
struct Facts
{
    QString computerName;
    QString oldPublicIp;
    QString publicIp;
    QString oldLocalIp;
    QString localIp;
    QString time;
    // Empty while unknown or not watched. (Initialised, so that the braces
    // that give only the IPv4 ones stay as they are.)
    QString oldPublicIpv6 = {};
    QString publicIpv6 = {};
    QString oldLocalIpv6 = {};
    QString localIpv6 = {};
};

// The message template with every placeholder filled: [[ComputerName]],
// [[PublicIPAddress]], [[LocalIPAddress]], [[PublicIPv6Address]] and
// [[LocalIPv6Address]] as on the FTP page, and [[OldPublicIPAddress]],
// [[OldLocalIPAddress]], [[OldPublicIPv6Address]], [[OldLocalIPv6Address]]
// and [[Time]].
QString filled(const QString& messageTemplate, const Facts& facts);

// Why the settings make no notification (a URL that is not http or https, an
// empty topic...), for the skipped alert and the window's notice.
struct Unusable
{
    QString reason;
    Setting setting; // the setting to correct
};

// The job for the push helper; `title` heads the notifications that have one.
std::variant<PushJob, Unusable> job(const AlertSettings& settings, const Facts& facts,
                                    const QString& title);

// Where the job goes, as the log may show it: the URL without its user
// information and query, or the Apprise URLs' schemes.
QString destination(const PushJob& job);

// `text` with every secret written as "…", longest first; values shorter than
// four characters are not taken for secrets.
QString redacted(QString text, const QStringList& secrets);

} // namespace pushmessage
