// velmora-upload-page: the job the service hands it on its standard input, and
// the helper itself against a real FTP server on loopback.
#include "helpers/PageJob.h"
#include "servers/FtpPythonServer.h"
#include "support/JobBytes.h"
#include "support/TestTime.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestPageHelper : public QObject
{
    Q_OBJECT

private slots:
    void pageJobRoundTrip();
    void pageJobRejects_data();
    void pageJobRejects();
    void helperUploadsThePage_data();
    void helperUploadsThePage();
};

namespace {

PageJob sampleJob()
{
    PageJob job;
    job.host = QStringLiteral("ftp.example.net");
    job.port = 2121;
    job.username = QStringLiteral("user");
    job.password = QStringLiteral("p\u00e4ss, \"word\"\r\n");
    job.replyTimeoutSeconds = 9;
    job.templateFile = QStringLiteral("/home/user/.config/velmora/velmora.html");
    job.replacements = {{QStringLiteral("[[PublicIPAddress]]"), QStringLiteral("203.0.113.7")},
                        {QStringLiteral("[[LocalIPAddress]]"), QString()}};
    job.remoteName = QStringLiteral("velmora.html");
    return job;
}

bool sameJob(const PageJob& a, const PageJob& b)
{
    return a.host == b.host && a.port == b.port && a.username == b.username &&
           a.password == b.password && a.replyTimeoutSeconds == b.replyTimeoutSeconds &&
           a.templateFile == b.templateFile && a.replacements == b.replacements &&
           a.remoteName == b.remoteName;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestPageHelper::pageJobRoundTrip()
{
    const PageJob job = sampleJob();
    const std::optional<PageJob> back = PageJob::decode(job.encode());
    QVERIFY(back);
    QVERIFY(sameJob(*back, job));
    const std::optional<PageJob> empty = PageJob::decode(PageJob().encode());
    QVERIFY(empty);
    QVERIFY(sameJob(*empty, PageJob()));
}

void TestPageHelper::pageJobRejects_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray whole = sampleJob().encode();
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("cut short") << whole.left(whole.size() - 3);
    QTest::newRow("bytes after the job") << whole + "x";
    QByteArray otherMagic = whole;
    otherMagic[3] = char(otherMagic[3] ^ 0x01);
    QTest::newRow("another format") << otherMagic;
    QTest::newRow("a list longer than the job")
        << withHugeListCount(whole, 2, QStringLiteral("[[PublicIPAddress]]"));
}

void TestPageHelper::pageJobRejects()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!PageJob::decode(bytes));
}

void TestPageHelper::helperUploadsThePage_data()
{
    QTest::addColumn<bool>("rightPassword");
    QTest::addColumn<bool>("templateThere");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("uploaded") << true << true << 0;
    QTest::newRow("wrong password") << false << true << 1;
    QTest::newRow("no template") << true << false << 1;
}

void TestPageHelper::helperUploadsThePage()
{
    QFETCH(bool, rightPassword);
    QFETCH(bool, templateThere);
    QFETCH(int, exitCode);

    testservers::FtpPythonServer ftp;
    QVERIFY2(ftp.start(), qPrintable(ftp.errorText()));
    QTemporaryDir config;
    const QByteArray page = "<p>[[PublicIPAddress]]</p><p>[[localipaddress]]</p>\n";
    PageJob job;
    job.host = QStringLiteral("127.0.0.1");
    job.port = ftp.port();
    job.username = ftp.userName();
    job.password = rightPassword ? ftp.password() : QStringLiteral("not-the-password");
    job.replyTimeoutSeconds = 10;
    job.templateFile = config.filePath(QStringLiteral("velmora.html"));
    job.replacements = {{QStringLiteral("[[PublicIPAddress]]"), QStringLiteral("203.0.113.7")},
                        {QStringLiteral("[[LocalIPAddress]]"), QStringLiteral("192.0.2.10")}};
    job.remoteName = QStringLiteral("velmora.html");
    if (templateThere) {
        QFile file(job.templateFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(page);
    }

    QProcess helper;
    helper.start(QStringLiteral(VELMORA_PAGE_HELPER), {});
    QVERIFY(helper.waitForStarted(testtime::scaled(30000)));
    helper.write(job.encode());
    helper.closeWriteChannel();
    QVERIFY(helper.waitForFinished(testtime::scaled(30000)));
    const QByteArray said = helper.readAllStandardOutput();
    QCOMPARE(helper.exitCode(), exitCode);

    const QString uploaded = ftp.homePath() + QStringLiteral("/velmora.html");
    if (exitCode == 0) {
        QCOMPARE(said, QByteArray());
        QCOMPARE(readFile(uploaded), QByteArray("<p>203.0.113.7</p><p>192.0.2.10</p>\n"));
        QCOMPARE(readFile(job.templateFile), page);
    } else {
        // One line that says why, and never the password.
        QVERIFY2(said.endsWith('\n') && said.count('\n') == 1 && said.size() > 1, said.constData());
        QVERIFY2(!said.contains(job.password.toUtf8()), said.constData());
        QVERIFY(!QFile::exists(uploaded));
    }
}

QTEST_GUILESS_MAIN(TestPageHelper)
#include "tst_page_helper.moc"
