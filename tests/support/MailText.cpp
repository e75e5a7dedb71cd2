#include "support/MailText.h"

#include <QList>

namespace mailtext {

namespace {

// Where the header block ends and the body begins.
struct Split
{
    qsizetype headerEnd = -1;
    qsizetype bodyStart = 0;
};

Split split(const QByteArray& message)
{
    if (const qsizetype crlf = message.indexOf("\r\n\r\n"); crlf >= 0)
        return {crlf + 2, crlf + 4};
    if (const qsizetype lf = message.indexOf("\n\n"); lf >= 0)
        return {lf + 1, lf + 2};
    return {message.size(), message.size()};
}

} // namespace

QByteArray headerBlock(const QByteArray& message)
{
    return message.left(split(message).headerEnd);
}

QByteArray bodyOf(const QByteArray& message)
{
    return message.mid(split(message).bodyStart);
}

QByteArray headerOf(const QByteArray& message, const QByteArray& name)
{
    for (const QByteArray& line : headerBlock(message).split('\n'))
        if (line.startsWith(name + ": "))
            return line.mid(name.size() + 2).chopped(line.endsWith('\r') ? 1 : 0);
    return {};
}

} // namespace mailtext
