#include "alerts/MailAddress.h"

#include "alerts/MailError.h"

namespace {

QString unquoted(const QString& name)
{
    if (name.size() < 2 || !name.startsWith(u'"') || !name.endsWith(u'"'))
        return name;
    QString result;
    const QString inner = name.mid(1, name.size() - 2);
    for (qsizetype i = 0; i < inner.size(); ++i) {
        if (inner[i] == u'\\' && i + 1 < inner.size())
            ++i;
        result += inner[i];
    }
    return result;
}

bool unfitForEnvelope(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f || c.isSpace() || c == u'<' || c == u'>';
}

// Control characters shown as '?', so that an error text stays on its lines.
QString printable(const QString& text)
{
    QString shown = text;
    for (QChar& c : shown)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u'?';
    return shown;
}

} // namespace

MailAddress MailAddress::fromText(const QString& text)
{
    const QString trimmed = text.trimmed();
    const qsizetype open = trimmed.lastIndexOf(u'<');
    if (open < 0 || !trimmed.endsWith(u'>'))
        return {QString(), trimmed};
    return {unquoted(trimmed.left(open).trimmed()),
            trimmed.mid(open + 1, trimmed.size() - open - 2).trimmed()};
}

QList<MailAddress> parseAddressList(const QString& text)
{
    QList<MailAddress> result;
    QString entry;
    bool inQuotes = false;
    bool inBrackets = false;
    const auto takeEntry = [&] {
        if (!entry.trimmed().isEmpty())
            result.append(MailAddress::fromText(entry));
        entry.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inQuotes && c == u'\\' && i + 1 < text.size()) {
            entry += c;
            entry += text[++i];
            continue;
        }
        if (c == u'"')
            inQuotes = !inQuotes;
        else if (!inQuotes && c == u'<')
            inBrackets = true;
        else if (!inQuotes && c == u'>')
            inBrackets = false;
        else if (!inQuotes && !inBrackets && c == u',') {
            takeEntry();
            continue;
        }
        entry += c;
    }
    takeEntry();
    return result;
}

QByteArray envelopeAddress(const MailAddress& mailbox, const QString& role)
{
    if (mailbox.address.isEmpty())
        throw MailError(QStringLiteral("The e-mail has no %1 address.").arg(role));
    for (const QChar c : mailbox.address)
        if (unfitForEnvelope(c))
            throw MailError(QStringLiteral("The %1 address \"%2\" is not valid: it must not "
                                           "contain blanks, angle brackets or control characters.")
                                .arg(role, printable(mailbox.address)));
    return mailbox.address.toUtf8();
}
