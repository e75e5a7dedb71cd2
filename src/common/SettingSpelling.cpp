#include "common/SettingSpelling.h"

#include "common/TextConvert.h"

namespace spelling {

QString quoted(const QByteArray& text)
{
    constexpr qsizetype Shown = 40;
    QString shown = QString::fromUtf8(text.left(Shown));
    if (text.size() > Shown)
        shown += QStringLiteral("...");
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

} // namespace

QByteArray inFile(SettingKind kind, const SettingValue& value)
{
    switch (kind) {
    case SettingKind::Switch:
        return std::get<bool>(value) ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
    case SettingKind::Number:
        return QByteArray::number(std::get<int>(value));
    case SettingKind::Text:
    case SettingKind::Port:
    case SettingKind::Carrier:
        break;
    }
    return std::get<QByteArray>(value);
}

std::optional<SettingValue> fromFile(SettingKind kind, const QByteArray& text, QString* why)
{
    switch (kind) {
    case SettingKind::Switch: {
        const QByteArray lower = text.toLower();
        if (lower == "true" || lower == "false")
            return lower == "true";
        *why = QStringLiteral("%1 is not true or false").arg(quoted(text));
        return std::nullopt;
    }
    case SettingKind::Number:
        try {
            return parseInteger(QString::fromUtf8(text));
        } catch (const ConvertError&) {
            *why = QStringLiteral("%1 is not a whole number").arg(quoted(text));
            return std::nullopt;
        }
    case SettingKind::Text:
    case SettingKind::Port:
    case SettingKind::Carrier:
        break;
    }
    return text;
}

QByteArray switchOnLink(bool on)
{
    return on ? QByteArrayLiteral("-1") : QByteArrayLiteral("0");
}

bool switchFromLink(const QByteArray& text)
{
    return parseBoolean(QString::fromLocal8Bit(text));
}

QByteArray numberOnLink(int number)
{
    return QByteArray::number(number);
}

int numberFromLink(const QByteArray& text)
{
    return parseInteger(QString::fromLocal8Bit(text));
}

QByteArray keyedLine(QByteArrayView key, const QByteArray& value)
{
    return key.toByteArray() + '=' + value.toPercentEncoding();
}

std::pair<QByteArray, QByteArray> splitKeyedLine(const QByteArray& line)
{
    const qsizetype equals = line.indexOf('=');
    if (equals <= 0)
        throw ConvertError("a line of the extension is not \"key=value\"");
    QString why;
    const std::optional<QByteArray> value = percentDecoded(line.mid(equals + 1), &why);
    if (!value)
        throw ConvertError(QStringLiteral("the value of %1: %2")
                               .arg(QString::fromUtf8(line.left(equals)), why)
                               .toStdString());
    return {line.left(equals), *value};
}

std::optional<QByteArray> percentDecoded(const QByteArray& encoded, QString* why)
{
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded.at(i) != '%')
            continue;
        if (i + 2 >= encoded.size() || !isHexDigit(encoded.at(i + 1)) ||
            !isHexDigit(encoded.at(i + 2))) {
            *why = QStringLiteral("'%' without two hex digits");
            return std::nullopt;
        }
        i += 2;
    }
    return QByteArray::fromPercentEncoding(encoded);
}

} // namespace spelling
