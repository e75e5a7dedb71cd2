// Only the service's own user (and root) may talk to it. The service runs as
// one unprivileged user, the clients as another, as itself and as root.
#include "support/EchoHttpServer.h"
#include "support/RawClient.h"
#include "support/RunningService.h"

#include "common/AlertSettings.h"
#include "common/Framing.h"
#include "service_link/ServiceCommands.h"
#include "service_link/ServiceLinkError.h"
#include "support/Absence.h"
#include "support/TestTime.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

namespace {

// nobody runs the service; daemon is the stranger.
const QString ServiceUser = QStringLiteral("65534");
const QString ServiceGroup = QStringLiteral("65534");
const QString OtherUser = QStringLiteral("1");
const QString OtherGroup = QStringLiteral("1");

QStringList asUser(const QString& user, const QString& group)
{
    return {QStringLiteral("setpriv"), QStringLiteral("--reuid=") + user,
            QStringLiteral("--regid=") + group, QStringLiteral("--clear-groups")};
}

QString builtProbe()
{
    return qEnvironmentVariable("VELMORA_BINARY_DIR") +
           QStringLiteral("/tests/bin/velmora_service_probe");
}

// The build folder may lie where other users cannot go (under /root): the
// programs run from copies in a folder that everyone can read.
QTemporaryDir& programFolder()
{
    static QTemporaryDir folder;
    return folder;
}

QString probe()
{
    return programFolder().path() + QStringLiteral("/velmora_service_probe");
}

QString serviceProgram()
{
    return programFolder().path() + QStringLiteral("/velmora-service");
}

int runProbe(const QString& user, const QString& group, quint16 port, const QStringList& action,
             QByteArray* output = nullptr)
{
    QStringList arguments = asUser(user, group).mid(1);
    arguments << probe() << QString::number(port) << action;
    QProcess process;
    process.start(QStringLiteral("setpriv"), arguments);
    if (!process.waitForFinished(testtime::scaled(15000))) {
        process.kill();
        process.waitForFinished(testtime::scaled(30000));
        return -1;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// The recipients the service keeps, asked as its own user.
QByteArray recipientsOf(const RunningService& service)
{
    QByteArray reply;
    if (runProbe(ServiceUser, ServiceGroup, service.port(),
                 {QStringLiteral("ask"), QString::fromLatin1(service::GetSettings)}, &reply) != 0)
        return "(no answer)";
    return reply.split('\n').value(service::valueLine(Setting::Recipients));
}

bool giveTo(const QString& path, const QString& user, const QString& group)
{
    return QProcess::execute(QStringLiteral("chown"),
                             {QStringLiteral("-R"), user + QLatin1Char(':') + group, path}) == 0;
}

} // namespace

class TestServiceUsers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void strangerGetsNoAnswer_data();
    void strangerGetsNoAnswer();
    void strangerCannotSave();
    void ownUserSavesAsTheWindowDoes();
    void strangerInALoopIsOneLine();

private:
    bool startService(RunningService& service);
    EchoHttpServer m_echo;
};

void TestServiceUsers::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("needs root to run the service and its clients as other users");
    if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        QSKIP("needs setpriv (util-linux) to run programs as other users");
    QVERIFY(programFolder().isValid());
    QVERIFY(QFile::setPermissions(programFolder().path(), QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ExeOwner | QFile::ReadOther |
                                                              QFile::ExeOther));
    QVERIFY(QFile::copy(builtProbe(), probe()));
    QVERIFY(QFile::copy(RunningService::program(), serviceProgram()));
    m_echo.setAddress("203.0.113.7");
}

bool TestServiceUsers::startService(RunningService& service)
{
    if (!giveTo(service.folder(), ServiceUser, ServiceGroup))
        return false;
    return service.startAs(asUser(ServiceUser, ServiceGroup), serviceProgram(), {m_echo.url()});
}

void TestServiceUsers::strangerGetsNoAnswer_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("GetSettings") << QString::fromLatin1(service::GetSettings);
    QTest::newRow("UpdateStatus") << QString::fromLatin1(service::UpdateStatus);
    QTest::newRow("GetCellularProviders") << QString::fromLatin1(service::GetCellularProviders);
}

void TestServiceUsers::strangerGetsNoAnswer()
{
    QFETCH(QString, command);
    RunningService service;
    QVERIFY2(startService(service), qPrintable(service.errorText()));

    QByteArray reply;
    QCOMPARE(
        runProbe(OtherUser, OtherGroup, service.port(), {QStringLiteral("ask"), command}, &reply),
        3);
    QCOMPARE(reply, QByteArray());
    QTRY_VERIFY(service.output().contains(QStringLiteral("refused a connection from user 1")));

    // Its own user and root are answered.
    QCOMPARE(runProbe(ServiceUser, ServiceGroup, service.port(), {QStringLiteral("ask"), command},
                      &reply),
             0);
    QVERIFY(reply.startsWith("velmora-service"));
    const RawReply rootReply =
        rawExchange(service.port(), {framing::encodeLine(command.toLatin1())}, false);
    QVERIFY(rootReply.bytes.contains("velmora-service"));
    // The window's own client, run by root, does not talk to another user's service.
    QVERIFY_THROWS_EXCEPTION(ServiceLinkError, service.request(command.toLatin1().constData()));
}

void TestServiceUsers::strangerCannotSave()
{
    RunningService service;
    QVERIFY2(startService(service), qPrintable(service.errorText()));

    // The service may shut the door before the list is even sent.
    const int code = runProbe(OtherUser, OtherGroup, service.port(),
                              {QStringLiteral("save"), QStringLiteral("intruder@example.com")});
    QVERIFY2(code == 0 || code == 3, qPrintable(QString::number(code)));
    QTRY_VERIFY(service.output().contains(QStringLiteral("refused a connection from user 1")));
    QCOMPARE(recipientsOf(service), QByteArray());

    QCOMPARE(runProbe(ServiceUser, ServiceGroup, service.port(),
                      {QStringLiteral("save"), QStringLiteral("owner@example.com")}),
             0);
    QCOMPARE(recipientsOf(service), QByteArray("owner@example.com"));
}

void TestServiceUsers::ownUserSavesAsTheWindowDoes()
{
    // The window closes its end right after the list; the service must still
    // see whose it was.
    RunningService service;
    QVERIFY2(startService(service), qPrintable(service.errorText()));
    for (int i = 0; i < 20; ++i) {
        const QString recipients = QStringLiteral("owner%1@example.com").arg(i);
        QCOMPARE(runProbe(ServiceUser, ServiceGroup, service.port(),
                          {QStringLiteral("send"), recipients}),
                 0);
        QTRY_COMPARE(recipientsOf(service), recipients.toLatin1());
    }
}

void TestServiceUsers::strangerInALoopIsOneLine()
{
    RunningService service;
    QVERIFY2(startService(service), qPrintable(service.errorText()));
    for (int i = 0; i < 20; ++i)
        QCOMPARE(runProbe(OtherUser, OtherGroup, service.port(),
                          {QStringLiteral("ask"), QString::fromLatin1(service::UpdateStatus)}),
                 3);
    // The first refusal is told; the others wait for the minute's count.
    QTRY_VERIFY(service.output().contains(QStringLiteral("refused a connection from user 1")));
    QVERIFY2(neverWithin(500, [&] { return service.output().count(QStringLiteral("user 1")) > 1; }),
             qPrintable(service.output()));
}

QTEST_GUILESS_MAIN(TestServiceUsers)
#include "tst_service_users.moc"
