#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One request as the window sends it: a command line and, for "SaveSettings"
// and "SaveKeyedSettings", the counted list that follows.
struct ServiceRequest
{
    QByteArray command;
    QList<QByteArray> list;
};

// Collects the bytes of one connection until they make a whole request. It
// rejects as early as it can: an unknown command, an over-long line, a
// "SaveSettings" list whose count is not 19, a "SaveKeyedSettings" list of more
// than MaxKeyedLines, the input ending too soon.
class RequestReader
{
public:
    enum class Status
    {
        NeedMore,
        Complete,
        Rejected
    };

    Status add(const char* data, qsizetype size);
    // The peer closed its sending side.
    Status endOfInput();

    Status status() const { return m_status; }
    const ServiceRequest& request() const { return m_request; }
    // Why the request was rejected; empty when the peer sent nothing at all.
    QString rejection() const { return m_rejection; }

private:
    Status parse();
    Status reject(const QString& reason);

    enum class Stage
    {
        CommandLine,
        Count,
        Lines
    };
    Stage m_stage = Stage::CommandLine;
    Status m_status = Status::NeedMore;
    QByteArray m_buffer;
    qint32 m_count = 0;
    bool m_receivedAny = false;
    ServiceRequest m_request;
    QString m_rejection;
};
