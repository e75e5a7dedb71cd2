#include "service/settings/SettingsFileFormat.h"

#include "common/TextConvert.h"

#include <QByteArrayList>
#include <array>
#include <string>

namespace settingsfile {

namespace {

// The file's names for values 1 to 18, in wire order.
constexpr std::array<const char*, AlertSettings::ValueCount> Names = {
    "emailAlerts", "textAlerts", "runProgram", "ftpPage",      "recipients",   "smtpServer",
    "smtpPort",    "useSsl",     "needsLogin", "smtpUsername", "smtpPassword", "phoneNumber",
    "carrier",     "program",    "ftpHost",    "ftpUsername",  "ftpPassword",  "hideTrayIcon"};

[[noreturn]] void fail(const std::string& message)
{
    throw FormatError(message);
}

bool isUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// QByteArray::fromPercentEncoding lets stray bytes through; a file edited by
// hand into something else must be noticed, not half read.
QByteArray strictPercentDecode(const QByteArray& encoded, int lineNumber)
{
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const char c = encoded.at(i);
        if (c == '%') {
            if (i + 2 >= encoded.size() || !isHexDigit(encoded.at(i + 1)) ||
                !isHexDigit(encoded.at(i + 2)))
                fail("line " + std::to_string(lineNumber) + ": '%' without two hex digits");
            i += 2;
        } else if (!isUnreserved(c)) {
            fail("line " + std::to_string(lineNumber) + ": a byte that should be percent-encoded");
        }
    }
    return QByteArray::fromPercentEncoding(encoded);
}

int indexOfName(const QByteArray& name)
{
    for (size_t i = 0; i < Names.size(); ++i) {
        if (name == Names[i])
            return int(i);
    }
    return -1;
}

} // namespace

QByteArray encode(const AlertSettings& settings)
{
    const QList<QByteArray> values = settings.toValues();
    QByteArray text = QByteArray(Header) + '\n';
    for (int i = 0; i < AlertSettings::ValueCount; ++i)
        text += QByteArray(Names[size_t(i)]) + '=' + values[i].toPercentEncoding() + '\n';
    return text;
}

AlertSettings decode(const QByteArray& text)
{
    QByteArrayList lines = text.split('\n');
    // A final line end leaves one empty piece; CR LF from an editor is harmless,
    // since a CR inside a value is always encoded.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (lines.isEmpty() || lines.first() != Header)
        fail("the first line is not \"" + std::string(Header) + "\"");

    QList<QByteArray> values(AlertSettings::ValueCount);
    std::array<bool, AlertSettings::ValueCount> seen{};
    for (qsizetype n = 1; n < lines.size(); ++n) {
        const QByteArray& line = lines.at(n);
        const int lineNumber = int(n + 1);
        if (line.isEmpty())
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            fail("line " + std::to_string(lineNumber) + " has no '='");
        const int index = indexOfName(line.left(equals));
        if (index < 0)
            fail("line " + std::to_string(lineNumber) + " names no known setting");
        if (seen[size_t(index)])
            fail("line " + std::to_string(lineNumber) + " repeats " + Names[size_t(index)]);
        seen[size_t(index)] = true;
        values[index] = strictPercentDecode(line.mid(equals + 1), lineNumber);
    }
    for (size_t i = 0; i < seen.size(); ++i) {
        if (!seen[i])
            fail(std::string(Names[i]) + " is missing");
    }
    try {
        return AlertSettings::fromValues(values);
    } catch (const ConvertError& e) {
        fail(e.what());
    }
}

} // namespace settingsfile
