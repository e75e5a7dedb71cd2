// The history file and its lock: the window empties and deletes the file under
// an exclusive flock(), and no line may be lost to that or land in a deleted file.
#include "service/alerts/HistoryLog.h"
#include "service/base/ServiceError.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {

const QDateTime When(QDate(2026, 12, 10), QTime(14, 3, 7));
const Addresses Changed{QStringLiteral("203.0.113.7"), QStringLiteral("192.0.2.20")};
const QByteArray Line("2026-12-10 14:03:07,203.0.113.7,192.0.2.20\r\n");

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The window's side: the file opened and locked as it does before emptying it.
class WindowLock
{
public:
    explicit WindowLock(const QString& path)
        : m_descriptor(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0666))
    {
        m_locked = m_descriptor >= 0 && ::flock(m_descriptor, LOCK_EX | LOCK_NB) == 0;
    }
    ~WindowLock() { release(); }
    bool isLocked() const { return m_locked; }
    void release()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = -1;
    }

private:
    int m_descriptor;
    bool m_locked = false;
};

} // namespace

class TestServiceHistory : public QObject
{
    Q_OBJECT
private slots:
    void appendsWholeLines();
    void waitsForTheWindowsLock();
    void startsANewFileWhenTheWindowDeletedIt();
    void givesUpOnALockHeldForLong();
    void reportsAFolderItCannotWriteTo();
};

void TestServiceHistory::appendsWholeLines()
{
    QTemporaryDir folder;
    HistoryLog log(folder.filePath(QStringLiteral("velmora.log")));
    QCOMPARE(HistoryLog::formatLine(When, Changed), Line);
    log.append(When, Changed);
    log.append(When, {QStringLiteral("198.51.100.23"), QString()});
    QCOMPARE(contents(log.path()), Line + "2026-12-10 14:03:07,198.51.100.23,\r\n");
}

void TestServiceHistory::waitsForTheWindowsLock()
{
    QTemporaryDir folder;
    HistoryLog log(folder.filePath(QStringLiteral("velmora.log")));
    WindowLock window(log.path());
    QVERIFY(window.isLocked());
    std::thread writer([&log] { log.append(When, Changed); });
    QTest::qSleep(50);
    QCOMPARE(contents(log.path()), QByteArray()); // nothing while the window holds it
    window.release();
    writer.join();
    QCOMPARE(contents(log.path()), Line);
}

void TestServiceHistory::startsANewFileWhenTheWindowDeletedIt()
{
    QTemporaryDir folder;
    HistoryLog log(folder.filePath(QStringLiteral("velmora.log")));
    WindowLock window(log.path());
    QVERIFY(window.isLocked());
    std::thread writer([&log] { log.append(When, Changed); });
    QTest::qSleep(30);
    QVERIFY(QFile::remove(log.path())); // the window deletes it, then lets go
    window.release();
    writer.join();
    QCOMPARE(contents(log.path()), Line);
}

void TestServiceHistory::givesUpOnALockHeldForLong()
{
    QTemporaryDir folder;
    HistoryLog log(folder.filePath(QStringLiteral("velmora.log")));
    WindowLock stuck(log.path());
    QVERIFY(stuck.isLocked());
    QVERIFY_THROWS_EXCEPTION(ServiceError, log.append(When, Changed));
}

void TestServiceHistory::reportsAFolderItCannotWriteTo()
{
    HistoryLog log(QStringLiteral("/nonexistent-folder/velmora.log"));
    QVERIFY_THROWS_EXCEPTION(ServiceError, log.append(When, Changed));
}

QTEST_GUILESS_MAIN(TestServiceHistory)
#include "tst_service_history.moc"
