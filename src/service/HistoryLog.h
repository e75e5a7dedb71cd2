#pragma once

#include "service/Addresses.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The history of address changes that the window shows: one "date,public,local"
// line with CR LF per change. The file is opened for each line and closed right
// after, so that the window can read, empty and delete it between two lines.
class HistoryLog
{
public:
    explicit HistoryLog(QString path);

    QString path() const { return m_path; }

    // Throws ServiceError when the line cannot be written.
    void append(const QDateTime& when, const Addresses& addresses);

    static QByteArray formatLine(const QDateTime& when, const Addresses& addresses);

private:
    QString m_path;
};
