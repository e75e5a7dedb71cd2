#include "shell/CommandLine.h"
#include "shell/InstanceGuard.h"
#include "shell/Shared.h"
#include "support/TestTime.h"

#include <QTemporaryDir>
#include <QtTest>
#include <thread>

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void applicationTitle_data();
    void applicationTitle();
    void instanceNameIgnoresLetterCaseOnly();
    void handOverCarriesArgumentsAndActivationToken_data();
    void handOverCarriesArgumentsAndActivationToken();
    void commandLineRequests_data();
    void commandLineRequests();
};

void TestShell::applicationTitle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("plain") << "/usr/bin/velmora"
                           << "velmora";
    QTest::newRow("capital kept, rest lower") << "/opt/VelMora"
                                              << "Velmora";
    QTest::newRow("up to the first dot") << "/opt/Velmora.exe"
                                         << "Velmora";
    QTest::newRow("several dots") << "/opt/VELMORA.bin.old"
                                  << "Velmora";
    QTest::newRow("leading dot") << "/opt/.hidden"
                                 << "";
}

void TestShell::applicationTitle()
{
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(applicationTitleFor(path), title);
}

void TestShell::instanceNameIgnoresLetterCaseOnly()
{
    qunsetenv("VELMORA_INSTANCE_NAME");
    const QString a = InstanceGuard::nameFor("/nonexistent/Bin/velmora");
    QCOMPARE(InstanceGuard::nameFor("/nonexistent/bin/VELMORA"), a);
    QVERIFY(InstanceGuard::nameFor("/nonexistent/other/velmora") != a);
    qputenv("VELMORA_INSTANCE_NAME", "fixed");
    QCOMPARE(InstanceGuard::nameFor("/nonexistent/other/velmora"), QString("fixed"));
    qunsetenv("VELMORA_INSTANCE_NAME");
}

void TestShell::handOverCarriesArgumentsAndActivationToken_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("token");
    QTest::newRow("none") << QStringList{} << QString();
    QTest::newRow("systray, no token") << QStringList{"systray"} << QString();
    QTest::newRow("token") << QStringList{"systray", "x y"} << QString("launcher-token_42");
    QTest::newRow("token without arguments") << QStringList{} << QString("t");
}

void TestShell::handOverCarriesArgumentsAndActivationToken()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, token);
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    const QString name = QStringLiteral("velmora-test-%1").arg(QCoreApplication::applicationPid());
    InstanceGuard running(name);
    QVERIFY(running.isFirstCopy());
    QSignalSpy received(&running, &InstanceGuard::commandLineReceived);

    // The later copy waits for the running copy, whose event loop runs here.
    bool laterWasFirst = true;
    std::thread later([&] {
        InstanceGuard guard(name);
        laterWasFirst = guard.isFirstCopy();
        if (!laterWasFirst)
            guard.handOver(arguments, token);
    });
    const bool arrived = received.wait(testtime::scaled(10000));
    later.join();
    QVERIFY(!laterWasFirst);
    QVERIFY(arrived);
    QCOMPARE(received.first().at(0).toStringList(), arguments);
    QCOMPARE(received.first().at(1).toString(), token);
}

void TestShell::commandLineRequests_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("request");
    const int run = int(CommandLineRequest::Run);
    QTest::newRow("none") << QStringList{} << run;
    QTest::newRow("systray") << QStringList{"systray"} << run;
    QTest::newRow("--help") << QStringList{"--help"} << int(CommandLineRequest::Help);
    QTest::newRow("-h") << QStringList{"-h"} << int(CommandLineRequest::Help);
    QTest::newRow("--version") << QStringList{"--version"} << int(CommandLineRequest::Version);
    QTest::newRow("help in second place") << QStringList{"systray", "--help"} << run;
    QTest::newRow("--HELP") << QStringList{"--HELP"} << run;
}

void TestShell::commandLineRequests()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, request);
    QList<QByteArray> storage{"velmora"};
    for (const QString& argument : arguments)
        storage.append(argument.toLocal8Bit());
    QList<const char*> argv;
    for (const QByteArray& argument : storage)
        argv.append(argument.constData());
    QCOMPARE(int(commandLineRequest(int(argv.size()), argv.constData())), request);
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
