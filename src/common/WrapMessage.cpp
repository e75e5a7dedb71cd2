#include "common/WrapMessage.h"

namespace {

const QString crlf = QStringLiteral("\r\n");

bool isBreakChar(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('-') || c == QLatin1Char('\t');
}

bool isQuote(QChar c)
{
    return c == QLatin1Char('\'') || c == QLatin1Char('"');
}

bool crlfAt(const QString& text, qsizetype pos)
{
    return pos + 1 < text.size() && text.at(pos) == QLatin1Char('\r') &&
           text.at(pos + 1) == QLatin1Char('\n');
}

} // namespace

QString WrapMessage(const QString& text, int maxColumns)
{
    QString result;
    qsizetype lineStart = 0;
    qsizetype lastBreak = -1;
    int column = 1;
    QChar openQuote; // null while no quoted run is open

    qsizetype pos = 0;
    while (pos < text.size()) {
        const QChar c = text.at(pos);
        bool existingBreak = false;

        if (openQuote.isNull()) {
            if (crlfAt(text, pos)) {
                ++pos; // the break is marked at its LF
                existingBreak = true;
                lastBreak = pos;
            } else if (isBreakChar(c)) {
                lastBreak = pos;
            }
        }
        if (isQuote(c)) {
            if (c == openQuote)
                openQuote = QChar();
            else if (openQuote.isNull())
                openQuote = c;
        }

        ++pos;
        ++column;
        if (!openQuote.isNull())
            continue;
        if (!existingBreak && !(column > maxColumns && lastBreak > lineStart))
            continue;

        // Cut: emit the line up to and including its last break character.
        result += text.mid(lineStart, lastBreak - lineStart + 1);

        // Look past the break characters and line breaks that follow: a new line
        // break is only added when text remains and the run did not end in one.
        bool endsInLineBreak = existingBreak;
        qsizetype ahead = pos;
        while (ahead < text.size()) {
            if (crlfAt(text, ahead)) {
                ahead += 2;
                endsInLineBreak = true;
            } else if (isBreakChar(text.at(ahead))) {
                ++ahead;
                endsInLineBreak = false;
            } else {
                break;
            }
        }
        if (ahead < text.size() && !endsInLineBreak)
            result += crlf;

        lineStart = lastBreak + 1;
        pos = lineStart;
        column = 1;
    }
    result += text.mid(lineStart);
    return result;
}
