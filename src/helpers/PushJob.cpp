#include "helpers/PushJob.h"

#include "common/JobStream.h"

#include <QDataStream>
#include <QIODevice>

namespace {

// Changes whenever the fields change: the service and its helper come from the
// same build, but an old helper left beside a new service must not misread.
constexpr quint32 Magic = 0x56505331; // "VPS1"

} // namespace

std::chrono::milliseconds PushJob::runLimit() const
{
    return std::chrono::seconds(timeoutSeconds) + 2 * timelimits::HelperStart;
}

QByteArray PushJob::encode() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << Magic << qint32(way) << url << method << headers << body << caFile << appriseUrls
        << appriseProgram << title << message << qint32(timeoutSeconds) << secrets;
    return bytes;
}

std::optional<PushJob> PushJob::decode(const QByteArray& bytes)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    qint32 way = 0;
    qint32 timeout = 0;
    PushJob job;
    in >> magic;
    if (magic != Magic)
        return std::nullopt;
    in >> way >> job.url >> job.method;
    jobstream::readList(in, job.headers, jobstream::SmallestString);
    in >> job.body >> job.caFile;
    jobstream::readList(in, job.appriseUrls, jobstream::SmallestString);
    in >> job.appriseProgram >> job.title >> job.message >> timeout;
    jobstream::readList(in, job.secrets, jobstream::SmallestString);
    if (in.status() != QDataStream::Ok || !in.atEnd())
        return std::nullopt;
    if (way != int(Way::WebRequest) && way != int(Way::Apprise))
        return std::nullopt;
    job.way = Way(way);
    job.timeoutSeconds = timeout;
    return job;
}
