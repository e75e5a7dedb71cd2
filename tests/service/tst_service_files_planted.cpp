// Something else planted where the service keeps a file of its own: a symbolic
// link to another file, a FIFO, a link to /dev/zero, a folder, a 100 MB file.
// Nothing the link points to is written or emptied, nothing waits for ever or
// reads without end, and each case is told in its own words.
#include "ServiceLogCapture.h"

#include "service/addresses/RememberedAddresses.h"
#include "service/alerts/HistoryLog.h"
#include "service/alerts/PendingAlerts.h"
#include "service/base/ServiceError.h"
#include "service/base/ServiceLog.h"
#include "service/settings/CarrierList.h"
#include "service/settings/EchoUrlList.h"
#include "service/settings/SettingsStore.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using testfiles::modeOf;
using testfiles::readFile;
using testfiles::writeFile;

namespace {

const QByteArray Precious("precious, not the service's\n");
constexpr qint64 HundredMegabytes = 100 * 1024 * 1024;

enum class Planted
{
    LinkToAFile,
    Fifo,
    LinkToDevZero,
    Folder,
    HugeFile
};

// Puts `planted` at path; the file a link points to is `outside`.
bool plant(Planted planted, const QString& path, const QString& outside)
{
    const QByteArray name = QFile::encodeName(path);
    switch (planted) {
    case Planted::LinkToAFile:
        return ::symlink(QFile::encodeName(outside).constData(), name.constData()) == 0;
    case Planted::Fifo:
        return ::mkfifo(name.constData(), 0600) == 0;
    case Planted::LinkToDevZero:
        return ::symlink("/dev/zero", name.constData()) == 0;
    case Planted::Folder:
        return QDir().mkdir(path);
    case Planted::HugeFile: {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.resize(HundredMegabytes);
    }
    }
    return false;
}

// A blocking open or an endless read ends the test instead of holding it.
class Watchdog
{
public:
    Watchdog() { ::alarm(20); }
    ~Watchdog() { ::alarm(0); }
};

} // namespace

Q_DECLARE_METATYPE(Planted)

class TestServiceFilesPlanted : public QObject
{
    Q_OBJECT
private slots:
    void nothingIsWrittenThrough_data();
    void nothingIsWrittenThrough();
    void logStartedByHandIsMadePrivate();

private:
    ServiceLogCapture m_log;
};

void TestServiceFilesPlanted::nothingIsWrittenThrough_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Planted>("planted");
    // What is told, "{path}" for the file's path.
    QTest::addColumn<QString>("told");

    const QList<std::pair<const char*, Planted>> plantings{
        {"link to a file", Planted::LinkToAFile},
        {"FIFO", Planted::Fifo},
        {"link to /dev/zero", Planted::LinkToDevZero},
        {"folder", Planted::Folder},
        {"100 MB file", Planted::HugeFile}};
    const auto kind = [](Planted planted) {
        switch (planted) {
        case Planted::LinkToAFile:
        case Planted::LinkToDevZero:
            return QStringLiteral("it is a symbolic link, not a file");
        case Planted::Fifo:
            return QStringLiteral("it is a FIFO, not a file");
        case Planted::Folder:
            return QStringLiteral("it is a folder, not a file");
        case Planted::HugeFile:
            break;
        }
        return QString();
    };
    const auto tooLarge = [](qint64 limit) {
        return QStringLiteral("it is larger than %1 bytes (%2 bytes)")
            .arg(limit)
            .arg(HundredMegabytes);
    };

    for (const auto& [name, planted] : plantings) {
        // A link (as dotfile managers make) is read where it points, and a save
        // puts a file of the service's own in its place.
        const QString why = planted == Planted::HugeFile        ? tooLarge(4 * 1024 * 1024)
                            : planted == Planted::LinkToDevZero ? QStringLiteral("it is a device, "
                                                                                 "not a file")
                                                                : kind(planted);
        QTest::addRow("settings.conf, %s", name)
            << QStringLiteral("settings.conf") << planted
            << (planted == Planted::LinkToAFile
                    ? QStringLiteral("<4>the settings file {path} was a symbolic link to ")
                    : QStringLiteral("<4>the settings file {path} cannot be read (%1); kept it "
                                     "as {path}.damaged-")
                          .arg(why));
    }
    for (const auto& [name, planted] : plantings) {
        QTest::addRow("addresses, %s", name)
            << QStringLiteral("addresses") << planted
            << (planted == Planted::Folder
                    ? QStringLiteral("<3>cannot keep the addresses in {path}: it is a folder, not "
                                     "a file; the file keeps the ones before")
                    : QStringLiteral("<4>cannot read the remembered addresses {path} (%1); the "
                                     "addresses count as unknown")
                          .arg(planted == Planted::HugeFile ? tooLarge(4096) : kind(planted)));
    }
    for (const auto& [name, planted] : plantings) {
        QTest::addRow("pending-alerts, %s", name)
            << QStringLiteral("pending-alerts") << planted
            << (planted == Planted::Folder
                    ? QStringLiteral("<3>cannot keep the pending alerts in {path}: it is a folder, "
                                     "not a file; the file keeps the ones before")
                    : QStringLiteral("<4>cannot read the pending alerts {path} (%1); no alert is "
                                     "resumed")
                          .arg(planted == Planted::HugeFile ? tooLarge(4096) : kind(planted)));
    }
    for (const auto& [name, planted] : plantings) {
        // A large log is still the log: the line goes at its end.
        QTest::addRow("velmora.log, %s", name)
            << QStringLiteral("velmora.log") << planted
            << (planted == Planted::HugeFile
                    ? QString()
                    : QStringLiteral("cannot write to the history log {path}: %1")
                          .arg(kind(planted)));
    }
    // Lists the user keeps: a link is followed, to a regular file only.
    const auto listTold = [&](Planted planted, qint64 limit, const QString& fallback,
                              const QString& lineIssue) {
        switch (planted) {
        case Planted::LinkToAFile:
            return QStringLiteral("<4>{path}, line 1: ") + lineIssue;
        case Planted::LinkToDevZero:
            return QStringLiteral("<4>cannot read {path} (it is a device, not a file); ") +
                   fallback;
        case Planted::HugeFile:
            return QStringLiteral("<4>cannot read {path} (%1); ").arg(tooLarge(limit)) + fallback;
        case Planted::Fifo:
        case Planted::Folder:
            break;
        }
        return QStringLiteral("<4>cannot read {path} (%1); ").arg(kind(planted)) + fallback;
    };
    for (const auto& [name, planted] : plantings) {
        QTest::addRow("carriers.txt, %s", name)
            << QStringLiteral("carriers.txt") << planted
            << listTold(planted, 1024 * 1024, QStringLiteral("using the built-in carrier list"),
                        QStringLiteral("a carrier line needs \"name|gateway\"; left out"));
    }
    for (const auto& [name, planted] : plantings) {
        QTest::addRow("echo-urls.txt, %s", name)
            << QStringLiteral("echo-urls.txt") << planted
            << listTold(planted, 64 * 1024, QStringLiteral("using the built-in echo services"),
                        QStringLiteral("not an http or https URL; left out"));
    }
}

