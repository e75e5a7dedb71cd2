#include "alerts/Email.h"
#include "alerts/MailAddress.h"
#include "alerts/MailError.h"
#include "alerts/MessageComposer.h"
#include "common/AlertTexts.h"
#include "support/MailText.h"

#include <QTest>
#include <QTimeZone>

using mailtext::bodyOf;

namespace {

// The header block of a composed message, unfolded, one entry per header.
QMap<QByteArray, QByteArray> headersOf(const QByteArray& message)
{
    QMap<QByteArray, QByteArray> headers;
    QByteArray block = message.left(message.indexOf("\r\n\r\n"));
    block.replace("\r\n ", " ");
    for (const QByteArray& line : block.split('\n')) {
        const QByteArray trimmed = line.endsWith('\r') ? line.chopped(1) : line;
        const qsizetype colon = trimmed.indexOf(':');
        headers.insert(trimmed.left(colon), trimmed.mid(colon + 2));
    }
    return headers;
}

// Decodes one header value made of RFC 2047 B encoded words (what headerText makes).
QString decodedWords(const QByteArray& value)
{
    QByteArray bytes;
    for (const QByteArray& word : value.split(' ')) {
        if (!word.startsWith("=?UTF-8?B?") || !word.endsWith("?="))
            return QString::fromUtf8(value);
        bytes += QByteArray::fromBase64(word.mid(10, word.size() - 12));
    }
    return QString::fromUtf8(bytes);
}

Email sampleEmail()
{
    Email email;
    email.setFrom(QStringLiteral("owner@example.test"));
    email.AddRecipient(QString(), QStringLiteral("alice@example.test"));
    email.setSubject(QStringLiteral("Subject"));
    return email;
}

const QDateTime kDate(QDate(2024, 6, 4), QTime(9, 5, 7), QTimeZone(2 * 3600));

} // namespace

class MessageCompositionTest : public QObject
{
    Q_OBJECT

private slots:
    void testEmailLines_data();
    void testEmailLines();
    void textMessageParts();
    void engineLogTagsRemoved_data();
    void engineLogTagsRemoved();
    void mailboxParsing_data();
    void mailboxParsing();
    void addressList_data();
    void addressList();
    void unfitEnvelopeAddressRefused_data();
    void unfitEnvelopeAddressRefused();
    void headers();
    void headerTextEncoding_data();
    void headerTextEncoding();
    void mailboxHeaders_data();
    void mailboxHeaders();
    void longRecipientListFolded();
    void bodyLineEnds_data();
    void bodyLineEnds();
    void overlongLineSentQuotedPrintable();
};

void MessageCompositionTest::testEmailLines_data()
{
    QTest::addColumn<QStringList>("status");
    QTest::addColumn<QString>("expected");
    QTest::newRow("filled") << QStringList{QStringLiteral("DESK-7"), QStringLiteral("203.0.113.9"),
                                           QStringLiteral("192.168.1.20")}
                            << QStringLiteral("Date: 04/06/2024 09:05:07\r\n"
                                              "===================================\r\n"
                                              "Computer Name: DESK-7\r\n"
                                              "Public IP Address: 203.0.113.9\r\n"
                                              "Local IP Address: 192.168.1.20");
    // Values never received from the service: each line ends after its label.
    QTest::newRow("empty status") << QStringList{QString(), QString(), QString()}
                                  << QStringLiteral("Date: 04/06/2024 09:05:07\r\n"
                                                    "===================================\r\n"
                                                    "Computer Name: \r\n"
                                                    "Public IP Address: \r\n"
                                                    "Local IP Address: ");
}

void MessageCompositionTest::testEmailLines()
{
    QFETCH(QStringList, status);
    QFETCH(QString, expected);
    QCOMPARE(alerttexts::emailBody(QStringLiteral("04/06/2024"), QStringLiteral("09:05:07"),
                                   status[0], status[1], status[2]),
             expected);
    QCOMPARE(alerttexts::testEmailSubject(), QStringLiteral("Velmora Alert (TEST)"));
}

