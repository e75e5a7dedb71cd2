// The job the service hands to velmora-send-mail on its standard input.
#include "helpers/MailJob.h"

#include <QtTest>

class TestMailJob : public QObject
{
    Q_OBJECT

private slots:
    void mailJobRoundTrip();
    void mailJobRejects_data();
    void mailJobRejects();
};

namespace {

MailJob sampleJob()
{
    MailJob job;
    job.ssl = 1;
    job.host = QStringLiteral("smtp.example.net");
    job.port = 465;
    job.username = QStringLiteral("user");
    job.password = QStringLiteral("p\u00e4ss, \"word\"\r\n");
    job.connectTimeoutSeconds = 7;
    job.replyTimeoutSeconds = 9;
    job.from = QStringLiteral("alerts@example.com");
    job.recipientList = QStringLiteral("alerts@example.com, second@example.org");
    job.recipient = QStringLiteral("<5555550123@txt.example.net>");
    job.subject = QStringLiteral("Velmora Alert");
    job.body = QStringLiteral("line 1\r\n\r\nline \u20ac\r\n");
    return job;
}

bool sameJob(const MailJob& a, const MailJob& b)
{
    return a.ssl == b.ssl && a.host == b.host && a.port == b.port && a.username == b.username &&
           a.password == b.password && a.connectTimeoutSeconds == b.connectTimeoutSeconds &&
           a.replyTimeoutSeconds == b.replyTimeoutSeconds && a.from == b.from &&
           a.recipientList == b.recipientList && a.recipient == b.recipient &&
           a.subject == b.subject && a.body == b.body;
}

} // namespace

void TestMailJob::mailJobRoundTrip()
{
    const MailJob job = sampleJob();
    const std::optional<MailJob> back = MailJob::decode(job.encode());
    QVERIFY(back);
    QVERIFY(sameJob(*back, job));
    const std::optional<MailJob> empty = MailJob::decode(MailJob().encode());
    QVERIFY(empty);
    QVERIFY(sameJob(*empty, MailJob()));
}

void TestMailJob::mailJobRejects_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray whole = sampleJob().encode();
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("cut short") << whole.left(whole.size() - 3);
    QTest::newRow("bytes after the job") << whole + "x";
    QByteArray otherMagic = whole;
    otherMagic[3] = char(otherMagic[3] ^ 0x01);
    QTest::newRow("another format") << otherMagic;
    QTest::newRow("text") << QByteArray("host=smtp.example.net\n");
}

void TestMailJob::mailJobRejects()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!MailJob::decode(bytes));
}

QTEST_APPLESS_MAIN(TestMailJob)
#include "tst_mail_job.moc"
