// A save on a full disk: each of the service's saved files keeps its old
// content whole, and the failure is logged as an error; the settings are
// written once there is room again, or at the latest when the service stops.
// The disk is a small tmpfs mounted over the file's folder, so the test needs
// root.
#include "ServiceLogCapture.h"
#include "support/EchoHttpServer.h"
#include "support/RunningService.h"

#include "service/addresses/RememberedAddresses.h"
#include "service/alerts/HistoryLog.h"
#include "service/alerts/PendingAlerts.h"
#include "service/base/BackgroundWriter.h"
#include "service/base/ServiceError.h"
#include "service/settings/SettingsStore.h"
#include "service_link/ServiceCommands.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using testfiles::readFile;

namespace {

// A 64 KiB tmpfs over a folder for as long as the object lives.
class SmallDisk
{
public:
    explicit SmallDisk(const QString& folder) : m_folder(QFile::encodeName(folder))
    {
        if (::mount("tmpfs", m_folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    "size=64k,mode=0700") != 0)
            m_error = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallDisk()
    {
        if (m_error.isEmpty())
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    QString error() const { return m_error; }

    // Takes every block that is left.
    bool fill() const
    {
        const int descriptor =
            ::open((m_folder + "/filler").constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (descriptor < 0)
            return false;
        const QByteArray block(4096, 'f');
        while (::write(descriptor, block.constData(), size_t(block.size())) > 0) {
        }
        // Then the last bytes of a partly used block.
        while (::write(descriptor, "f", 1) > 0) {
        }
        const bool full = errno == ENOSPC;
        ::close(descriptor);
        return full;
    }

private:
    QByteArray m_folder;
    QString m_error;
};

const Addresses OldAddresses{QStringLiteral("203.0.113.7"), QStringLiteral("192.0.2.20")};
const Addresses NewAddresses{QStringLiteral("198.51.100.23"), QStringLiteral("192.0.2.21")};

PendingAlerts::Change change(const Addresses& from, const Addresses& to)
{
    return {from,
            to,
            QDateTime(QDate(2026, 12, 10), QTime(14, 3, 7)),
            {QStringLiteral("e-mail"), QStringLiteral("text message")}};
}

SettingValues settingsFor(const QByteArray& recipient)
{
    return {{Setting::EmailAlerts, true},
            {Setting::Recipients, recipient},
            {Setting::SmtpPassword, QByteArray(3000, 'p')}};
}

// What the window sends for them.
QList<QByteArray> saveList(const SettingValues& values)
{
    AlertSettings settings;
    settings.set(values);
    return settings.toSaveList({});
}

} // namespace

class TestServiceFilesFullDisk : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void oldContentIsKept_data();
    void oldContentIsKept();
    void settingsAreWrittenOnceThereIsRoom_data();
    void settingsAreWrittenOnceThereIsRoom();
    void settingsSavedOnAFullDiskSurviveARestart();
    void historyLineIsWholeOrNotThere();

private:
    ServiceLogCapture m_log;
};

void TestServiceFilesFullDisk::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("mounting a small tmpfs needs root");
    // A mount of this process's own, gone with it whatever happens.
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        QSKIP(qPrintable(QStringLiteral("no mount namespace of its own: %1")
                             .arg(QString::fromLocal8Bit(std::strerror(errno)))));
}

void TestServiceFilesFullDisk::oldContentIsKept_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("settings.conf") << QStringLiteral("settings.conf");
    QTest::newRow("addresses") << QStringLiteral("addresses");
    QTest::newRow("pending-alerts") << QStringLiteral("pending-alerts");
}

void TestServiceFilesFullDisk::oldContentIsKept()
{
    QFETCH(QString, file);
    QTemporaryDir folder;
    const SmallDisk disk(folder.path());
    QVERIFY2(disk.error().isEmpty(), qPrintable(disk.error()));
    const QString path = folder.filePath(file);

    SettingsStore store(folder.path());
    QSignalSpy saveFailed(&store, &SettingsStore::saveFailed);
    const RememberedAddresses addresses(folder.path());
    const PendingAlerts pending(folder.path());
    const auto save = [&](bool newValues) {
        if (file == QLatin1String("settings.conf"))
            store.save(settingsFor(newValues ? "new@example.com" : "old@example.com"));
        else if (file == QLatin1String("addresses"))
            addresses.save(newValues ? NewAddresses : OldAddresses);
        else
            pending.save(newValues ? change(OldAddresses, NewAddresses)
                                   : change(NewAddresses, OldAddresses));
    };
    store.load();
    save(false);
    const QByteArray old = readFile(path);
    QVERIFY(!old.startsWith("<cannot read"));
    QVERIFY(disk.fill());
    m_log.take();

    save(true);
    QCOMPARE(readFile(path), old);
    const QByteArray logged = m_log.take();
    QVERIFY2(logged.startsWith("<3>cannot "), logged.constData());
    QVERIFY2(logged.contains(QFile::encodeName(path) + ": No space left on device; "),
             logged.constData());
    QCOMPARE(logged.count('\n'), 1);
    // No half-written file left beside it.
    QStringList left = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
    left.removeOne(QStringLiteral("filler"));
    QCOMPARE(left, QStringList{file});
    if (file == QLatin1String("settings.conf")) {
        QCOMPARE(saveFailed.size(), 1);
        QCOMPARE(saveFailed.first().first().toString().toLocal8Bit() + '\n', logged.mid(3));
        // The new values hold all the same until the service stops.
        QCOMPARE(store.settings().text(Setting::Recipients), QByteArray("new@example.com"));
    }
    // And where there is room again, the next save goes through.
    QVERIFY(QFile::remove(folder.filePath(QStringLiteral("filler"))));
    save(true);
    QVERIFY(readFile(path) != old);
    QCOMPARE(m_log.take(), QByteArray());
}

