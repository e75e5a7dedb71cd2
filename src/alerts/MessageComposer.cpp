#include "alerts/MessageComposer.h"

#include <QLocale>
#include <QUuid>

namespace {

constexpr qsizetype kFoldColumn = 78;
// RFC 5321: a line holds at most 1000 octets with its CR LF.
constexpr qsizetype kMaxLineOctets = 998;
// Raw bytes per encoded word: 45 bytes give 60 base64 characters, which with
// "=?UTF-8?B?" and "?=" stay under the 75 an encoded word may have.
constexpr qsizetype kEncodedWordBytes = 45;
constexpr qsizetype kEncodedWordOverhead = 12;

bool isPrintableAscii(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    return true;
}

// True when a display name can stand as it is (atoms and blanks).
bool isPlainPhrase(const QString& text)
{
    static const QString specials = QStringLiteral("()<>[]:;@\\,.\"");
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e || specials.contains(c))
            return false;
    return !text.trimmed().isEmpty();
}

// Raw bytes that fit in an encoded word starting at column.
qsizetype encodedWordCapacity(qsizetype column)
{
    const qsizetype base64Characters = kFoldColumn - column - kEncodedWordOverhead;
    return qBound<qsizetype>(3, base64Characters / 4 * 3, kEncodedWordBytes);
}

// The text as encoded words; the first starts at column, later ones on
// continuation lines of their own.
QByteArray encodedWords(const QString& text, qsizetype column)
{
    QList<QByteArray> words;
    QByteArray chunk;
    qsizetype capacity = encodedWordCapacity(column);
    for (qsizetype i = 0; i < text.size(); ++i) {
        // A surrogate pair is one character: never split it across words.
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray bytes = text.mid(i, length).toUtf8();
        i += length - 1;
        if (!chunk.isEmpty() && chunk.size() + bytes.size() > capacity) {
            words.append(chunk);
            chunk.clear();
            capacity = encodedWordCapacity(1);
        }
        chunk += bytes;
    }
    if (!chunk.isEmpty() || words.isEmpty())
        words.append(chunk);
    QByteArray result;
    for (const QByteArray& word : words) {
        if (!result.isEmpty())
            result += "\r\n ";
        result += "=?UTF-8?B?" + word.toBase64() + "?=";
    }
    return result;
}

QByteArray mailbox(const MailAddress& address, qsizetype column)
{
    const QByteArray bare = address.address.toUtf8();
    const QString name = address.displayName.trimmed();
    if (name.isEmpty())
        return bare;
    QByteArray phrase;
    if (isPlainPhrase(name)) {
        phrase = name.toLatin1();
    } else if (isPrintableAscii(name)) {
        QString quoted = name;
        quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
        phrase = '"' + quoted.toLatin1() + '"';
    } else {
        phrase = encodedWords(name, column);
    }
    return phrase + " <" + bare + '>';
}

QByteArray addressList(const QList<MailAddress>& addresses, qsizetype column)
{
    QByteArray result;
    for (const MailAddress& address : addresses) {
        QByteArray entry;
        if (result.isEmpty()) {
            entry = mailbox(address, column);
        } else {
            result += ',';
            entry = mailbox(address, column + 2);
            const qsizetype firstLine = entry.contains('\n') ? entry.indexOf('\r') : entry.size();
            if (column + 2 + firstLine > kFoldColumn) {
                result += "\r\n";
                column = 0;
                entry = mailbox(address, 1);
            } else {
                ++column;
            }
            result += ' ';
            ++column;
        }
        result += entry;
        const qsizetype lastBreak = entry.lastIndexOf('\n');
        column = lastBreak < 0 ? column + entry.size() : entry.size() - lastBreak - 1;
    }
    return result;
}

bool needsQuotedPrintable(const QByteArray& crLfBody)
{
    if (crLfBody.contains('\0'))
        return true;
    for (const QByteArray& line : crLfBody.split('\n'))
        if (line.size() - (line.endsWith('\r') ? 1 : 0) > kMaxLineOctets)
            return true;
    return false;
}

// RFC 2045 quoted-printable of a CR LF text, soft line breaks before column 76.
QByteArray quotedPrintable(const QByteArray& crLfBody)
{
    QByteArray result;
    qsizetype column = 0;
    const auto append = [&](const QByteArray& piece) {
        if (column + piece.size() > 75) {
            result += "=\r\n";
            column = 0;
        }
        result += piece;
        column += piece.size();
    };
    for (qsizetype i = 0; i < crLfBody.size(); ++i) {
        const char c = crLfBody[i];
        if (c == '\r' && i + 1 < crLfBody.size() && crLfBody[i + 1] == '\n') {
            result += "\r\n";
            column = 0;
            ++i;
            continue;
        }
        const bool lineEndFollows =
            i + 1 == crLfBody.size() ||
            (crLfBody[i + 1] == '\r' && i + 2 < crLfBody.size() && crLfBody[i + 2] == '\n');
        const auto u = static_cast<unsigned char>(c);
        const bool literal = (u >= 33 && u <= 126 && c != '=') || (c == ' ' && !lineEndFollows);
        append(literal ? QByteArray(1, c)
                       : "=" + QByteArray::number(u, 16).rightJustified(2, '0').toUpper());
    }
    return result;
}

} // namespace

QByteArray crLfText(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace("\r\n", "\n");
    bytes.replace('\r', '\n');
    bytes.replace("\n", "\r\n");
    return bytes;
}

QByteArray headerText(const QString& text, qsizetype column)
{
    if (isPrintableAscii(text) && column + text.size() <= kFoldColumn)
        return text.toLatin1();
    return encodedWords(text, column);
}

QByteArray internetDate(const QDateTime& date)
{
    const int offsetMinutes = date.offsetFromUtc() / 60;
    const int absolute = qAbs(offsetMinutes);
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(QChar(offsetMinutes < 0 ? u'-' : u'+'))
                             .arg(absolute / 60, 2, 10, QChar(u'0'))
                             .arg(absolute % 60, 2, 10, QChar(u'0'));
    return (QLocale::c().toString(date, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss ")) + zone)
        .toLatin1();
}

QByteArray newMessageId(const QString& senderAddress)
{
    const qsizetype at = senderAddress.lastIndexOf(u'@');
    QString domain = at >= 0 ? senderAddress.mid(at + 1) : QString();
    if (domain.isEmpty())
        domain = QStringLiteral("localhost");
    return '<' + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + '@' + domain.toUtf8() +
           '>';
}

QByteArray composeMessage(const Email& email, const QDateTime& date, const QByteArray& messageId)
{
    QByteArray body = crLfText(email.body());
    const bool quoted = needsQuotedPrintable(body);
    if (quoted)
        body = quotedPrintable(body);
    if (!body.isEmpty() && !body.endsWith("\r\n"))
        body += "\r\n";

    QByteArray message;
    message += "Date: " + internetDate(date) + "\r\n";
    message += "From: " + mailbox(MailAddress::fromText(email.from()), 6) + "\r\n";
    message += "To: " + addressList(email.recipients(), 4) + "\r\n";
    message += "Subject: " + headerText(email.subject(), 9) + "\r\n";
    message += "Message-ID: " + messageId + "\r\n";
    message += "MIME-Version: 1.0\r\n";
    message += "Content-Type: text/plain; charset=UTF-8\r\n";
    message +=
        QByteArray("Content-Transfer-Encoding: ") + (quoted ? "quoted-printable" : "8bit") + "\r\n";
    message += "\r\n";
    message += body;
    return message;
}
