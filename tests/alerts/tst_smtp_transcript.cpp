#include "alerts/SmtpTranscript.h"

#include <QTest>

// What libcurl reports of a dialogue, and what the error text may show of it.
class SmtpTranscriptTest : public QObject
{
    Q_OBJECT

private slots:
    void credentialsHidden_data();
    void credentialsHidden();
    void lastErrorReply();
    void sizeBounded();
};

void SmtpTranscriptTest::credentialsHidden_data()
{
    // Each step: 'S' sent by the client, 'R' received, 'N' a note of libcurl.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("expected");
    QTest::newRow("PLAIN with initial response")
        << QStringList{"SAUTH PLAIN AHVzZXIAc2VjcmV0\r\n", "R235 2.7.0 OK\r\n"}
        << "> AUTH PLAIN (credentials hidden)\n< 235 2.7.0 OK";
    QTest::newRow("PLAIN after a challenge")
        << QStringList{"SAUTH PLAIN\r\n", "R334 \r\n", "SAHVzZXIAc2VjcmV0\r\n", "R535 5.7.8 no\r\n"}
        << "> AUTH PLAIN\n< 334 \n> (credentials hidden)\n< 535 5.7.8 no";
    QTest::newRow("LOGIN, two challenges")
        << QStringList{"Sauth login\r\n", "R334 VXNlcm5hbWU6\r\n",
                       "SdXNlcg==\r\n",   "R334 UGFzc3dvcmQ6\r\n",
                       "Sc2VjcmV0\r\n",   "R235 ok\r\n",
                       "SQUIT\r\n"}
        << "> AUTH login\n< 334 VXNlcm5hbWU6\n> (credentials hidden)\n< 334 UGFzc3dvcmQ6\n"
           "> (credentials hidden)\n< 235 ok\n> QUIT";
    QTest::newRow("commands after AUTH shown again")
        << QStringList{"R334 \r\n", "Sc2VjcmV0\r\n", "R235 ok\r\n", "SMAIL FROM:<a@b>\r\n",
                       "NSSL connection using TLSv1.3\n"}
        << "< 334 \n> (credentials hidden)\n< 235 ok\n> MAIL FROM:<a@b>\n"
           "* SSL connection using TLSv1.3";
}

void SmtpTranscriptTest::credentialsHidden()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, expected);
    SmtpTranscript transcript;
    for (const QString& step : steps) {
        const QByteArray text = step.mid(1).toUtf8();
        if (step.startsWith(u'S'))
            transcript.addSent(text);
        else if (step.startsWith(u'R'))
            transcript.addReceived(text);
        else
            transcript.addNote(text);
    }
    QCOMPARE(transcript.text(), expected);
    QVERIFY(!transcript.text().contains(QStringLiteral("c2VjcmV0")));
}

void SmtpTranscriptTest::lastErrorReply()
{
    SmtpTranscript transcript;
    transcript.addReceived("250 OK\r\n");
    QCOMPARE(transcript.lastErrorReply(), QString());
    transcript.addReceived("550-5.1.1 first line\r\n550 5.1.1 User unknown\r\n");
    transcript.addReceived("221 Bye\r\n");
    QCOMPARE(transcript.lastErrorReply(), QStringLiteral("550 5.1.1 User unknown"));
    transcript.clear();
    QCOMPARE(transcript.text(), QString());
    QCOMPARE(transcript.lastErrorReply(), QString());
}

void SmtpTranscriptTest::sizeBounded()
{
    // A server that never stops replying must not grow the error text without end.
    SmtpTranscript transcript;
    for (int i = 0; i < 100000; ++i)
        transcript.addReceived("250-" + QByteArray(60, 'x') + "\r\n");
    QVERIFY(transcript.text().size() < 70 * 1024);
    QVERIFY(transcript.text().endsWith(QStringLiteral("(transcript cut short)")));
}

QTEST_GUILESS_MAIN(SmtpTranscriptTest)
#include "tst_smtp_transcript.moc"
