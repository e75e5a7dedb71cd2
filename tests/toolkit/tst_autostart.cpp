#include "toolkit/AutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// The log-on start as the desktop's session starter reads it: the files in a
// user's and a system-wide autostart folder.
class TestAutostart : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void turnsOnAndOff_data();
    void turnsOnAndOff();
    void execQuotesWhatNeedsIt_data();
    void execQuotesWhatNeedsIt();
    void unwritableFolderIsReportedAndChangesNothing();
    void fifoInTheUsersPlaceIsNoEntry();

private:
    AutostartEntry entry(const QStringList& command = {"/usr/bin/velmora", "systray"}) const;
    void writeFile(const QString& path, const QByteArray& text) const;
    QByteArray userEntry() const;

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_user;
    QString m_system;
};

void TestAutostart::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_user = m_folder->filePath("config/autostart");
    m_system = m_folder->filePath("xdg/autostart");
}

void TestAutostart::fifoInTheUsersPlaceIsNoEntry()
{
    QVERIFY(QDir().mkpath(m_user));
    const QString path = m_user + "/example.velmora.Velmora.desktop";
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    // Should the FIFO be opened and waited on, a writer comes after 3 s, so
    // that the test fails instead of hanging.
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::atomic<bool> hadToRelease{false};
    std::thread releaser([&] {
        std::unique_lock lock(mutex);
        if (finished.wait_for(lock, std::chrono::seconds(3), [&] { return done; }))
            return;
        const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
            hadToRelease = true;
            ::close(writer);
        }
    });
    const bool enabled = entry().isEnabled();
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_all();
    releaser.join();
    QVERIFY(!hadToRelease);
    QVERIFY(!enabled);

    // Turning it on puts a real entry in its place.
    entry().setEnabled(true);
    QVERIFY(QFileInfo(path).isFile());
    QVERIFY(entry().isEnabled());
}

AutostartEntry TestAutostart::entry(const QStringList& command) const
{
    return AutostartEntry("example.velmora.Velmora", command, m_user,
                          {m_folder->filePath("none"), m_system});
}

void TestAutostart::writeFile(const QString& path, const QByteArray& text) const
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray TestAutostart::userEntry() const
{
    QFile file(m_user + "/example.velmora.Velmora.desktop");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestAutostart::turnsOnAndOff_data()
{
    QTest::addColumn<QByteArray>("systemEntry"); // empty: none
    QTest::addColumn<QByteArray>("userEntry");   // empty: none
    QTest::addColumn<bool>("enabledBefore");
    QTest::addColumn<bool>("enable");
    QTest::addColumn<bool>("userEntryAfter");
    QTest::addColumn<bool>("userEntryHidden");

    const QByteArray system = "[Desktop Entry]\nType=Application\nExec=velmora systray\n";
    const QByteArray hidden = system + "Hidden=true\n";
    const QByteArray gnomeOff = system + "X-GNOME-Autostart-enabled=false\n";
    const QByteArray otherGroupHidden = system + "[Desktop Action x]\nHidden=true\n";

    QTest::newRow("nothing, turned on")
        << QByteArray() << QByteArray() << false << true << true << false;
    QTest::newRow("nothing, turned off")
        << QByteArray() << QByteArray() << false << false << false << false;
    QTest::newRow("own entry, turned off")
        << QByteArray() << system << true << false << false << false;
    QTest::newRow("own hidden entry, turned on")
        << QByteArray() << hidden << false << true << true << false;
    QTest::newRow("switched off for GNOME")
        << QByteArray() << gnomeOff << false << true << true << false;
    QTest::newRow("Hidden in another group")
        << QByteArray() << otherGroupHidden << true << false << false << false;
    QTest::newRow("system-wide, turned off")
        << system << QByteArray() << true << false << true << true;
    QTest::newRow("system-wide, turned on")
        << system << QByteArray() << true << true << false << false;
    QTest::newRow("system-wide hidden by the user, turned on")
        << system << hidden << false << true << false << false;
    QTest::newRow("system-wide hidden itself, turned on")
        << hidden << QByteArray() << false << true << true << false;
}

void TestAutostart::turnsOnAndOff()
{
    QFETCH(QByteArray, systemEntry);
    QFETCH(QByteArray, userEntry);
    QFETCH(bool, enabledBefore);
    QFETCH(bool, enable);
    QFETCH(bool, userEntryAfter);
    QFETCH(bool, userEntryHidden);
    if (!systemEntry.isEmpty())
        writeFile(m_system + "/example.velmora.Velmora.desktop", systemEntry);
    if (!userEntry.isEmpty())
        writeFile(m_user + "/example.velmora.Velmora.desktop", userEntry);

    AutostartEntry autostart = entry();
    QCOMPARE(autostart.isEnabled(), enabledBefore);
    autostart.setEnabled(enable);
    QCOMPARE(autostart.isEnabled(), enable);
    QCOMPARE(entry().isEnabled(), enable); // as a later start of the program reads it
    const QByteArray after = this->userEntry();
    QCOMPARE(!after.isEmpty(), userEntryAfter);
    if (userEntryAfter) {
        QVERIFY(after.startsWith("[Desktop Entry]\n"));
        QVERIFY(after.contains("\nType=Application\n"));
        QVERIFY(after.contains("\nExec=/usr/bin/velmora systray\n"));
        QCOMPARE(after.contains("\nHidden=true\n"), userEntryHidden);
    }
}

void TestAutostart::execQuotesWhatNeedsIt_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QByteArray>("exec");
    QTest::newRow("plain") << "/usr/bin/velmora" << QByteArray("Exec=/usr/bin/velmora systray\n");
    QTest::newRow("blank") << "/home/a b/velmora"
                           << QByteArray("Exec=\"/home/a b/velmora\" systray\n");
    QTest::newRow("dollar and quote")
        << "/opt/$x\"y/velmora" << QByteArray("Exec=\"/opt/\\\\$x\\\\\"y/velmora\" systray\n");
}

void TestAutostart::execQuotesWhatNeedsIt()
{
    QFETCH(QString, program);
    QFETCH(QByteArray, exec);
    entry({program, "systray"}).setEnabled(true);
    QVERIFY2(userEntry().contains("\n" + exec), userEntry());
}

void TestAutostart::unwritableFolderIsReportedAndChangesNothing()
{
    // A file where the folder should be: no one, root included, can write there.
    writeFile(m_user, "not a folder");
    AutostartEntry autostart = entry();
    try {
        autostart.setEnabled(true);
        QFAIL("no error");
    } catch (const std::runtime_error& error) {
        QVERIFY2(QString::fromUtf8(error.what())
                     .startsWith("Could not change the log-on start: " + m_user),
                 error.what());
    }
    QVERIFY(!autostart.isEnabled());
}

QTEST_GUILESS_MAIN(TestAutostart)
#include "tst_autostart.moc"
