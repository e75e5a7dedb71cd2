#pragma once

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QString>

// A helper's job with one of its lists claiming far more elements than the job
// holds: the list is found by its count and first element in `job`.
inline QByteArray withHugeListCount(QByteArray job, quint32 count, const QString& first)
{
    QByteArray start;
    QDataStream out(&start, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << count << first;
    const qsizetype at = job.indexOf(start);
    if (at >= 0)
        job.replace(at, 4, QByteArray("\x7f\xff\xff\xff", 4));
    return job;
}