void MessageCompositionTest::textMessageParts()
{
    QCOMPARE(alerttexts::testTextMessageSubject(), QStringLiteral("Velmora(TEST)"));
    QCOMPARE(alerttexts::textMessageBody(QStringLiteral("DESK-7"), QStringLiteral("203.0.113.9"),
                                         QStringLiteral("192.168.1.20")),
             QStringLiteral("Computer Name: DESK-7\nPublic IP Address: 203.0.113.9\n"
                            "Local IP Address: 192.168.1.20"));
    QCOMPARE(alerttexts::textMessageBody(QString(), QString(), QString()),
             QStringLiteral("Computer Name: \nPublic IP Address: \nLocal IP Address: "));
    QCOMPARE(alerttexts::textMessageSender(QStringLiteral("me@example.test")),
             QStringLiteral("Velmora <me@example.test>"));
    // The phone number is used as typed, whatever its characters.
    QCOMPARE(alerttexts::textMessageRecipient(QStringLiteral("555-12-34x"),
                                              QStringLiteral("sms.example")),
             QStringLiteral("<555-12-34x@sms.example>"));
}

void MessageCompositionTest::engineLogTagsRemoved_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("none") << QStringLiteral("Login denied\n< 535 no")
                          << QStringLiteral("Login denied\n< 535 no");
    QTest::newRow("every case") << QStringLiteral("ChilkatLog:\n  chilkatlog:x CHILKATLOG: y")
                                << QStringLiteral("\n  x  y");
    QTest::newRow("not rescanned")
        << QStringLiteral("ChilChilkatLog:katLog:") << QStringLiteral("ChilkatLog:");
    QTest::newRow("without colon kept")
        << QStringLiteral("ChilkatLog") << QStringLiteral("ChilkatLog");
}

void MessageCompositionTest::engineLogTagsRemoved()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(alerttexts::withoutEngineLogTags(text), expected);
}

void MessageCompositionTest::mailboxParsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::newRow("bare") << "a@example.test"
                          << ""
                          << "a@example.test";
    QTest::newRow("brackets") << "<5551234567@sms.example>"
                              << ""
                              << "5551234567@sms.example";
    QTest::newRow("named") << "Velmora <me@example.test>"
                           << "Velmora"
                           << "me@example.test";
    QTest::newRow("quoted name") << "\"Doe, \\\"J\\\"\" <j@example.test>"
                                 << "Doe, \"J\""
                                 << "j@example.test";
    QTest::newRow("blanks around") << "  a@example.test "
                                   << ""
                                   << "a@example.test";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
}

void MessageCompositionTest::mailboxParsing()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QFETCH(QString, address);
    const MailAddress mailbox = MailAddress::fromText(text);
    QCOMPARE(mailbox.displayName, name);
    QCOMPARE(mailbox.address, address);
}

void MessageCompositionTest::addressList_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("addresses");
    QTest::newRow("two") << "a@x.test,b@y.test" << QStringList{"a@x.test", "b@y.test"};
    QTest::newRow("empty entries skipped")
        << ",a@x.test,,b@y.test," << QStringList{"a@x.test", "b@y.test"};
    QTest::newRow("comma in quoted name")
        << "\"Doe, J\" <j@x.test>,k@y.test" << QStringList{"j@x.test", "k@y.test"};
    QTest::newRow("nothing") << "" << QStringList{};
}

void MessageCompositionTest::addressList()
{
    QFETCH(QString, text);
    QFETCH(QStringList, addresses);
    QStringList parsed;
    for (const MailAddress& mailbox : parseAddressList(text))
        parsed.append(mailbox.address);
    QCOMPARE(parsed, addresses);
}

