#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The SMTP dialogue of one send as libcurl reports it, kept for the error text:
// libcurl's notes ("* "), commands sent ("> ") and replies received ("< ").
// Credentials never get in: an AUTH command keeps only its mechanism, and every
// line the client sends in answer to a 334 challenge is replaced. The message
// itself is not passed in at all.
class SmtpTranscript
{
public:
    void clear();
    void addNote(const QByteArray& text);
    void addSent(const QByteArray& text);
    void addReceived(const QByteArray& text);

    QString text() const;
    // The last reply that reported an error (4xx or 5xx), or an empty text.
    QString lastErrorReply() const { return m_lastErrorReply; }

private:
    void append(const QString& prefix, const QByteArray& line);

    QStringList m_lines;
    QString m_lastErrorReply;
    qsizetype m_size = 0;
    bool m_truncated = false;
    bool m_answeringChallenge = false;
};
