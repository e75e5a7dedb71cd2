#include "alerts/SmtpSession.h"

#include "alerts/MailError.h"

#include <QtGlobal>
#include <memory>
#include <sys/socket.h>

namespace {

struct Upload
{
    const QByteArray& data;
    qsizetype position = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* userData)
{
    auto* upload = static_cast<Upload*>(userData);
    const qsizetype wanted = static_cast<qsizetype>(size * count);
    const qsizetype length = qMin(wanted, upload->data.size() - upload->position);
    std::copy_n(upload->data.constData() + upload->position, length, buffer);
    upload->position += length;
    return static_cast<size_t>(length);
}

int recordDialogue(CURL*, curl_infotype type, char* data, size_t size, void* userData)
{
    auto* transcript = static_cast<SmtpTranscript*>(userData);
    const QByteArray text(data, static_cast<qsizetype>(size));
    switch (type) {
    case CURLINFO_TEXT:
        transcript->addNote(text);
        break;
    case CURLINFO_HEADER_OUT:
        transcript->addSent(text);
        break;
    case CURLINFO_HEADER_IN:
        transcript->addReceived(text);
        break;
    default: // the message itself and raw TLS records stay out
        break;
    }
    return 0;
}

struct SlistDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct UrlDeleter
{
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

QByteArray caBundleFromEnvironment()
{
    for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
        const QByteArray path = qgetenv(name);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

} // namespace

SmtpSession::~SmtpSession()
{
    close();
}

void SmtpSession::close()
{
    if (!m_handle)
        return;
    // Cleaning the handle up ends its cached connection with QUIT.
    curl_easy_cleanup(m_handle);
    m_handle = nullptr;
}

QByteArray SmtpSession::serverUrl(const SmtpSettings& settings) const
{
    QString host = settings.host.trimmed();
    if (host.isEmpty())
        throw MailError(QStringLiteral("No SMTP server is set."));
    if (settings.port < 1 || settings.port > 65535)
        throw MailError(
            QStringLiteral("The SMTP port %1 is not between 1 and 65535.").arg(settings.port));
    if (host.contains(u':') && !host.startsWith(u'['))
        host = u'[' + host + u']'; // an IPv6 address
    const std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url)
        throw MailError(QStringLiteral("The mail engine is out of memory."));
    const QByteArray scheme = settings.ssl == 1 ? "smtps" : "smtp";
    const QByteArray port = QByteArray::number(settings.port);
    if (curl_url_set(url.get(), CURLUPART_SCHEME, scheme.constData(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_HOST, host.toUtf8().constData(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PORT, port.constData(), 0) != CURLUE_OK)
        throw MailError(QStringLiteral("The SMTP server name \"%1\" is not valid.").arg(host));
    char* text = nullptr;
    if (curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK)
        throw MailError(QStringLiteral("The SMTP server name \"%1\" is not valid.").arg(host));
    const QByteArray result(text);
    curl_free(text);
    return result;
}

void SmtpSession::send(const SmtpSettings& settings, const QByteArray& sender,
                       const QList<QByteArray>& recipients, const QByteArray& message)
{
    const QByteArray url = serverUrl(settings);
    if (!m_handle) {
        m_handle = curl_easy_init();
        if (!m_handle)
            throw MailError(QStringLiteral("The mail engine could not be started."));
    }
    // Every send sets all its options afresh; the open connection is kept.
    curl_easy_reset(m_handle);
    m_transcript.clear();
    m_errorBuffer.fill('\0');

    std::unique_ptr<curl_slist, SlistDeleter> recipientList;
    for (const QByteArray& recipient : recipients) {
        curl_slist* extended = curl_slist_append(recipientList.get(), recipient.constData());
        if (!extended)
            throw MailError(QStringLiteral("The mail engine is out of memory."));
        recipientList.release();
        recipientList.reset(extended);
    }
    Upload upload{message};
    const QByteArray caBundle = caBundleFromEnvironment();
    const QByteArray username = settings.username.toUtf8();
    const QByteArray password = settings.password.toUtf8();
    const long replySeconds = static_cast<long>(settings.replyTimeout.count());

    CURL* h = m_handle;
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, m_errorBuffer.data());
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_USE_SSL,
                     static_cast<long>(settings.ssl == 1 ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    if (!caBundle.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAINFO, caBundle.constData());
    if (!username.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, username.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(h, CURLOPT_MAIL_FROM, sender.constData());
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, recipientList.get());
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, readUpload);
    curl_easy_setopt(h, CURLOPT_READDATA, &upload);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(settings.connectTimeout.count()));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, replySeconds);
    // While the message is uploaded, "no reply" shows as no progress at all.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, replySeconds);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, recordDialogue);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &m_transcript);

    const CURLcode code = curl_easy_perform(h);
    // The list and the message go now; the handle must not point at them.
    curl_easy_setopt(h, CURLOPT_MAIL_RCPT, nullptr);
    curl_easy_setopt(h, CURLOPT_READDATA, nullptr);
    if (code == CURLE_OK)
        return;
    const QString failure = failureText(code, url);
    // A server that stopped answering may still answer later, out of step with
    // the next command: its connection must not be used again.
    if (code == CURLE_OPERATION_TIMEDOUT)
        abandonConnection();
    throw MailError(failure);
}

void SmtpSession::abandonConnection()
{
    curl_socket_t socket = CURL_SOCKET_BAD;
    // Shut first, so that the QUIT of the clean-up fails at once instead of
    // waiting once more for a server that does not answer.
    if (curl_easy_getinfo(m_handle, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
        socket != CURL_SOCKET_BAD)
        ::shutdown(socket, SHUT_RDWR);
    close();
}

QString SmtpSession::failureText(CURLcode code, const QByteArray& url) const
{
    const QString reason = m_errorBuffer[0] != '\0' ? QString::fromUtf8(m_errorBuffer.data())
                                                    : QString::fromUtf8(curl_easy_strerror(code));
    QString text = QStringLiteral("Sending the e-mail through %1 failed: %2")
                       .arg(QString::fromUtf8(url), reason);
    if (!m_transcript.lastErrorReply().isEmpty())
        text += QStringLiteral("\nThe SMTP server answered: ") + m_transcript.lastErrorReply();
    text += QStringLiteral("\n\nSMTP dialogue:\n") + m_transcript.text();
    return text;
}
