#include "common/TextConvert.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace {

bool isDigitOfBase(QChar c, int base)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return true;
    if (base == 16) {
        const QChar lower = c.toLower();
        return lower >= QLatin1Char('a') && lower <= QLatin1Char('f');
    }
    return false;
}

// Decimal notation with the locale's decimal separator: [sign] digits [sep digits]
// [e|E [sign] digits]; at least one digit in the mantissa.
bool readNumber(const QString& text, double& value)
{
    const QChar separator = QLocale().decimalPoint().at(0);
    QString normalised;
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        normalised += text[i++];
    int mantissaDigits = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
        normalised += text[i++];
        ++mantissaDigits;
    }
    if (i < n && text[i] == separator) {
        normalised += QLatin1Char('.');
        ++i;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
            normalised += text[i++];
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return false;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        normalised += QLatin1Char('e');
        ++i;
        if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
            normalised += text[i++];
        int exponentDigits = 0;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
            normalised += text[i++];
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return false;
    }
    if (i != n)
        return false;
    bool ok = false;
    value = QLocale::c().toDouble(normalised, &ok);
    // An exponent too large still reads as a number (not zero).
    if (!ok && !normalised.isEmpty())
        value = std::numeric_limits<double>::infinity();
    return true;
}

} // namespace

bool parseBoolean(const QString& text)
{
    double number = 0;
    if (readNumber(text, number))
        return number != 0;
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    throw ConvertError(QStringLiteral("'%1' is not a valid boolean value").arg(text).toStdString());
}

int parseInteger(const QString& text)
{
    const auto fail = [&text]() {
        return ConvertError(
            QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
    };
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        negative = text[i++] == QLatin1Char('-');
    int base = 10;
    if (i < n && (text[i] == QLatin1Char('$') || text[i] == QLatin1Char('x') ||
                  text[i] == QLatin1Char('X'))) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == QLatin1Char('0') &&
               (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i == n)
        throw fail();
    qint64 magnitude = 0;
    for (; i < n; ++i) {
        if (!isDigitOfBase(text[i], base))
            throw fail();
        const char16_t c = text[i].toLower().unicode();
        magnitude = magnitude * base + (c <= u'9' ? c - u'0' : c - u'a' + 10);
        if (magnitude > qint64(std::numeric_limits<int>::max()) + 1)
            throw fail();
    }
    const qint64 value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        throw fail();
    return int(value);
}

QString withFullStop(const QString& text)
{
    if (text.isEmpty() || text.back().unicode() <= '.')
        return text;
    return text + QLatin1Char('.');
}

namespace {

// The length of the valid UTF-8 sequence at data[i], or 0 when the byte there
// does not start one.
qsizetype validSequenceLength(const QByteArray& data, qsizetype i)
{
    const auto byte = [&](qsizetype n) { return quint8(data[n]); };
    const quint8 lead = byte(i);
    qsizetype length;
    quint8 low = 0x80;
    quint8 high = 0xbf;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0)
            low = 0xa0; // no overlong forms
        if (lead == 0xed)
            high = 0x9f; // no surrogates
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0)
            low = 0x90;
        if (lead == 0xf4)
            high = 0x8f; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > data.size())
        return 0;
    if (byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (qsizetype n = 2; n < length; ++n) {
        if (byte(i + n) < 0x80 || byte(i + n) > 0xbf)
            return 0;
    }
    return length;
}

constexpr char16_t KeptByteBase = 0xdc00;

bool isKeptByte(QChar c)
{
    return c.unicode() >= KeptByteBase + 0x80 && c.unicode() <= KeptByteBase + 0xff;
}

} // namespace

QString textKeepingBytes(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    qsizetype validFrom = 0;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype length = validSequenceLength(bytes, i);
        if (length > 0) {
            i += length;
            continue;
        }
        text += QString::fromUtf8(bytes.constData() + validFrom, i - validFrom);
        text += QChar(char16_t(KeptByteBase + quint8(bytes[i])));
        validFrom = ++i;
    }
    text += QString::fromUtf8(bytes.constData() + validFrom, bytes.size() - validFrom);
    return text;
}

QByteArray bytesKeptInText(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    qsizetype plainFrom = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        // A kept byte stands alone: as the second half of a pair it is a character.
        if (!isKeptByte(text[i]) || (i > 0 && text[i - 1].isHighSurrogate()))
            continue;
        bytes += QStringView(text).mid(plainFrom, i - plainFrom).toUtf8();
        bytes += char(text[i].unicode() - KeptByteBase);
        plainFrom = i + 1;
    }
    bytes += QStringView(text).mid(plainFrom).toUtf8();
    return bytes;
}