void MessageCompositionTest::unfitEnvelopeAddressRefused_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << ""
                           << "The e-mail has no recipient address.";
    // Each of these would end or extend the RCPT command on the wire.
    QTest::newRow("line break") << "a@x.test\r\nRCPT TO:<b@y.test>"
                                << "not valid";
    QTest::newRow("parameter") << "a@x.test> NOTIFY=SUCCESS"
                               << "not valid";
    QTest::newRow("blank") << "a b@x.test"
                           << "not valid";
    QTest::newRow("nul") << QStringLiteral("a@x.test") + QChar(0) << "not valid";
}

void MessageCompositionTest::unfitEnvelopeAddressRefused()
{
    QFETCH(QString, address);
    QFETCH(QString, message);
    try {
        envelopeAddress(MailAddress{QString(), address}, QStringLiteral("recipient"));
        QFAIL("accepted");
    } catch (const MailError& error) {
        const QString text = QString::fromUtf8(error.what());
        QVERIFY2(text.contains(message), qPrintable(text));
        QVERIFY2(!text.contains(u'\n') && !text.contains(u'\r'), qPrintable(text));
    }
}

void MessageCompositionTest::headers()
{
    const QByteArray message = composeMessage(sampleEmail(), kDate, "<id-1@example.test>");
    const auto headers = headersOf(message);
    QCOMPARE(headers.value("Date"), QByteArray("Tue, 04 Jun 2024 09:05:07 +0200"));
    QCOMPARE(headers.value("From"), QByteArray("owner@example.test"));
    QCOMPARE(headers.value("To"), QByteArray("alice@example.test"));
    QCOMPARE(headers.value("Subject"), QByteArray("Subject"));
    QCOMPARE(headers.value("Message-ID"), QByteArray("<id-1@example.test>"));
    QCOMPARE(headers.value("MIME-Version"), QByteArray("1.0"));
    QCOMPARE(headers.value("Content-Type"), QByteArray("text/plain; charset=UTF-8"));
    QCOMPARE(headers.value("Content-Transfer-Encoding"), QByteArray("8bit"));
    QCOMPARE(headers.size(), 8);
    // Every line of the header block ends with CR LF.
    const QByteArray block = message.left(message.indexOf("\r\n\r\n") + 2);
    QCOMPARE(block.count('\n'), block.count("\r\n"));

    const QByteArray id = newMessageId(QStringLiteral("owner@example.test"));
    QVERIFY2(id.startsWith('<') && id.endsWith("@example.test>"), id.constData());
    QVERIFY(id != newMessageId(QStringLiteral("owner@example.test")));
}

void MessageCompositionTest::headerTextEncoding_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<bool>("encoded");
    QTest::newRow("ascii") << "Velmora Alert (TEST)" << false;
    QTest::newRow("umlaut") << QStringLiteral("Adresse geändert") << true;
    QTest::newRow("emoji across words") << QString(20, u'é') + QStringLiteral("😀😀😀😀😀😀") << true;
    // A line break in a subject must not start a header of its own.
    QTest::newRow("injection") << "Hi\r\nBcc: victim@example.test" << true;
    QTest::newRow("long ascii") << QString(120, u'x') << true;
}

void MessageCompositionTest::headerTextEncoding()
{
    QFETCH(QString, subject);
    QFETCH(bool, encoded);
    Email email = sampleEmail();
    email.setSubject(subject);
    const QByteArray message = composeMessage(email, kDate, "<id@x>");
    const QByteArray value = headersOf(message).value("Subject");
    QCOMPARE(value.startsWith("=?UTF-8?B?"), encoded);
    QCOMPARE(decodedWords(value), subject);
    QVERIFY(!headersOf(message).contains("Bcc"));
    // No header line grows past 78 characters once folded.
    const QByteArray block = message.left(message.indexOf("\r\n\r\n"));
    for (const QByteArray& line : block.split('\n'))
        QVERIFY2(line.size() <= 79, line.constData());
}

