#include "service/settings/ValueEscapes.h"

namespace valueescapes {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isContinuation(uchar c)
{
    return (c & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at `at` (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when there is none; *codePoint gets its value.
qsizetype utf8SequenceAt(const QByteArray& bytes, qsizetype at, char32_t* codePoint)
{
    const auto byte = [&bytes](qsizetype i) { return uchar(bytes.at(i)); };
    const uchar lead = byte(at);
    qsizetype length = 0;
    char32_t value = 0;
    char32_t lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (qsizetype i = 1; i < length; ++i) {
        if (!isContinuation(byte(at + i)))
            return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *codePoint = value;
    return length;
}

// Characters an editor may show as a line break or not at all.
bool looksLikeControl(char32_t codePoint)
{
    return (codePoint >= 0x80 && codePoint <= 0x9F) || codePoint == 0x2028 || codePoint == 0x2029 ||
           codePoint == 0xFEFF;
}

void appendHex(QByteArray& text, uchar byte)
{
    text += "\\x";
    text += HexDigits[byte >> 4];
    text += HexDigits[byte & 0x0F];
}

} // namespace

QByteArray escape(const QByteArray& value)
{
    QByteArray text;
    text.reserve(value.size());
    for (qsizetype i = 0; i < value.size();) {
        const uchar c = uchar(value.at(i));
        if (c == '\\') {
            text += "\\\\";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c == '\t') {
            text += "\\t";
        } else if (c == ' ' && (i == 0 || i == value.size() - 1)) {
            text += "\\s";
        } else if (c < 0x20 || c == 0x7F) {
            appendHex(text, c);
        } else if (c < 0x80) {
            text += char(c);
        } else {
            char32_t codePoint = 0;
            const qsizetype length = utf8SequenceAt(value, i, &codePoint);
            if (length == 0 || looksLikeControl(codePoint)) {
                appendHex(text, c);
            } else {
                text += value.mid(i, length);
                i += length;
                continue;
            }
        }
        ++i;
    }
    return text;
}

std::optional<QByteArray> unescape(const QByteArray& written, QString* why)
{
    QByteArray value;
    value.reserve(written.size());
    for (qsizetype i = 0; i < written.size(); ++i) {
        const char c = written.at(i);
        if (c != '\\') {
            value += c;
            continue;
        }
        if (++i == written.size()) {
            *why = QStringLiteral("a backslash at the end (write \\\\ for one)");
            return std::nullopt;
        }
        switch (written.at(i)) {
        case '\\':
            value += '\\';
            break;
        case 'n':
            value += '\n';
            break;
        case 'r':
            value += '\r';
            break;
        case 't':
            value += '\t';
            break;
        case 's':
            value += ' ';
            break;
        case 'x': {
            const int high = i + 1 < written.size() ? hexValue(written.at(i + 1)) : -1;
            const int low = i + 2 < written.size() ? hexValue(written.at(i + 2)) : -1;
            if (high < 0 || low < 0) {
                *why = QStringLiteral("\\x without two hex digits");
                return std::nullopt;
            }
            value += char(high * 16 + low);
            i += 2;
            break;
        }
        default:
            *why = QStringLiteral("an unknown escape \\%1 (write \\\\ for a backslash)")
                       .arg(QString::fromUtf8(written.mid(i, 1)));
            return std::nullopt;
        }
    }
    return value;
}

} // namespace valueescapes
