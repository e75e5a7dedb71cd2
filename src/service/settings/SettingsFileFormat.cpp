#include "service/settings/SettingsFileFormat.h"

#include "common/TextConvert.h"
#include "service/settings/ValueEscapes.h"

#include <algorithm>
#include <array>

namespace settingsfile {

namespace {

enum class Kind
{
    Boolean,
    Integer,
    Text
};

struct Key
{
    const char* name;
    const char* formerName; // in a file of the earlier form; nullptr when it had none
    Kind kind;
};

// Keys 0 to 17 are the window's values 1 to 18, in wire order.
constexpr int DesktopNotificationsKey = AlertSettings::ValueCount;
constexpr std::array<Key, AlertSettings::ValueCount + 1> Keys = {{
    {"email-alerts", "emailAlerts", Kind::Boolean},
    {"text-alerts", "textAlerts", Kind::Boolean},
    {"run-program", "runProgram", Kind::Boolean},
    {"ftp-page", "ftpPage", Kind::Boolean},
    {"recipients", "recipients", Kind::Text},
    {"smtp-server", "smtpServer", Kind::Text},
    {"smtp-port", "smtpPort", Kind::Text},
    {"use-ssl", "useSsl", Kind::Boolean},
    {"needs-login", "needsLogin", Kind::Boolean},
    {"smtp-username", "smtpUsername", Kind::Text},
    {"smtp-password", "smtpPassword", Kind::Text},
    {"phone-number", "phoneNumber", Kind::Text},
    {"carrier", "carrier", Kind::Integer},
    {"program", "program", Kind::Text},
    {"ftp-host", "ftpHost", Kind::Text},
    {"ftp-username", "ftpUsername", Kind::Text},
    {"ftp-password", "ftpPassword", Kind::Text},
    {"hide-tray-icon", "hideTrayIcon", Kind::Boolean},
    {"desktop-notifications", nullptr, Kind::Boolean},
}};

constexpr char NewFileHeader[] =
    "# The settings of velmora-service (see velmora-service(1)).\n"
    "# One key=value a line; lines starting with # are comments. Booleans are true\n"
    "# or false. In a value, \\n \\r \\t \\s \\\\ and \\xHH stand for a line feed, a\n"
    "# carriage return, a tab, a space, a backslash and the byte of hex HH.\n"
    "# The service reads this file again when it changes.\n";

enum class Form
{
    Current,
    Former
};

QByteArray trimmedBlanks(const QByteArray& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text.at(begin) == ' ' || text.at(begin) == '\t'))
        ++begin;
    while (end > begin && (text.at(end - 1) == ' ' || text.at(end - 1) == '\t'))
        --end;
    return text.mid(begin, end - begin);
}

int keyNamed(const QByteArray& name, Form form)
{
    for (size_t i = 0; i < Keys.size(); ++i) {
        const char* known = form == Form::Current ? Keys[i].name : Keys[i].formerName;
        if (known && name == known)
            return int(i);
    }
    return -1;
}

