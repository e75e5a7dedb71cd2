#include "send_push/PushMessage.h"

#include "common/TextConvert.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>

namespace pushmessage {

namespace {

// Shorter values (a header's "1") are no secret, and writing them as "…"
// would garble the texts.
constexpr qsizetype MinSecretLength = 4;

QString text(const AlertSettings& settings, Setting setting)
{
    return textKeepingBytes(settings.text(setting));
}

// The non-empty lines of a multi-line setting, blanks around them dropped.
QStringList lines(const QString& text)
{
    QStringList result;
    for (const QString& line : text.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            result << trimmed;
    }
    return result;
}

// Header values that name a format, never a secret.
bool isPlainHeader(const QString& name)
{
    static const QStringList plain = {QStringLiteral("content-type"), QStringLiteral("accept"),
                                      QStringLiteral("title"), QStringLiteral("priority"),
                                      QStringLiteral("tags")};
    return plain.contains(name.trimmed().toLower());
}

// Letters (and digits and `extra`) only.
bool isWord(const QString& text, QStringView extra = {})
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        const bool plain = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
                           (!extra.isEmpty() && ((c >= u'0' && c <= u'9') || extra.contains(c)));
        if (!plain)
            return false;
    }
    return true;
}

bool hasControlCharacter(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

std::optional<Unusable> checkUrl(const QUrl& url, const QString& what)
{
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty())
        return Unusable{QStringLiteral("the %1 is not an http or https URL").arg(what),
                        Setting::PushUrl};
    return std::nullopt;
}

// The URL's password and query values: tokens often travel there.
void addUrlSecrets(const QUrl& url, QStringList& secrets)
{
    if (!url.password().isEmpty())
        secrets << url.password() << url.password(QUrl::FullyEncoded);
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        Q_UNUSED(key);
        if (!value.isEmpty())
            secrets << value << QString::fromUtf8(QUrl::toPercentEncoding(value));
    }
}

QString joined(const QString& server, const QString& path)
{
    QString base = server.trimmed();
    while (base.endsWith(u'/'))
        base.chop(1);
    return base + u'/' + path;
}

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

QString filled(const QString& messageTemplate, const Facts& facts)
{
    const std::pair<QString, QString> replacements[] = {
        {QStringLiteral("[[ComputerName]]"), facts.computerName},
        {QStringLiteral("[[OldPublicIPAddress]]"), facts.oldPublicIp},
        {QStringLiteral("[[PublicIPAddress]]"), facts.publicIp},
        {QStringLiteral("[[OldLocalIPAddress]]"), facts.oldLocalIp},
        {QStringLiteral("[[LocalIPAddress]]"), facts.localIp},
        {QStringLiteral("[[OldPublicIPv6Address]]"), facts.oldPublicIpv6},
        {QStringLiteral("[[PublicIPv6Address]]"), facts.publicIpv6},
        {QStringLiteral("[[OldLocalIPv6Address]]"), facts.oldLocalIpv6},
        {QStringLiteral("[[LocalIPv6Address]]"), facts.localIpv6},
        {QStringLiteral("[[Time]]"), facts.time},
    };
    // One pass, so that a value holding a placeholder's word is not filled again.
    QString result;
    qsizetype at = 0;
    while (at < messageTemplate.size()) {
        bool matched = false;
        for (const auto& [word, value] : replacements) {
            if (QStringView(messageTemplate).mid(at).startsWith(word, Qt::CaseInsensitive)) {
                result += value;
                at += word.size();
                matched = true;
                break;
            }
        }
        if (!matched)
            result += messageTemplate.at(at++);
    }
    return result;
}

