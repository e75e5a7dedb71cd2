#include "common/VelmoraPaths.h"

#include <QtTest>

namespace {

// A variable's value in the table; this one stands for "not set at all".
const QString Unset = QStringLiteral("<unset>");
// Stand for a runtime folder of the test's own: closed to others (as a session
// makes it), and open to all (as /tmp).
const QString Private = QStringLiteral("<private>");
const QString Shared = QStringLiteral("<shared>");

void setVariable(const char* name, const QString& value)
{
    if (value == Unset)
        qunsetenv(name);
    else
        qputenv(name, value.toLocal8Bit());
}

} // namespace

// Where both programs find the files, from the XDG variables and the home folder.
class TestPaths : public QObject
{
    Q_OBJECT

private slots:
    void folders_data();
    void folders();
};

void TestPaths::folders_data()
{
    QTest::addColumn<QString>("configHome");
    QTest::addColumn<QString>("stateHome");
    QTest::addColumn<QString>("runtimeDir");
    QTest::addColumn<QString>("expectedConfigDir");
    QTest::addColumn<QString>("expectedLog");
    QTest::addColumn<QString>("expectedLock");

    QTest::newRow("all set") << "/xdg/config"
                             << "/xdg/state" << Private << "/xdg/config/velmora"
                             << "/xdg/state/velmora/velmora.log"
                             << Private + "/velmora-service.lock";
    QTest::newRow("none set") << Unset << Unset << Unset << "/home/ann/.config/velmora"
                              << "/home/ann/.local/state/velmora/velmora.log"
                              << "/home/ann/.local/state/velmora/service.lock";
    QTest::newRow("empty") << ""
                           << ""
                           << ""
                           << "/home/ann/.config/velmora"
                           << "/home/ann/.local/state/velmora/velmora.log"
                           << "/home/ann/.local/state/velmora/service.lock";
    QTest::newRow("relative") << "config"
                              << "./state"
                              << "run/user/1000"
                              << "/home/ann/.config/velmora"
                              << "/home/ann/.local/state/velmora/velmora.log"
                              << "/home/ann/.local/state/velmora/service.lock";
    QTest::newRow("untidy") << "/xdg//config/"
                            << "/xdg/./state/" << Private + "/./"
                            << "/xdg/config/velmora"
                            << "/xdg/state/velmora/velmora.log"
                            << Private + "/velmora-service.lock";
    // Another user could forge the lock in a runtime folder open to others.
    QTest::newRow("runtime folder open to all") << "/xdg/config"
                                                << "/xdg/state" << Shared << "/xdg/config/velmora"
                                                << "/xdg/state/velmora/velmora.log"
                                                << "/xdg/state/velmora/service.lock";
    QTest::newRow("runtime folder missing") << "/xdg/config"
                                            << "/xdg/state"
                                            << "/nonexistent/run/user/1000"
                                            << "/xdg/config/velmora"
                                            << "/xdg/state/velmora/velmora.log"
                                            << "/xdg/state/velmora/service.lock";
    QTest::newRow("state set, runtime not")
        << Unset << "/var/tmp/ann-state" << Unset << "/home/ann/.config/velmora"
        << "/var/tmp/ann-state/velmora/velmora.log"
        << "/var/tmp/ann-state/velmora/service.lock";
}

void TestPaths::folders()
{
    QFETCH(QString, configHome);
    QFETCH(QString, stateHome);
    QFETCH(QString, runtimeDir);
    QFETCH(QString, expectedConfigDir);
    QFETCH(QString, expectedLog);
    QFETCH(QString, expectedLock);
    const QTemporaryDir privateFolder; // mode 0700
    const QTemporaryDir sharedFolder;
    QFile::setPermissions(sharedFolder.path(), QFile::permissions(sharedFolder.path()) |
                                                   QFile::ReadOther | QFile::WriteOther |
                                                   QFile::ExeOther);
    for (QString* text : {&runtimeDir, &expectedLock})
        text->replace(Private, privateFolder.path()).replace(Shared, sharedFolder.path());
    qputenv("HOME", "/home/ann");
    setVariable("XDG_CONFIG_HOME", configHome);
    setVariable("XDG_STATE_HOME", stateHome);
    setVariable("XDG_RUNTIME_DIR", runtimeDir);

    QCOMPARE(velmorapaths::configDir(), expectedConfigDir);
    QCOMPARE(velmorapaths::historyLog(), expectedLog);
    QCOMPARE(velmorapaths::stateDir(), QFileInfo(expectedLog).path());
    QCOMPARE(velmorapaths::serviceLock(), expectedLock);
}

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