void MessageCompositionTest::mailboxHeaders_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("recipient");
    QTest::addColumn<QByteArray>("fromHeader");
    QTest::addColumn<QByteArray>("toHeader");
    QTest::newRow("text message") << "Velmora <me@example.test>"
                                  << "<5551234567@sms.example>"
                                  << QByteArray("Velmora <me@example.test>")
                                  << QByteArray("5551234567@sms.example");
    QTest::newRow("specials quoted")
        << "\"Doe, J.\" <j@example.test>"
        << "k@example.test" << QByteArray("\"Doe, J.\" <j@example.test>")
        << QByteArray("k@example.test");
    QTest::newRow("non-ascii name")
        << QStringLiteral("Jörg <j@example.test>") << "k@example.test"
        << QByteArray("=?UTF-8?B?SsO2cmc=?= <j@example.test>") << QByteArray("k@example.test");
}

void MessageCompositionTest::mailboxHeaders()
{
    QFETCH(QString, from);
    QFETCH(QString, recipient);
    QFETCH(QByteArray, fromHeader);
    QFETCH(QByteArray, toHeader);
    Email email;
    email.setFrom(from);
    email.AddRecipient(QString(), recipient);
    const auto headers = headersOf(composeMessage(email, kDate, "<id@x>"));
    QCOMPARE(headers.value("From"), fromHeader);
    QCOMPARE(headers.value("To"), toHeader);
}

void MessageCompositionTest::longRecipientListFolded()
{
    Email email = sampleEmail();
    QStringList addresses;
    for (int i = 0; i < 12; ++i)
        addresses.append(QStringLiteral("recipient%1@example.test").arg(i));
    email.AddRecipientList(addresses.join(u','));
    const QByteArray message = composeMessage(email, kDate, "<id@x>");
    const QByteArray block = message.left(message.indexOf("\r\n\r\n"));
    for (const QByteArray& line : block.split('\n'))
        QVERIFY2(line.size() <= 79, line.constData());
    QCOMPARE(headersOf(message).value("To"),
             ("alice@example.test, " + addresses.join(QStringLiteral(", "))).toUtf8());
}

void MessageCompositionTest::bodyLineEnds_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("test e-mail CR LF") << "a\r\nb" << QByteArray("a\r\nb\r\n");
    QTest::newRow("text message LF") << "a\nb\nc" << QByteArray("a\r\nb\r\nc\r\n");
    QTest::newRow("bare CR") << "a\rb" << QByteArray("a\r\nb\r\n");
    QTest::newRow("blank lines kept") << "a\n\n\nb\n" << QByteArray("a\r\n\r\n\r\nb\r\n");
    QTest::newRow("utf-8") << QStringLiteral("Grüße")
                           << QByteArray("Gr\xc3\xbc\xc3\x9f"
                                         "e\r\n");
    QTest::newRow("empty") << "" << QByteArray();
}

void MessageCompositionTest::bodyLineEnds()
{
    QFETCH(QString, body);
    QFETCH(QByteArray, wire);
    Email email = sampleEmail();
    email.setBody(body);
    QCOMPARE(bodyOf(composeMessage(email, kDate, "<id@x>")), wire);
}

void MessageCompositionTest::overlongLineSentQuotedPrintable()
{
    // SMTP allows 998 octets per line; a longer one would be refused or cut.
    Email email = sampleEmail();
    const QString longLine = QString(1200, u'x') + QStringLiteral("= é");
    email.setBody(longLine + QStringLiteral("\nend "));
    const QByteArray message = composeMessage(email, kDate, "<id@x>");
    QCOMPARE(headersOf(message).value("Content-Transfer-Encoding"), QByteArray("quoted-printable"));
    const QByteArray body = bodyOf(message);
    for (const QByteArray& line : body.split('\n'))
        QVERIFY(line.size() <= 77);
    QByteArray decoded = body;
    decoded.replace("=\r\n", "");
    QVERIFY(decoded.startsWith(QString(1200, u'x').toLatin1() + "=3D =C3=A9\r\nend=20\r\n"));
}

QTEST_GUILESS_MAIN(MessageCompositionTest)
#include "tst_message_composition.moc"