void TestServiceFilesPlanted::nothingIsWrittenThrough()
{
    QFETCH(QString, file);
    QFETCH(Planted, planted);
    QFETCH(QString, told);
    QTemporaryDir folder;
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("precious"));
    QVERIFY(writeFile(outside, Precious));
    QVERIFY(::chmod(QFile::encodeName(outside).constData(), 0644) == 0);
    const QString path = folder.filePath(file);
    QVERIFY(plant(planted, path, outside));
    m_log.take();

    {
        const Watchdog watchdog;
        const Addresses addresses{QStringLiteral("203.0.113.7"), QStringLiteral("192.0.2.20")};
        if (file == QLatin1String("settings.conf")) {
            SettingsStore store(folder.path());
            store.load();
            QCOMPARE(store.settings(), AlertSettings());
            QVERIFY(store.save({{Setting::Recipients, QByteArray("carol@example.com")}}));
        } else if (file == QLatin1String("addresses")) {
            const RememberedAddresses remembered(folder.path());
            QCOMPARE(remembered.load(), Addresses());
            remembered.save(addresses);
        } else if (file == QLatin1String("pending-alerts")) {
            const PendingAlerts pending(folder.path());
            QVERIFY(!pending.load());
            pending.save({{}, addresses, QDateTime::currentDateTime(), {QStringLiteral("e-mail")}});
        } else if (file == QLatin1String("velmora.log")) {
            try {
                HistoryLog(path).append(QDateTime::currentDateTime(), addresses);
                logLine(LogLevel::Info, QStringLiteral("appended"));
            } catch (const ServiceError& e) {
                logLine(LogLevel::Error, QString::fromLocal8Bit(e.what()));
            }
        } else if (file == QLatin1String("carriers.txt")) {
            // The built-in list, or the lines of the file linked to (none).
            const QList<QByteArray> list = carriers::load(folder.path());
            QVERIFY(planted == Planted::LinkToAFile ? list.isEmpty() : list.size() >= 20);
        } else {
            QCOMPARE(echourls::load(folder.path()), echourls::builtIn());
        }
    }

    QCOMPARE(readFile(outside), Precious);
    QCOMPARE(modeOf(outside), 0644);
    const QByteArray logged = m_log.take();
    if (told.isEmpty()) {
        QCOMPARE(logged, QByteArray("<6>appended\n"));
        QCOMPARE(QFileInfo(path).size(), HundredMegabytes + 44);
    } else {
        QVERIFY2(
            logged.contains(told.replace(QStringLiteral("{path}"), path).toLocal8Bit()),
            qPrintable(QStringLiteral("%1\nnot in:\n%2").arg(told, QString::fromUtf8(logged))));
    }
    // Where the service keeps the file itself, its own regular file replaces
    // what was planted (a folder, which nothing replaces unseen, aside).
    if (file == QLatin1String("settings.conf") ||
        (planted != Planted::Folder &&
         (file == QLatin1String("addresses") || file == QLatin1String("pending-alerts")))) {
        QVERIFY(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink());
        QCOMPARE(modeOf(path), 0600);
    }
}

void TestServiceFilesPlanted::logStartedByHandIsMadePrivate()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("velmora.log"));
    QVERIFY(writeFile(path, "2026-12-09 08:15:02,203.0.113.9,192.168.1.20\r\n"));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
    HistoryLog(path).append(QDateTime(QDate(2026, 12, 10), QTime(14, 3, 7)),
                            {QStringLiteral("203.0.113.7"), QStringLiteral("192.0.2.20")});
    QCOMPARE(modeOf(path), 0600);
    QCOMPARE(readFile(path), QByteArray("2026-12-09 08:15:02,203.0.113.9,192.168.1.20\r\n"
                                        "2026-12-10 14:03:07,203.0.113.7,192.0.2.20\r\n"));
}

QTEST_GUILESS_MAIN(TestServiceFilesPlanted)
#include "tst_service_files_planted.moc"
