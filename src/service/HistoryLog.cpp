#include "service/HistoryLog.h"

#include "service/ServiceError.h"

#include <QFile>

HistoryLog::HistoryLog(QString path) : m_path(std::move(path)) {}

QByteArray HistoryLog::formatLine(const QDateTime& when, const Addresses& addresses)
{
    // A date without commas keeps the line's three fields apart.
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1() + ',' +
           addresses.publicIp.toLatin1() + ',' + addresses.localIp.toLatin1() + "\r\n";
}

void HistoryLog::append(const QDateTime& when, const Addresses& addresses)
{
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw ServiceError(QStringLiteral("cannot open the history log %1: %2")
                               .arg(m_path, file.errorString())
                               .toStdString());
    const QByteArray line = formatLine(when, addresses);
    // One write: a reader never sees half a line from us, only a whole one.
    if (file.write(line) != line.size() || !file.flush())
        throw ServiceError(QStringLiteral("cannot write to the history log %1: %2")
                               .arg(m_path, file.errorString())
                               .toStdString());
    file.close();
}
