#include "helpers/MailJob.h"

#include <QDataStream>
#include <QIODevice>

namespace {

// Changes whenever the fields change: the service and its helper come from the
// same build, but an old helper left beside a new service must not misread.
constexpr quint32 Magic = 0x564d4a31; // "VMJ1"

} // namespace

QByteArray MailJob::encode() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << Magic << qint32(ssl) << host << qint32(port) << username << password
        << qint32(connectTimeoutSeconds) << qint32(replyTimeoutSeconds) << from << recipientList
        << recipient << subject << body;
    return bytes;
}

std::optional<MailJob> MailJob::decode(const QByteArray& bytes)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    qint32 ssl = 0;
    qint32 port = 0;
    qint32 connectTimeout = 0;
    qint32 replyTimeout = 0;
    MailJob job;
    in >> magic;
    if (magic != Magic)
        return std::nullopt;
    in >> ssl >> job.host >> port >> job.username >> job.password >> connectTimeout >>
        replyTimeout >> job.from >> job.recipientList >> job.recipient >> job.subject >> job.body;
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return std::nullopt;
    job.ssl = ssl;
    job.port = port;
    job.connectTimeoutSeconds = connectTimeout;
    job.replyTimeoutSeconds = replyTimeout;
    return job;
}
