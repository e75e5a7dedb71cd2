#include "net/CaseInsensitiveReplace.h"

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

namespace {

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (uchar(c) >= 0x80)
            return false;
    }
    return true;
}

bool matchesAt(QByteArrayView text, qsizetype position, QByteArrayView searchText)
{
    for (qsizetype i = 0; i < searchText.size(); ++i) {
        if (asciiLower(text[position + i]) != asciiLower(searchText[i]))
            return false;
    }
    return true;
}

QByteArray replaceBytes(const QByteArray& text, const QByteArray& searchText,
                        const QByteArray& replacement)
{
    QByteArray result;
    result.reserve(text.size());
    qsizetype copiedUpTo = 0;
    qsizetype position = 0;
    while (position + searchText.size() <= text.size()) {
        if (matchesAt(text, position, searchText)) {
            result.append(text.constData() + copiedUpTo, position - copiedUpTo);
            result.append(replacement);
            position += searchText.size();
            copiedUpTo = position;
        } else {
            ++position;
        }
    }
    result.append(text.constData() + copiedUpTo, text.size() - copiedUpTo);
    return result;
}

// Valid UTF-8 goes to QString and back unchanged (a leading byte order mark
// included), so the pieces between occurrences come out as they went in.
QString decodeUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder(bytes);
}

QByteArray replaceUnicode(const QByteArray& text, const QByteArray& searchText,
                          const QByteArray& replacement)
{
    const QString haystack = decodeUtf8(text);
    const QString needle = decodeUtf8(searchText);
    QByteArray result;
    result.reserve(text.size());
    qsizetype copiedUpTo = 0;
    qsizetype position;
    while ((position = haystack.indexOf(needle, copiedUpTo, Qt::CaseInsensitive)) >= 0) {
        result.append(QStringView(haystack).mid(copiedUpTo, position - copiedUpTo).toUtf8());
        result.append(replacement);
        copiedUpTo = position + needle.size();
    }
    result.append(QStringView(haystack).mid(copiedUpTo).toUtf8());
    return result;
}

} // namespace

QByteArray replaceCaseInsensitive(const QByteArray& text, const QByteArray& searchText,
                                  const QByteArray& replacement)
{
    if (searchText.isEmpty())
        return text;
    if (isAscii(searchText) || !QByteArrayView(text).isValidUtf8() ||
        !QByteArrayView(searchText).isValidUtf8())
        return replaceBytes(text, searchText, replacement);
    return replaceUnicode(text, searchText, replacement);
}
