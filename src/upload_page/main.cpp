// velmora-upload-page: fills the page template and uploads the page by FTP for
// velmora-service, then ends. The service runs it for every FTP page alert, so
// that Qt Network stays out of the resident service.
//
// Standard input: one PageJob. Exit code 0 when the page was uploaded, 1 when
// the upload failed (the reason on standard output, one line), 2 when the
// input is not a job.
#include "common/ErrorText.h"
#include "helpers/PageJob.h"
#include "net/FtpClient.h"
#include "net/ReplaceInFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <optional>
#include <stdexcept>

namespace {

// A job is a few hundred bytes; anything far larger is not one.
constexpr qint64 MaxJobSize = 1 << 20;

void upload(const PageJob& job)
{
    QTemporaryDir folder;
    if (!folder.isValid())
        throw std::runtime_error("cannot make a temporary folder");
    const QString page = folder.filePath(job.remoteName);
    fillTemplateCopy(job.templateFile, page, job.replacements);
    FtpClient client;
    client.setHost(job.host);
    client.setUsername(job.username);
    client.setPassword(job.password);
    client.setPort(quint16(job.port));
    client.setReplyTimeLimit(std::chrono::seconds(job.replyTimeoutSeconds));
    client.connectAndUpload(page, job.remoteName);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return 2;
    const QByteArray bytes = input.read(MaxJobSize + 1);
    const std::optional<PageJob> job = PageJob::decode(bytes);
    if (bytes.size() > MaxJobSize || !job) {
        std::fputs("not a page job\n", stdout);
        return 2;
    }
    try {
        upload(*job);
    } catch (const std::exception& e) {
        std::fputs(qPrintable(errorText(e).replace(u'\n', u' ') + u'\n'), stdout);
        return 1;
    }
    return 0;
}