void TestServiceFilesFullDisk::settingsAreWrittenOnceThereIsRoom_data()
{
    QTest::addColumn<QString>("roomAgain"); // "soon", "at the stop", "never"
    QTest::newRow("room again while the service runs") << QStringLiteral("soon");
    QTest::newRow("room again by the stop") << QStringLiteral("at the stop");
    QTest::newRow("no room at the stop") << QStringLiteral("never");
}

void TestServiceFilesFullDisk::settingsAreWrittenOnceThereIsRoom()
{
    QFETCH(QString, roomAgain);
    QTemporaryDir folder;
    const SmallDisk disk(folder.path());
    QVERIFY2(disk.error().isEmpty(), qPrintable(disk.error()));
    SettingsStore store(folder.path());
    BackgroundWriter writer;
    store.setBackgroundWriter(&writer);
    QSignalSpy saveFailed(&store, &SettingsStore::saveFailed);
    store.load();
    store.save(settingsFor("old@example.com"));
    QTRY_VERIFY(readFile(store.filePath()).contains("\nrecipients=old@example.com\n"));
    QVERIFY(disk.fill());
    m_log.take();

    store.save(settingsFor("new@example.com"));
    QTRY_COMPARE(saveFailed.size(), 1);
    QVERIFY(readFile(store.filePath()).contains("\nrecipients=old@example.com\n"));
    const QByteArray path = QFile::encodeName(store.filePath());
    QVERIFY2(m_log.take().startsWith("<3>cannot write the settings file " + path +
                                     ": No space left on device; the file keeps the settings "
                                     "before, and the service tries again"),
             "not told");
    if (roomAgain != QLatin1String("never"))
        QVERIFY(QFile::remove(folder.filePath(QStringLiteral("filler"))));
    if (roomAgain == QLatin1String("soon")) {
        QTRY_VERIFY_WITH_TIMEOUT(
            readFile(store.filePath()).contains("\nrecipients=new@example.com\n"),
            testtime::scaled(5000));
        QCOMPARE(m_log.take(), "<5>wrote the settings file " + path + " at last\n");
    } else {
        store.finishWriting();
        const QByteArray logged = m_log.take();
        if (roomAgain == QLatin1String("never")) {
            QVERIFY(readFile(store.filePath()).contains("\nrecipients=old@example.com\n"));
            QCOMPARE(logged, "<3>the settings saved last could not be written to " + path +
                                 " (No space left on device): they are lost, and the next "
                                 "start finds the settings before\n");
        } else {
            QVERIFY(readFile(store.filePath()).contains("\nrecipients=new@example.com\n"));
            QCOMPARE(logged, "<5>wrote the settings file " + path + " at last\n");
        }
    }
    QCOMPARE(saveFailed.size(), 1);
}

void TestServiceFilesFullDisk::settingsSavedOnAFullDiskSurviveARestart()
{
    EchoHttpServer echo;
    echo.setAddress("203.0.113.7");
    RunningService service;
    const SmallDisk disk(service.configDir());
    QVERIFY2(disk.error().isEmpty(), qPrintable(disk.error()));
    QVERIFY2(service.start({echo.url()}), qPrintable(service.errorText()));
    service.save(saveList(settingsFor("old@example.com")));
    QTRY_VERIFY(readFile(service.settingsFile()).contains("\nrecipients=old@example.com\n"));
    QVERIFY(disk.fill());

    service.save(saveList(settingsFor("new@example.com")));
    QTRY_VERIFY(service.output().contains(QStringLiteral("cannot write the settings file")));
    QVERIFY(QFile::remove(service.configDir() + QStringLiteral("/filler")));
    service.stop();
    QVERIFY2(service.start({echo.url()}), qPrintable(service.errorText()));
    QCOMPARE(service.request(service::GetSettings).value(service::valueLine(Setting::Recipients)),
             QByteArray("new@example.com"));
}

void TestServiceFilesFullDisk::historyLineIsWholeOrNotThere()
{
    QTemporaryDir folder;
    const SmallDisk disk(folder.path());
    QVERIFY2(disk.error().isEmpty(), qPrintable(disk.error()));
    // Lines that leave ten bytes of the log's last block free: a new line
    // (44 bytes) fits only in part once the disk is full.
    const QByteArray line = "2026-12-09 08:15:02,203.0.113.9,192.168.1.20\r\n";
    QByteArray earlier;
    while (earlier.size() + line.size() <= 4096 - 10 - line.size())
        earlier += line;
    earlier += QByteArray(4096 - 10 - earlier.size() - 2, 'x') + "\r\n";
    const QString path = folder.filePath(QStringLiteral("velmora.log"));
    QVERIFY(testfiles::writeFile(path, earlier));
    QVERIFY(disk.fill());

    HistoryLog history(path);
    const QDateTime when(QDate(2026, 12, 10), QTime(14, 3, 7));
    QVERIFY_THROWS_EXCEPTION(ServiceError, history.append(when, NewAddresses));
    QCOMPARE(readFile(path), earlier);

    QVERIFY(QFile::remove(folder.filePath(QStringLiteral("filler"))));
    history.append(when, OldAddresses);
    QCOMPARE(readFile(path), earlier + "2026-12-10 14:03:07,203.0.113.7,192.0.2.20\r\n");
}

QTEST_GUILESS_MAIN(TestServiceFilesFullDisk)
#include "tst_service_files_full_disk.moc"
