#include "service/settings/SettingsFileFormat.h"

#include "common/TextConvert.h"
#include "service/settings/ValueEscapes.h"

#include <algorithm>
#include <array>

namespace settingsfile {

namespace {

constexpr char NewFileHeader[] =
    "# The settings of velmora-service (see velmora-service(1)).\n"
    "# One key=value a line; lines starting with # are comments. Booleans are true\n"
    "# or false. In a value, \\n \\r \\t \\s \\\\ and \\xHH stand for a line feed, a\n"
    "# carriage return, a tab, a space, a backslash and the byte of hex HH. The\n"
    "# carrier is named as the carrier list names it.\n"
    "# The service reads this file again when it changes.\n";

constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";

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

std::optional<Setting> settingNamed(const QByteArray& name, Form form)
{
    return form == Form::Current ? settingtable::withFileKey(name)
                                 : settingtable::withFormerFileKey(name);
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

// The value a line gives, or nothing with *why. The earlier form spelt switches
// as the link does.
std::optional<SettingValue> typedValue(SettingKind kind, const QByteArray& value, Form form,
                                       QString* why)
{
    if (form == Form::Current || kind != SettingKind::Switch)
        return spelling::fromFile(kind, value, why);
    try {
        return spelling::switchFromLink(value);
    } catch (const ConvertError&) {
        *why = QStringLiteral("%1 is not true or false").arg(spelling::quoted(value));
        return std::nullopt;
    }
}

// A carrier given by its position, as earlier versions wrote it, by its name.
QByteArray carrierByName(const QByteArray& written, const QList<QByteArray>& carrierNames)
{
    if (written.isEmpty() || carrierNames.contains(written))
        return written;
    try {
        const int position = parseInteger(QString::fromUtf8(written));
        if (position < 0)
            return {};
        if (position < carrierNames.size())
            return carrierNames.at(position);
    } catch (const ConvertError&) {
    }
    return written;
}

// Reads the file line by line into the settings.
class Reader
{
public:
    explicit Reader(const QList<QByteArray>& carrierNames) : m_carrierNames(carrierNames) {}

    SettingsFile read(const QByteArray& text)
    {
        QByteArray body = text;
        if (body.startsWith(ByteOrderMark)) { // the mark some editors put first
            body.remove(0, 3);
            m_file.byteOrderMark = true;
        }
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
            m_file.lines.append(Line{QByteArray(NewFileHeader).chopped(1), std::nullopt});
        for (qsizetype n = m_form == Form::Former ? 1 : 0; n < lines.size(); ++n)
            readLine(lines.at(n), int(n + 1));
        if (m_form == Form::Former)
            reportMissingFormerKeys();

        for (const SettingInfo& row : settingtable::all()) {
            if (row.kind == SettingKind::Carrier)
                m_file.settings.set(
                    row.setting, carrierByName(m_file.settings.text(row.setting), m_carrierNames));
        }
        return m_file;
    }

private:
    void readLine(const QByteArray& line, int number)
    {
        const QByteArray bare = trimmedBlanks(line);
        if (bare.isEmpty() || bare.startsWith('#')) {
            m_file.lines.append(Line{line, std::nullopt});
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
        const std::optional<Setting> setting = settingNamed(name, m_form);
        if (!setting) {
            keep(line, number,
                 QStringLiteral("no setting is called %1; left as it is")
                     .arg(spelling::quoted(name)));
            return;
        }
        const SettingInfo& known = settingtable::info(*setting);
        int& lineOfKey = m_lineOfKey[size_t(*setting)];
        if (lineOfKey > 0) {
            problem(number, QStringLiteral("%1 was given on line %2 already; this line counts")
                                .arg(QLatin1String(known.fileKey))
                                .arg(lineOfKey));
        } else {
            m_file.lines.append(Line{{}, setting});
        }
        lineOfKey = number;

        QString why;
        const QByteArray written = line.mid(equals + 1);
        std::optional<QByteArray> value;
        // Control bytes stand escaped in a value; a raw one is damage, not a value.
        if (const int control = firstControlByte(written); control >= 0)
            why = QStringLiteral("a control byte (0x%1) in the value")
                      .arg(control, 2, 16, QLatin1Char('0'));
        else
            value = m_form == Form::Current ? valueescapes::unescape(trimmedBlanks(written), &why)
                                            : spelling::percentDecoded(written, &why);
        const std::optional<SettingValue> typed =
            value ? typedValue(known.kind, *value, m_form, &why) : std::nullopt;
        if (!typed) {
            m_file.settings.set(*setting, AlertSettings::defaultValue(*setting));
            problem(
                number,
                QStringLiteral("%1; %2 keeps its default").arg(why, QLatin1String(known.fileKey)));
            return;
        }
        m_file.settings.set(*setting, *typed);
    }

    void reportMissingFormerKeys()
    {
        // The earlier form always holds every setting: one missing was cut off.
        QStringList missing;
        for (const SettingInfo& row : settingtable::all()) {
            if (row.formerFileKey && m_lineOfKey[size_t(row.setting)] == 0)
                missing << QLatin1String(row.fileKey);
        }
        if (!missing.isEmpty())
            m_file.problems << QStringLiteral("the file ends early: %1 keep their defaults")
                                   .arg(missing.join(QStringLiteral(", ")));
    }

    void keep(const QByteArray& line, int number, const QString& why)
    {
        // A line of the earlier form is kept as a comment: in the new form it
        // could name a setting after all.
        m_file.lines.append(Line{m_form == Form::Former ? "# " + line : line, std::nullopt});
        problem(number, why);
    }

    void problem(int number, const QString& why)
    {
        m_file.problems << QStringLiteral("line %1: %2").arg(number).arg(why);
    }

    const QList<QByteArray>& m_carrierNames;
    std::array<int, SettingCount> m_lineOfKey{};
    Form m_form = Form::Current;
    SettingsFile m_file;
};

} // namespace

SettingsFile read(const QByteArray& text, const QList<QByteArray>& carrierNames)
{
    return Reader(carrierNames).read(text);
}

QByteArray write(const SettingsFile& file)
{
    const auto keyLine = [&file](Setting setting) {
        const SettingInfo& row = settingtable::info(setting);
        return QByteArray(row.fileKey) + '=' +
               valueescapes::escape(spelling::inFile(row.kind, file.settings.value(setting))) +
               '\n';
    };
    QByteArray text = file.lines.isEmpty() ? QByteArray(NewFileHeader) : QByteArray();
    // Written back, so that a kept first line that starts with one keeps it.
    if (file.byteOrderMark)
        text.prepend(ByteOrderMark);
    std::array<bool, SettingCount> written{};
    for (const Line& line : file.lines) {
        if (!line.setting) {
            text += line.text + '\n';
        } else if (!written[size_t(*line.setting)]) {
            text += keyLine(*line.setting);
            written[size_t(*line.setting)] = true;
        }
    }
    for (const SettingInfo& row : settingtable::all()) {
        if (!written[size_t(row.setting)])
            text += keyLine(row.setting);
    }
    return text;
}

} // namespace settingsfile