std::variant<PushJob, Unusable> job(const AlertSettings& settings, const Facts& facts,
                                    const QString& title)
{
    PushJob job;
    job.title = title;
    job.message = filled(text(settings, Setting::PushMessage), facts);
    if (settings.number(Setting::PushWay) == AppriseUrls) {
        job.way = PushJob::Way::Apprise;
        job.appriseUrls = lines(text(settings, Setting::AppriseUrls));
        if (job.appriseUrls.isEmpty())
            return Unusable{QStringLiteral("no Apprise URL is set"), Setting::AppriseUrls};
        for (const QString& url : job.appriseUrls) {
            const qsizetype schemeEnd = url.indexOf(QStringLiteral("://"));
            job.secrets << (schemeEnd < 0 ? url : url.mid(schemeEnd + 3));
        }
        return job;
    }

    job.way = PushJob::Way::WebRequest;
    job.caFile = text(settings, Setting::PushCaFile).trimmed();
    const QString url = text(settings, Setting::PushUrl).trimmed();
    const QString topic = text(settings, Setting::PushTopic).trimmed();
    const QString token = text(settings, Setting::PushToken).trimmed();
    switch (settings.number(Setting::PushPreset)) {
    case Ntfy:
        if (topic.isEmpty())
            return Unusable{QStringLiteral("no ntfy topic is set"), Setting::PushTopic};
        job.url = joined(url, QString::fromUtf8(QUrl::toPercentEncoding(topic)));
        job.headers << QStringLiteral("Title: ") + title;
        if (!token.isEmpty())
            job.headers << QStringLiteral("Authorization: Bearer ") + token;
        job.body = job.message.toUtf8();
        // A topic on a public server is as good as a password.
        job.secrets << topic << QString::fromUtf8(QUrl::toPercentEncoding(topic));
        break;
    case Gotify:
        if (token.isEmpty())
            return Unusable{QStringLiteral("no Gotify application token is set"),
                            Setting::PushToken};
        job.url = joined(url, QStringLiteral("message"));
        job.headers << QStringLiteral("Content-Type: application/json")
                    << QStringLiteral("X-Gotify-Key: ") + token;
        job.body = json({{QStringLiteral("title"), title},
                         {QStringLiteral("message"), job.message},
                         {QStringLiteral("priority"), 5}});
        break;
    case JsonWebhook:
        job.url = url;
        job.headers << QStringLiteral("Content-Type: application/json");
        job.body =
            json({{QStringLiteral("text"), job.message}, {QStringLiteral("content"), job.message}});
        break;
    default:
        job.url = url;
        job.method = text(settings, Setting::PushMethod).trimmed().toUpper();
        if (job.method.isEmpty())
            job.method = QStringLiteral("POST");
        // Both go into the request as they stand: a line break would start
        // another header, or another request.
        if (!isWord(job.method))
            return Unusable{QStringLiteral("the method is not a word of letters"),
                            Setting::PushMethod};
        for (const QString& line : lines(text(settings, Setting::PushHeaders))) {
            const qsizetype colon = line.indexOf(u':');
            if (colon <= 0 || !isWord(line.left(colon), u"-_") || hasControlCharacter(line))
                return Unusable{QStringLiteral("a header line is not \"Name: value\""),
                                Setting::PushHeaders};
            job.headers << line;
            const QString value = line.mid(colon + 1).trimmed();
            if (!isPlainHeader(line.left(colon)) && !value.isEmpty())
                job.secrets << value;
        }
        job.body = job.message.toUtf8();
        break;
    }
    if (!token.isEmpty())
        job.secrets << token;
    const QUrl parsed(job.url, QUrl::StrictMode);
    if (const std::optional<Unusable> unusable = checkUrl(parsed, QStringLiteral("push URL")))
        return *unusable;
    addUrlSecrets(parsed, job.secrets);
    return job;
}

QString destination(const PushJob& job)
{
    if (job.way == PushJob::Way::Apprise) {
        QStringList schemes;
        for (const QString& url : job.appriseUrls)
            schemes << redacted(url, job.secrets);
        return QStringLiteral("Apprise URLs ") + schemes.join(QStringLiteral(", "));
    }
    return redacted(
        QUrl(job.url).toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment),
        job.secrets);
}

QString redacted(QString text, const QStringList& secrets)
{
    QStringList sorted;
    for (const QString& secret : secrets) {
        if (secret.size() >= MinSecretLength)
            sorted << secret;
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& secret : sorted)
        text.replace(secret, QStringLiteral("…"));
    return text;
}

} // namespace pushmessage
