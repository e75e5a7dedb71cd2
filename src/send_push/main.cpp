// velmora-send-push: sends one push notification for velmora-service or the
// window and ends. The service runs it for every push alert, so that libcurl
// and its TLS libraries stay out of the resident service.
//
// Standard input: one PushJob. Exit code 0 when the notification was
// delivered, 1 when it failed, 2 when the input is not a job. Standard output:
// one line saying what happened, never a secret of the job.
#include "helpers/PushJob.h"
#include "send_push/AppriseRun.h"
#include "send_push/WebRequest.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <curl/curl.h>
#include <optional>

namespace {

// A job is a few kilobytes; anything far larger is not one.
constexpr qint64 MaxJobSize = 1 << 20;

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return 2;
    const QByteArray bytes = input.read(MaxJobSize + 1);
    const std::optional<PushJob> job = PushJob::decode(bytes);
    if (bytes.size() > MaxJobSize || !job) {
        std::fputs("not a push job\n", stdout);
        return 2;
    }
    PushResult result;
    if (job->way == PushJob::Way::Apprise) {
        result = sendThroughApprise(*job);
    } else {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            std::fputs("cannot set up libcurl\n", stdout);
            return 1;
        }
        result = sendWebRequest(*job);
        curl_global_cleanup();
    }
    std::fputs(qPrintable(result.text + u'\n'), stdout);
    return result.delivered ? 0 : 1;
}
