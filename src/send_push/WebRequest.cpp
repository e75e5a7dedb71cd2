#include "send_push/WebRequest.h"

#include "send_push/PushMessage.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <curl/curl.h>
#include <memory>

namespace {

// A server's answer beyond this is not read: it only explains a refusal.
constexpr size_t MaxAnswer = 64 * 1024;
constexpr long MaxRedirects = 5;
// How much of the server's answer a report quotes.
constexpr qsizetype QuotedAnswer = 300;

struct Answer
{
    QByteArray bytes;
    bool cut = false;
};

size_t keepAnswer(char* data, size_t size, size_t count, void* answerPointer)
{
    auto* answer = static_cast<Answer*>(answerPointer);
    const size_t length = size * count;
    if (answer->bytes.size() + length > MaxAnswer) {
        answer->bytes.append(data, qsizetype(MaxAnswer - size_t(answer->bytes.size())));
        answer->cut = true;
        return 0; // ends the transfer: the rest is not read
    }
    answer->bytes.append(data, qsizetype(length));
    return length;
}

// The answer on one line, for a report.
QString quoted(const QByteArray& answer)
{
    QString text = QString::fromUtf8(answer).simplified();
    if (text.size() > QuotedAnswer)
        text = text.left(QuotedAnswer) + QStringLiteral("…");
    return text;
}

bool hasHeader(const QStringList& headers, QStringView name)
{
    for (const QString& header : headers) {
        if (header.section(u':', 0, 0).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

using Easy = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using Headers = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

} // namespace

PushResult sendWebRequest(const PushJob& job)
{
    const QString where = pushmessage::destination(job);
    if (!job.caFile.isEmpty() && !QFileInfo(job.caFile).isReadable())
        return {false, QStringLiteral("cannot read the certificate file %1").arg(job.caFile)};

    const Easy easy(curl_easy_init(), &curl_easy_cleanup);
    if (!easy)
        return {false, QStringLiteral("cannot set up a web request")};
    CURL* curl = easy.get();
    char errorBuffer[CURL_ERROR_SIZE] = {};
    Answer answer;
    const QByteArray url = job.url.toUtf8();
    const QByteArray method = job.method.toUtf8();
    const QByteArray caFile = job.caFile.toLocal8Bit();

    Headers headers(nullptr, &curl_slist_free_all);
    QStringList all = job.headers;
    if (!job.body.isEmpty() && !hasHeader(all, u"Content-Type"))
        all << QStringLiteral("Content-Type: text/plain; charset=utf-8");
    all << QStringLiteral("Expect:"); // no wait for "100 Continue"
    for (const QString& header : all) {
        curl_slist* grown = curl_slist_append(headers.get(), header.toUtf8().constData());
        if (!grown)
            return {false, QStringLiteral("cannot set up a web request")};
        headers.release();
        headers.reset(grown);
    }

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, MaxRedirects);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, long(job.timeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "velmora-send-push");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &keepAnswer);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    if (job.method == u"GET") {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, job.body.constData());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(job.body.size()));
        if (job.method != u"POST")
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.constData());
    }
    if (!caFile.isEmpty()) {
        // The extra certificate besides the system's: libcurl then reads the
        // file as its bundle and the system's folder as its certificate path.
        char* systemPath = nullptr;
        curl_easy_getinfo(curl, CURLINFO_CAPATH, &systemPath);
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.constData());
        curl_easy_setopt(curl, CURLOPT_CAPATH, systemPath ? systemPath : "/etc/ssl/certs");
    }

    const CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    const bool answered = result == CURLE_OK || (result == CURLE_WRITE_ERROR && answer.cut);
    if (!answered) {
        const QString reason = errorBuffer[0] ? QString::fromUtf8(errorBuffer)
                                              : QString::fromUtf8(curl_easy_strerror(result));
        return {false, pushmessage::redacted(QStringLiteral("%1: %2").arg(where, reason.trimmed()),
                                             job.secrets)};
    }
    if (status >= 200 && status < 300)
        return {true, QStringLiteral("%1 answered HTTP %2").arg(where).arg(status)};
    QString text = QStringLiteral("%1 answered HTTP %2").arg(where).arg(status);
    if (const QString said = quoted(answer.bytes); !said.isEmpty())
        text += QStringLiteral(": ") + said;
    return {false, pushmessage::redacted(text, job.secrets)};
}
