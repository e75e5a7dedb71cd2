#include "common/SplitFields.h"

namespace {

const QChar quote = QLatin1Char('"');

// Reads a quoted field starting at text[pos] == '"'. Returns the position after
// the closing quote (or the end of the text when it is never closed).
qsizetype readQuoted(const QString& text, qsizetype pos, QString& field)
{
    ++pos; // opening quote
    while (pos < text.size()) {
        const QChar c = text.at(pos);
        if (c == quote) {
            if (pos + 1 < text.size() && text.at(pos + 1) == quote) {
                field += quote;
                pos += 2;
                continue;
            }
            return pos + 1;
        }
        field += c;
        ++pos;
    }
    return pos;
}

} // namespace

void SplitFields(QChar delimiter, const QString& text, QStringList& fields)
{
    fields.clear();
    if (text.isEmpty())
        return;

    qsizetype pos = 0;
    for (;;) {
        QString field;
        if (pos < text.size() && text.at(pos) == quote) {
            pos = readQuoted(text, pos, field);
            fields.append(field);
            if (pos >= text.size())
                return;
            if (text.at(pos) != delimiter) {
                // Text after the closing quote becomes a field of its own.
                const qsizetype next = text.indexOf(delimiter, pos);
                fields.append(text.mid(pos, next < 0 ? -1 : next - pos));
                if (next < 0)
                    return;
                pos = next;
            }
        } else {
            const qsizetype next = text.indexOf(delimiter, pos);
            fields.append(text.mid(pos, next < 0 ? -1 : next - pos));
            if (next < 0)
                return;
            pos = next;
        }
        ++pos; // past the delimiter; a delimiter at the very end gives a final empty field
        if (pos >= text.size()) {
            fields.append(QString());
            return;
        }
    }
}
