#include "helpers/PageJob.h"

#include "common/JobStream.h"

#include <QDataStream>
#include <QIODevice>

namespace {

// Changes whenever the fields change: the service and its helper come from the
// same build, but an old helper left beside a new service must not misread.
constexpr quint32 Magic = 0x56504a31; // "VPJ1"

} // namespace

QByteArray PageJob::encode() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << Magic << host << qint32(port) << username << password << qint32(replyTimeoutSeconds)
        << templateFile << replacements << remoteName;
    return bytes;
}

std::optional<PageJob> PageJob::decode(const QByteArray& bytes)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    qint32 port = 0;
    qint32 replyTimeout = 0;
    PageJob job;
    in >> magic;
    if (magic != Magic)
        return std::nullopt;
    in >> job.host >> port >> job.username >> job.password >> replyTimeout >> job.templateFile;
    jobstream::readList(in, job.replacements, 2 * jobstream::SmallestString);
    in >> job.remoteName;
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return std::nullopt;
    job.port = port;
    job.replyTimeoutSeconds = replyTimeout;
    return job;
}
