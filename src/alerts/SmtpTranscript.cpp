#include "alerts/SmtpTranscript.h"

namespace {

// A misbehaving server must not make the error text grow without end.
constexpr qsizetype kMaxSize = 64 * 1024;

QList<QByteArray> linesOf(const QByteArray& text)
{
    QList<QByteArray> lines;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            lines.append(line);
    }
    return lines;
}

bool isErrorReply(const QByteArray& line)
{
    return line.size() >= 3 && (line[0] == '4' || line[0] == '5');
}

} // namespace

void SmtpTranscript::clear()
{
    *this = SmtpTranscript();
}

void SmtpTranscript::addNote(const QByteArray& text)
{
    for (const QByteArray& line : linesOf(text))
        append(QStringLiteral("* "), line);
}

void SmtpTranscript::addSent(const QByteArray& text)
{
    for (const QByteArray& line : linesOf(text)) {
        if (m_answeringChallenge) {
            append(QStringLiteral("> "), "(credentials hidden)");
        } else if (line.toUpper().startsWith("AUTH ")) {
            const QList<QByteArray> words = line.simplified().split(' ');
            QByteArray shown = "AUTH " + words.value(1);
            if (words.size() > 2)
                shown += " (credentials hidden)";
            append(QStringLiteral("> "), shown);
        } else {
            append(QStringLiteral("> "), line);
        }
    }
}

void SmtpTranscript::addReceived(const QByteArray& text)
{
    for (const QByteArray& line : linesOf(text)) {
        // What the client sends next answers this reply: hide it after a challenge.
        m_answeringChallenge = line.startsWith("334");
        if (isErrorReply(line))
            m_lastErrorReply = QString::fromUtf8(line);
        append(QStringLiteral("< "), line);
    }
}

QString SmtpTranscript::text() const
{
    QString result = m_lines.join(u'\n');
    if (m_truncated)
        result += QStringLiteral("\n(transcript cut short)");
    return result;
}

void SmtpTranscript::append(const QString& prefix, const QByteArray& line)
{
    if (m_truncated)
        return;
    const QString entry = prefix + QString::fromUtf8(line);
    if (m_size + entry.size() > kMaxSize) {
        m_truncated = true;
        return;
    }
    m_size += entry.size() + 1;
    m_lines.append(entry);
}
