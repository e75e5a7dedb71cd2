// The files of earlier versions, moved into the state folder: the history log
// from beside the programs, the remembered addresses and the pending alerts from
// the config folder. What was in them is never lost.
#include "service/FormerLayout.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using testfiles::modeOf;
using testfiles::readFile;
using testfiles::writeFile;

namespace {

// The absent file's contents in the tables.
const QByteArray None("<none>");

// An old place and a new one, in folders of their own.
class Places
{
public:
    Places()
    {
        QDir(m_folder.path()).mkpath(QStringLiteral("old"));
        QDir(m_folder.path()).mkpath(QStringLiteral("state"));
    }
    QString from(const QString& name) const
    {
        return m_folder.filePath(QStringLiteral("old/") + name);
    }
    QString to(const QString& name) const
    {
        return m_folder.filePath(QStringLiteral("state/") + name);
    }
    QStringList stateFolder() const
    {
        return QDir(m_folder.filePath(QStringLiteral("state")))
            .entryList(QDir::Files | QDir::System);
    }
    // Puts the contents there, unless they are None.
    static bool put(const QString& path, const QByteArray& contents)
    {
        return contents == None || writeFile(path, contents);
    }

private:
    QTemporaryDir m_folder;
};

} // namespace

class TestServiceFormerLayout : public QObject
{
    Q_OBJECT
private slots:
    void historyLog_data();
    void historyLog();
    void stateFileAlone();
    void stateFileBesideANewOne();
    void aLinkIsLeftAlone_data();
    void aLinkIsLeftAlone();
    void theSameFileStays();
    void anUnremovableFileIsNotCopied();
};

void TestServiceFormerLayout::historyLog_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QByteArray>("current");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray first("2026-12-09 08:15:02,203.0.113.7,192.168.1.20\r\n");
    const QByteArray second("2026-12-10 14:03:07,198.51.100.23,192.168.1.20\r\n");
    QTest::newRow("old only") << first + second << None << first + second;
    // Both kept: the new log's lines first, then the old ones, each with its date.
    QTest::newRow("both") << first << second << second + first;
    QTest::newRow("old without a last line end")
        << first + second.chopped(2) << None << first + second;
    QTest::newRow("old empty, new there") << QByteArray() << second << second;
    QTest::newRow("old empty, no new") << QByteArray() << None << None;
    QTest::newRow("no old") << None << second << second;
}

void TestServiceFormerLayout::historyLog()
{
    QFETCH(QByteArray, old);
    QFETCH(QByteArray, current);
    QFETCH(QByteArray, expected);
    Places places;
    const QString from = places.from(QStringLiteral("velmora.log"));
    const QString to = places.to(QStringLiteral("velmora.log"));
    QVERIFY(Places::put(from, old));
    QVERIFY(Places::put(to, current));

    formerlayout::moveHistoryLog(from, to);

    QVERIFY(!QFile::exists(from));
    if (expected == None) {
        QVERIFY(!QFile::exists(to));
        return;
    }
    QCOMPARE(readFile(to), expected);
    QCOMPARE(places.stateFolder(), QStringList{QStringLiteral("velmora.log")});
    if (current == None)
        QCOMPARE(modeOf(to), 0600);
}

void TestServiceFormerLayout::stateFileAlone()
{
    Places places;
    const QString from = places.from(QStringLiteral("addresses"));
    const QString to = places.to(QStringLiteral("addresses"));
    QVERIFY(writeFile(from, "public 203.0.113.7\nlocal 192.168.1.20\n"));
    QVERIFY(QFile::setPermissions(from, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));

    formerlayout::moveStateFile(from, to);

    QVERIFY(!QFile::exists(from));
    QCOMPARE(readFile(to), QByteArray("public 203.0.113.7\nlocal 192.168.1.20\n"));
    QCOMPARE(modeOf(to), 0600);
}

void TestServiceFormerLayout::stateFileBesideANewOne()
{
    Places places;
    const QString from = places.from(QStringLiteral("pending-alerts"));
    const QString to = places.to(QStringLiteral("pending-alerts"));
    QVERIFY(writeFile(from, "old alerts\n"));
    QVERIFY(writeFile(to, "new alerts\n"));

    formerlayout::moveStateFile(from, to);

    // The new one stays in use; the old one is kept beside it under a name that says so.
    QVERIFY(!QFile::exists(from));
    QCOMPARE(readFile(to), QByteArray("new alerts\n"));
    const QStringList files = places.stateFolder();
    QCOMPARE(files.size(), 2);
    const QString aside =
        files.first() == QStringLiteral("pending-alerts") ? files.last() : files.first();
    QVERIFY2(aside.startsWith(QStringLiteral("pending-alerts.former-")), qPrintable(aside));
    QCOMPARE(readFile(places.to(aside)), QByteArray("old alerts\n"));
    QCOMPARE(modeOf(places.to(aside)), 0600);
}

void TestServiceFormerLayout::aLinkIsLeftAlone_data()
{
    QTest::addColumn<bool>("historyLog");
    QTest::newRow("history log") << true;
    QTest::newRow("state file") << false;
}

void TestServiceFormerLayout::aLinkIsLeftAlone()
{
    QFETCH(bool, historyLog);
    Places places;
    const QString target = places.from(QStringLiteral("elsewhere"));
    const QString from = places.from(QStringLiteral("velmora.log"));
    const QString to = places.to(QStringLiteral("velmora.log"));
    QVERIFY(writeFile(target, "not the service's\n"));
    QVERIFY(QFile::link(target, from));

    if (historyLog)
        formerlayout::moveHistoryLog(from, to);
    else
        formerlayout::moveStateFile(from, to);

    QVERIFY(QFileInfo(from).isSymLink());
    QCOMPARE(readFile(target), QByteArray("not the service's\n"));
    QCOMPARE(places.stateFolder(), QStringList());
}

void TestServiceFormerLayout::theSameFileStays()
{
    // A state folder chosen to be where the old file already is.
    Places places;
    const QString log = places.to(QStringLiteral("velmora.log"));
    QVERIFY(writeFile(log, "2026-12-09 08:15:02,203.0.113.7,192.168.1.20\r\n"));
    formerlayout::moveHistoryLog(places.to(QStringLiteral("./velmora.log")), log);
    QCOMPARE(readFile(log), QByteArray("2026-12-09 08:15:02,203.0.113.7,192.168.1.20\r\n"));
}

void TestServiceFormerLayout::anUnremovableFileIsNotCopied()
{
    if (::geteuid() == 0)
        QSKIP("root may change any folder");
    Places places;
    const QString from = places.from(QStringLiteral("velmora.log"));
    const QString to = places.to(QStringLiteral("velmora.log"));
    QVERIFY(writeFile(from, "2026-12-09 08:15:02,203.0.113.7,192.168.1.20\r\n"));
    const QString folder = QFileInfo(from).path();
    QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));

    formerlayout::moveHistoryLog(from, to);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // Copied each time and never removed, its lines would repeat at every start.
    QVERIFY(QFile::exists(from));
    QVERIFY(!QFile::exists(to));
}

QTEST_GUILESS_MAIN(TestServiceFormerLayout)
#include "tst_service_former_layout.moc"