QString quoted(const QByteArray& text)
{
    constexpr qsizetype Shown = 40;
    QString shown = QString::fromUtf8(text.left(Shown));
    if (text.size() > Shown)
        shown += QStringLiteral("...");
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The first byte below 0x20 (but a tab) or 0x7F; -1 when there is none.
int firstControlByte(const QByteArray& text)
{
    for (const char c : text) {
        if ((uchar(c) < 0x20 && c != '\t') || uchar(c) == 0x7F)
            return uchar(c);
    }
    return -1;
}

// The earlier form's values: percent-encoded. Other bytes stand for themselves,
// so that a hand edit such as "recipients=carol@example.com" means what it says.
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

// The value in its wire encoding ("-1"/"0" for booleans), or nothing with *why.
std::optional<QByteArray> typedValue(Kind kind, const QByteArray& value, Form form, QString* why)
{
    switch (kind) {
    case Kind::Text:
        return value;
    case Kind::Boolean: {
        const QByteArray lower = value.toLower();
        if (form == Form::Current && (lower == "true" || lower == "false"))
            return lower == "true" ? QByteArrayLiteral("-1") : QByteArrayLiteral("0");
        if (form == Form::Former) {
            try {
                return parseBoolean(QString::fromLocal8Bit(value)) ? QByteArrayLiteral("-1")
                                                                   : QByteArrayLiteral("0");
            } catch (const ConvertError&) {
            }
        }
        *why = QStringLiteral("%1 is not true or false").arg(quoted(value));
        return std::nullopt;
    }
    case Kind::Integer:
        if (value.isEmpty())
            return QByteArrayLiteral("-1");
        try {
            return QByteArray::number(parseInteger(QString::fromUtf8(value)));
        } catch (const ConvertError&) {
            *why = QStringLiteral("%1 is not a whole number").arg(quoted(value));
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Reads the file line by line into values (wire encoding, by key).
class Reader
{
public:
    SettingsFile read(const QByteArray& text)
    {
        QByteArray body = text;
        if (body.startsWith("\xEF\xBB\xBF")) // the mark some editors put first
            body.remove(0, 3);
        QList<QByteArray> lines = body.split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        // Line ends of other systems; a CR that belongs to a value is always escaped.
        for (QByteArray& line : lines) {
            while (line.endsWith('\r'))
                line.chop(1);
        }
        m_form = !lines.isEmpty() && lines.first() == FormerHeader ? Form::Former : Form::Current;
        if (m_form == Form::Former)
            m_file.lines.append(Line{QByteArray(NewFileHeader).chopped(1), -1});
        for (qsizetype n = m_form == Form::Former ? 1 : 0; n < lines.size(); ++n)
            readLine(lines.at(n), int(n + 1));
        if (m_form == Form::Former)
            reportMissingFormerKeys();

        // Every value was checked on the way in.
        m_file.settings = AlertSettings::fromValues(m_values.mid(0, AlertSettings::ValueCount));
        m_file.desktopNotifications = m_values[DesktopNotificationsKey] != "0";
        return m_file;
    }

private:
    void readLine(const QByteArray& line, int number)
    {
        const QByteArray bare = trimmedBlanks(line);
        if (bare.isEmpty() || bare.startsWith('#')) {
            m_file.lines.append(Line{line, -1});
            return;
        }
        // What a crash leaves where the file's last blocks were: nothing to keep.
        if (std::all_of(bare.cbegin(), bare.cend(), [](char c) { return c == '\0'; })) {
            problem(number, QStringLiteral("nothing but NUL bytes; left out"));
            return;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals < 0) {
            keep(line, number, QStringLiteral("not \"key=value\"; left as it is"));
            return;
        }
        const QByteArray name = trimmedBlanks(line.left(equals));
        const int key = keyNamed(name, m_form);
        if (key < 0) {
            keep(line, number,
                 QStringLiteral("no setting is called %1; left as it is").arg(quoted(name)));
            return;
        }
        const Key& known = Keys[size_t(key)];
        if (m_lineOfKey[size_t(key)] > 0) {
            problem(number, QStringLiteral("%1 was given on line %2 already; this line counts")
                                .arg(QLatin1String(known.name))
                                .arg(m_lineOfKey[size_t(key)]));
        } else {
            m_file.lines.append(Line{{}, key});
        }
        m_lineOfKey[size_t(key)] = number;

        QString why;
        const QByteArray written = line.mid(equals + 1);
        std::optional<QByteArray> value;
        // Control bytes stand escaped in a value; a raw one is damage, not a value.
        if (const int control = firstControlByte(written); control >= 0)
            why = QStringLiteral("a control byte (0x%1) in the value")
                      .arg(control, 2, 16, QLatin1Char('0'));
        else
            value = m_form == Form::Current ? valueescapes::unescape(trimmedBlanks(written), &why)
                                            : percentDecoded(written, &why);
        const std::optional<QByteArray> typed =
            value ? typedValue(known.kind, *value, m_form, &why) : std::nullopt;
        if (!typed) {
            m_values[key] = m_defaults[key];
            problem(number,
                    QStringLiteral("%1; %2 keeps its default").arg(why, QLatin1String(known.name)));
            return;
        }
        m_values[key] = *typed;
    }

    void reportMissingFormerKeys()
    {
        // The earlier form always holds every setting: one missing was cut off.
        QStringList missing;
        for (int key = 0; key < AlertSettings::ValueCount; ++key) {
            if (m_lineOfKey[size_t(key)] == 0)
                missing << QLatin1String(Keys[size_t(key)].name);
        }
        if (!missing.isEmpty())
            m_file.problems << QStringLiteral("the file ends early: %1 keep their defaults")
                                   .arg(missing.join(QStringLiteral(", ")));
    }

    void keep(const QByteArray& line, int number, const QString& why)
    {
        // A line of the earlier form is kept as a comment: in the new form it
        // could name a setting after all.
        m_file.lines.append(Line{m_form == Form::Former ? "# " + line : line, -1});
        problem(number, why);
    }

    void problem(int number, const QString& why)
    {
        m_file.problems << QStringLiteral("line %1: %2").arg(number).arg(why);
    }

    const QList<QByteArray> m_defaults = AlertSettings().toValues() << QByteArrayLiteral("-1");
    QList<QByteArray> m_values = m_defaults;
    std::array<int, Keys.size()> m_lineOfKey{};
    Form m_form = Form::Current;
    SettingsFile m_file;
};

QByteArray valueText(Kind kind, const QByteArray& wireValue)
{
    switch (kind) {
    case Kind::Boolean:
        return wireValue == "0" ? QByteArrayLiteral("false") : QByteArrayLiteral("true");
    case Kind::Integer:
        return wireValue;
    case Kind::Text:
        break;
    }
    return valueescapes::escape(wireValue);
}

} // namespace

int keyCount()
{
    return int(Keys.size());
}

QByteArray keyName(int key)
{
    return Keys.at(size_t(key)).name;
}

SettingsFile read(const QByteArray& text)
{
    return Reader().read(text);
}

QByteArray write(const SettingsFile& file)
{
    const QList<QByteArray> values = file.settings.toValues()
                                     << (file.desktopNotifications ? QByteArrayLiteral("-1")
                                                                   : QByteArrayLiteral("0"));
    const auto keyLine = [&values](int key) {
        return QByteArray(Keys[size_t(key)].name) + '=' +
               valueText(Keys[size_t(key)].kind, values[key]) + '\n';
    };
    QByteArray text = file.lines.isEmpty() ? QByteArray(NewFileHeader) : QByteArray();
    std::array<bool, Keys.size()> written{};
    for (const Line& line : file.lines) {
        if (line.key < 0) {
            text += line.text + '\n';
        } else if (!written[size_t(line.key)]) {
            text += keyLine(line.key);
            written[size_t(line.key)] = true;
        }
    }
    for (int key = 0; key < keyCount(); ++key) {
        if (!written[size_t(key)])
            text += keyLine(key);
    }
    return text;
}

} // namespace settingsfile
