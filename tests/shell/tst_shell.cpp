#include "shell/InstanceGuard.h"
#include "shell/Shared.h"

#include <QtTest>

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void applicationTitle_data();
    void applicationTitle();
    void instanceNameIgnoresLetterCaseOnly();
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

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
