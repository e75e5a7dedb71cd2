// The settings file as people edit it and as the service writes it: what each
// hand edit gives, that a line not understood costs only its own key, that
// today's files are read unchanged, and that edits are picked up while the
// store runs.
#include "ServiceLogCapture.h"

#include "service/BackgroundWriter.h"
#include "service/settings/SettingsFileFormat.h"
#include "service/settings/SettingsStore.h"
#include "support/Absence.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <memory>

using testfiles::readFile;
using testfiles::writeFile;

Q_DECLARE_METATYPE(AlertSettings)

namespace {

// The names today's service writes, in wire order.
const QList<QByteArray> FormerNames{
    "emailAlerts", "textAlerts", "runProgram", "ftpPage",      "recipients",   "smtpServer",
    "smtpPort",    "useSsl",     "needsLogin", "smtpUsername", "smtpPassword", "phoneNumber",
    "carrier",     "program",    "ftpHost",    "ftpUsername",  "ftpPassword",  "hideTrayIcon"};

// A file as today's service writes it.
QByteArray formerFile(const AlertSettings& settings)
{
    const QList<QByteArray> values = settings.toValues();
    QByteArray text = "velmora-service settings 1\n";
    for (int i = 0; i < AlertSettings::ValueCount; ++i)
        text += FormerNames[i] + '=' + values[i].toPercentEncoding() + '\n';
    return text;
}

QByteArray allBytesButLineFeed()
{
    QByteArray bytes;
    for (int b = 0; b < 256; ++b) {
        if (b != '\n')
            bytes.append(char(b));
    }
    return bytes;
}

AlertSettings awkwardSettings()
{
    AlertSettings awkward;
    awkward.emailAlerts = true;
    awkward.ftpPage = true;
    awkward.hideTrayIcon = true;
    awkward.recipients = "a@example.com, b@example.com";
    awkward.smtpServer = "  smtp.example.com  ";
    awkward.smtpPort = "twenty-five";
    awkward.smtpUsername = "name|with|bars";
    awkward.smtpPassword = "p\xe4ss w\xf6rd\r";
    awkward.phoneNumber = "\r\r";
    awkward.carrier = 2147483647;
    awkward.program = allBytesButLineFeed();
    awkward.ftpHost = "%41% \\x41 \\";
    awkward.ftpUsername = "=";
    awkward.ftpPassword = " ";
    return awkward;
}

AlertSettings with(const std::function<void(AlertSettings&)>& change)
{
    AlertSettings settings;
    change(settings);
    return settings;
}

} // namespace

class TestServiceSettingsFile : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void plainValuesAreWrittenPlainly();
    void handEdits_data();
    void handEdits();
    void rewriteKeepsWhatItDoesNotKnow();
    void rewriteLeavesCrashDebrisOut();
    void linkIsReadAndReplacedBySave();
    void formerFileIsWrittenAnew();
    void editsArePickedUp_data();
    void editsArePickedUp();
    void ownSaveIsNotAnEdit();
    void saveRightAfterAnEditKeepsIt();
    void editRightAfterASaveIsNotOverwritten_data();
    void editRightAfterASaveIsNotOverwritten();
    void desktopNotificationsFollowTheFile();

private:
    ServiceLogCapture m_log;
};

void TestServiceSettingsFile::roundTrip_data()
{
    QTest::addColumn<AlertSettings>("settings");
    QTest::addColumn<bool>("desktopNotifications");

    QTest::newRow("defaults") << AlertSettings() << true;
    QTest::newRow("every awkward byte") << awkwardSettings() << false;
    QTest::newRow("not UTF-8") << with([](AlertSettings& s) { s.smtpPassword = "p\xe9ss"; })
                               << true;
    QTest::newRow("a broken UTF-8 sequence")
        << with([](AlertSettings& s) { s.smtpPassword = "\xe2\x82 \xf0\x9f\x98"; }) << true;
    QTest::newRow("line separators") << with([](AlertSettings& s) {
        s.program = "a\xe2\x80\xa8"
                    "b\xc2\x85"
                    "c";
    }) << true;
    QTest::newRow("no carrier") << with([](AlertSettings& s) { s.carrier = -1; }) << true;
}

void TestServiceSettingsFile::roundTrip()
{
    QFETCH(AlertSettings, settings);
    QFETCH(bool, desktopNotifications);
    settingsfile::SettingsFile file;
    file.settings = settings;
    file.desktopNotifications = desktopNotifications;
    const QByteArray text = settingsfile::write(file);

    const settingsfile::SettingsFile back = settingsfile::read(text);
    QCOMPARE(back.problems, QStringList());
    QCOMPARE(back.settings, settings);
    QCOMPARE(back.desktopNotifications, desktopNotifications);
    // Also as an editor on another system leaves it.
    QCOMPARE(settingsfile::read(QByteArray(text).replace("\n", "\r\n")).settings, settings);
    // Every value on a line of its own.
    for (const QByteArray& line : text.split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#'))
            QVERIFY2(line.contains('='), line.constData());
    }
}

void TestServiceSettingsFile::plainValuesAreWrittenPlainly()
{
    settingsfile::SettingsFile file;
    file.settings.emailAlerts = true;
    file.settings.recipients = "carol@example.com, dave@example.com";
    file.settings.smtpServer = " mail.example.com";
    file.settings.smtpPassword = "gr\xc3\xbc\xc3\x9f"
                                 "e\\#1";
    file.settings.ftpPassword = "p\xe9ss";
    file.settings.carrier = 3;
    const QByteArray text = settingsfile::write(file);
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray& expected :
         {QByteArray("email-alerts=true"), QByteArray("text-alerts=false"),
          QByteArray("recipients=carol@example.com, dave@example.com"),
          QByteArray("smtp-server=\\smail.example.com"),
          QByteArray("smtp-password=gr\xc3\xbc\xc3\x9f"
                     "e\\\\#1"),
          QByteArray("ftp-password=p\\xE9ss"), QByteArray("carrier=3"),
          QByteArray("desktop-notifications=true")})
        QVERIFY2(lines.contains(expected), expected.constData());
}

void TestServiceSettingsFile::handEdits_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<AlertSettings>("expected");
    // What is logged and told, "{file}" for the file's path; "{aside}" where it was kept.
    QTest::addColumn<QStringList>("messages");

    const AlertSettings awkward = awkwardSettings();
    QTest::newRow("today's format") << formerFile(awkward) << awkward << QStringList();
    QTest::newRow("today's format, recipients edited by hand")
        << QByteArray(formerFile(AlertSettings()))
               .replace("recipients=\n", "recipients=carol@example.com\n")
        << with([](AlertSettings& s) { s.recipients = "carol@example.com"; }) << QStringList();
    QTest::newRow("today's format, a bad value")
        << QByteArray(formerFile(awkward)).replace("emailAlerts=-1", "emailAlerts=maybe")
        << with([&awkward](AlertSettings& s) {
               s = awkward;
               s.emailAlerts = false;
           })
        << QStringList{"{file}, line 2: \"maybe\" is not true or false; email-alerts keeps its "
                       "default"};
    QTest::newRow("today's format, cut short")
        << formerFile(awkward).left(formerFile(awkward).indexOf("needsLogin"))
        << with([&awkward](AlertSettings& s) {
               s.emailAlerts = awkward.emailAlerts;
               s.ftpPage = awkward.ftpPage;
               s.recipients = awkward.recipients;
               s.smtpServer = awkward.smtpServer;
               s.smtpPort = awkward.smtpPort;
               s.useSsl = awkward.useSsl;
           })
        << QStringList{"{file}, the file ends early: needs-login, smtp-username, smtp-password, "
                       "phone-number, carrier, program, ftp-host, ftp-username, ftp-password, "
                       "hide-tray-icon keep their defaults"};
    QTest::newRow("plain values")
        << QByteArray("email-alerts=true\nrecipients=carol@example.com, dave@example.com\n"
                      "smtp-server = mail.example.com\t\nsmtp-port=587\nuse-ssl=TRUE\n"
                      "smtp-password=se cret \\s\ncarrier=3\n")
        << with([](AlertSettings& s) {
               s.emailAlerts = true;
               s.recipients = "carol@example.com, dave@example.com";
               s.smtpServer = "mail.example.com";
               s.smtpPort = "587";
               s.useSsl = true;
               s.smtpPassword = "se cret  ";
               s.carrier = 3;
           })
        << QStringList();
    QTest::newRow("comments and blank lines")
        << QByteArray("# my mail\n\n   # indented comment\nsmtp-server=mail.example.com\n\n"
                      "  \t\n#smtp-server=old.example.com\n")
        << with([](AlertSettings& s) { s.smtpServer = "mail.example.com"; }) << QStringList();
    QTest::newRow("unknown keys")
        << QByteArray("colour=blue\nsmtp-server=mail.example.com\nsmtpServer=camel.example.com\n")
        << with([](AlertSettings& s) { s.smtpServer = "mail.example.com"; })
        << QStringList{"{file}, line 1: no setting is called \"colour\"; left as it is",
                       "{file}, line 3: no setting is called \"smtpServer\"; left as it is"};
    QTest::newRow("one bad value among good ones")
        << QByteArray("smtp-server=mail.example.com\nuse-ssl=maybe\nsmtp-port=465\n"
                      "carrier=three\nsmtp-password=a\\qb\nftp-host=\\x4\nneeds-login=true\n")
        << with([](AlertSettings& s) {
               s.smtpServer = "mail.example.com";
               s.smtpPort = "465";
               s.needsLogin = true;
           })
        << QStringList{
               "{file}, line 2: \"maybe\" is not true or false; use-ssl keeps its default",
               "{file}, line 4: \"three\" is not a whole number; carrier keeps its default",
               "{file}, line 5: an unknown escape \\q (write \\\\ for a backslash); smtp-password "
               "keeps its default",
               "{file}, line 6: \\x without two hex digits; ftp-host keeps its default"};
    QTest::newRow("a line without =")
        << QByteArray("smtp-server=mail.example.com\nrecipients carol@example.com\nuse-ssl=true\n")
        << with([](AlertSettings& s) {
               s.smtpServer = "mail.example.com";
               s.useSsl = true;
           })
        << QStringList{"{file}, line 2: not \"key=value\"; left as it is"};
    QTest::newRow("a key given twice")
        << QByteArray("smtp-server=first.example.com\nsmtp-server=second.example.com\n")
        << with([](AlertSettings& s) { s.smtpServer = "second.example.com"; })
        << QStringList{"{file}, line 2: smtp-server was given on line 1 already; this line counts"};
    QTest::newRow("cut short in a line")
        << QByteArray("smtp-server=mail.example.com\nuse-ssl=true\nsmtp-pass")
        << with([](AlertSettings& s) {
               s.smtpServer = "mail.example.com";
               s.useSsl = true;
           })
        << QStringList{"{file}, line 3: not \"key=value\"; left as it is"};
    QTest::newRow("from a Windows editor")
        << QByteArray("\xef\xbb\xbfsmtp-server=mail.example.com\r\nuse-ssl=true\r\n")
        << with([](AlertSettings& s) {
               s.smtpServer = "mail.example.com";
               s.useSsl = true;
           })
        << QStringList();
    QTest::newRow("raw bytes that are not UTF-8")
        << QByteArray("smtp-password=p\xe9ss\n")
        << with([](AlertSettings& s) { s.smtpPassword = "p\xe9ss"; }) << QStringList();
    QTest::newRow("empty") << QByteArray() << AlertSettings() << QStringList();
    QTest::newRow("a binary file")
        << QByteArray("\x7f"
                      "ELF\x02\x01\x01\x00\x00\x00smtp-server=x\n",
                      24)
        << AlertSettings()
        << QStringList{"the settings file {file} cannot be read (it is not a text file); kept it "
                       "as {aside} and started from the default settings"};
    QTest::newRow("control bytes")
        << QByteArray("\x01\x02 not settings at all \xff") << AlertSettings()
        << QStringList{"the settings file {file} cannot be read (it is not a text file); kept it "
                       "as {aside} and started from the default settings"};
    QTest::newRow("nothing but NULs")
        << QByteArray(4096, '\0') << AlertSettings()
        << QStringList{"the settings file {file} cannot be read (it is not a text file); kept it "
                       "as {aside} and started from the default settings"};
    // A stray control byte costs the line it is in, not the file.
    QTest::newRow("a form feed in a comment")
        << QByteArray("# mail\f\nsmtp-server=mail.example.com\n")
        << with([](AlertSettings& s) { s.smtpServer = "mail.example.com"; }) << QStringList();
    QTest::newRow("NULs after a crash")
        << QByteArray("smtp-server=mail.example.com\nuse-ssl=true\n") + QByteArray(600, '\0')
        << with([](AlertSettings& s) {
               s.smtpServer = "mail.example.com";
               s.useSsl = true;
           })
        << QStringList{"{file}, line 3: nothing but NUL bytes; left out"};
    QTest::newRow("NULs in a value")
        << QByteArray("smtp-server=mail.example.com\nsmtp-port=58\0\0\0\nuse-ssl=true\n", 58)
        << with([](AlertSettings& s) {
               s.smtpServer = "mail.example.com";
               s.useSsl = true;
           })
        << QStringList{"{file}, line 2: a control byte (0x00) in the value; smtp-port keeps its "
                       "default"};
    QTest::newRow("a form feed in a value")
        << QByteArray("recipients=carol@example.com\f\nsmtp-server=mail.example.com\n")
        << with([](AlertSettings& s) { s.smtpServer = "mail.example.com"; })
        << QStringList{"{file}, line 1: a control byte (0x0c) in the value; recipients keeps its "
                       "default"};
}

void TestServiceSettingsFile::handEdits()
{
    QFETCH(QByteArray, text);
    QFETCH(AlertSettings, expected);
    QFETCH(QStringList, messages);
    QTemporaryDir config;
    SettingsStore store(config.path());
    QVERIFY(writeFile(store.filePath(), text));
    // Private, as the service keeps it (one that others can read is told too:
    // tst_service_files).
    QVERIFY(QFile::setPermissions(store.filePath(), QFile::ReadOwner | QFile::WriteOwner));
    QSignalSpy told(&store, &SettingsStore::notUnderstood);
    m_log.take();

    store.load();
    QCOMPARE(store.settings(), expected);
    for (QString& message : messages)
        message.replace(QStringLiteral("{file}"), store.filePath())
            .replace(QStringLiteral("{aside}"), store.keptAsidePath());
    if (messages.isEmpty()) {
        QCOMPARE(told.size(), 0);
    } else {
        QCOMPARE(told.size(), 1);
        QCOMPARE(told.first().first().toString().split(u'\n'), messages);
    }
    QByteArray logged;
    for (const QString& message : std::as_const(messages))
        logged += "<4>" + message.toLocal8Bit() + '\n';
    QCOMPARE(m_log.take(), logged);
    if (!store.keptAsidePath().isEmpty())
        QCOMPARE(readFile(store.keptAsidePath()), text);
}

void TestServiceSettingsFile::rewriteKeepsWhatItDoesNotKnow()
{
    QTemporaryDir config;
    SettingsStore store(config.path());
    const QByteArray edited = "# my settings\n"
                              "colour = blue\n"
                              "\n"
                              "smtp-server = mail.example.com\n"
                              "use-ssl=maybe\n"
                              "a line of notes\n"
                              "smtp-server=again.example.com\n";
    QVERIFY(writeFile(store.filePath(), edited));
    store.load();

    AlertSettings changed = store.settings();
    changed.recipients = "carol@example.com";
    changed.useSsl = true;
    QVERIFY(store.save(changed));
    const QByteArray saved = readFile(store.filePath());
    QVERIFY2(saved.startsWith("# my settings\n"
                              "colour = blue\n"
                              "\n"
                              "smtp-server=again.example.com\n"
                              "use-ssl=true\n"
                              "a line of notes\n"
                              "email-alerts=false\n"),
             saved.constData());
    QVERIFY(saved.contains("\nrecipients=carol@example.com\n"));
    QCOMPARE(saved.count("smtp-server="), 1);
    QCOMPARE(testfiles::modeOf(store.filePath()), 0600);

    SettingsStore again(config.path());
    again.load();
    QCOMPARE(again.settings(), changed);
}

void TestServiceSettingsFile::rewriteLeavesCrashDebrisOut()
{
    QTemporaryDir config;
    SettingsStore store(config.path());
    QVERIFY(writeFile(store.filePath(),
                      QByteArray("# page\f two\nsmtp-port=58\0\0\n", 27) + QByteArray(4000, '\0')));
    store.load();
    QVERIFY(store.save(store.settings()));
    const QByteArray saved = readFile(store.filePath());
    QVERIFY2(saved.startsWith("# page\f two\nsmtp-port=25\n"),
             saved.toPercentEncoding().constData());
    QVERIFY(!saved.contains('\0'));
}

void TestServiceSettingsFile::linkIsReadAndReplacedBySave()
{
    // As a dotfile manager keeps it: a link to a file in a folder of its own.
    QTemporaryDir config;
    QTemporaryDir dotfiles;
    const QString kept = dotfiles.filePath(QStringLiteral("settings.conf"));
    const QByteArray text = "# mine\nsmtp-server=mail.example.com\n";
    QVERIFY(writeFile(kept, text));
    SettingsStore store(config.path());
    QVERIFY(QFile::link(kept, store.filePath()));
    QSignalSpy replaced(&store, &SettingsStore::linkReplaced);
    m_log.take();

    store.load();
    QCOMPARE(store.settings().smtpServer, QByteArray("mail.example.com"));
    QVERIFY(store.keptAsidePath().isEmpty());
    QVERIFY2(m_log.take().contains(QStringLiteral("the settings file %1 is a symbolic link to %2")
                                       .arg(store.filePath(), kept)
                                       .toLocal8Bit()),
             "the link is not told");

    // Edited where it points: read again.
    QVERIFY(writeFile(kept, "# mine\nsmtp-server=edited.example.com\n"));
    QTRY_COMPARE(store.settings().smtpServer, QByteArray("edited.example.com"));

    // A save never writes through the link: a file of its own takes its place.
    AlertSettings changed = store.settings();
    changed.smtpPassword = "s3cret";
    QVERIFY(store.save(changed));
    QCOMPARE(readFile(kept), QByteArray("# mine\nsmtp-server=edited.example.com\n"));
    QVERIFY(!QFileInfo(store.filePath()).isSymLink());
    QCOMPARE(testfiles::modeOf(store.filePath()), 0600);
    const QByteArray saved = readFile(store.filePath());
    QVERIFY2(saved.startsWith("# mine\nsmtp-server=edited.example.com\n"), saved.constData());
    QVERIFY(saved.contains("\nsmtp-password=s3cret\n"));
    QCOMPARE(replaced.size(), 1);
    QVERIFY2(m_log.take().contains("<4>" + replaced.first().first().toString().toLocal8Bit()),
             "the replaced link is not logged");
}

void TestServiceSettingsFile::formerFileIsWrittenAnew()
{
    QTemporaryDir config;
    SettingsStore store(config.path());
    AlertSettings settings;
    settings.smtpPassword = "p\xe9ss";
    settings.recipients = "carol@example.com";
    // A line added by hand that the earlier form does not know, named as in the new one.
    QVERIFY(writeFile(store.filePath(), formerFile(settings) + "smtp-server=hand.example.com\n"));
    store.load();
    QCOMPARE(store.settings(), settings);

    QVERIFY(store.save(store.settings()));
    const QByteArray saved = readFile(store.filePath());
    QVERIFY(!saved.contains("velmora-service settings 1"));
    QVERIFY(saved.contains("\nsmtp-password=p\\xE9ss\n"));
    QVERIFY(saved.contains("\nrecipients=carol@example.com\n"));
    // Kept, as a comment: it never counted.
    QVERIFY(saved.contains("\n# smtp-server=hand.example.com\n"));
    SettingsStore again(config.path());
    again.load();
    QCOMPARE(again.settings(), settings);
}

void TestServiceSettingsFile::editsArePickedUp_data()
{
    QTest::addColumn<bool>("inPlace"); // as an editor that writes into the file itself
    QTest::newRow("replaced by a rename") << false;
    QTest::newRow("written in place") << true;
}

void TestServiceSettingsFile::editsArePickedUp()
{
    QFETCH(bool, inPlace);
    QTemporaryDir config;
    SettingsStore store(config.path());
    QVERIFY(writeFile(store.filePath(), "smtp-server=before.example.com\n"));
    QList<AlertSettings> changes;
    store.setSavedHandler([&changes](const AlertSettings& s) { changes << s; });
    QSignalSpy told(&store, &SettingsStore::notUnderstood);
    store.load();
    m_log.take();

    const QByteArray edited = "smtp-server=after.example.com\nuse-ssl=maybe\n";
    if (inPlace) {
        QFile file(store.filePath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(edited), edited.size());
        file.close();
    } else {
        const QString next = config.filePath(QStringLiteral("settings.conf.new"));
        QVERIFY(writeFile(next, edited));
        QCOMPARE(std::rename(QFile::encodeName(next).constData(),
                             QFile::encodeName(store.filePath()).constData()),
                 0);
    }
    QTRY_COMPARE(changes.size(), 1);
    QCOMPARE(changes.first().smtpServer, QByteArray("after.example.com"));
    QCOMPARE(store.settings().smtpServer, QByteArray("after.example.com"));
    QCOMPARE(told.size(), 1);
    const QString problem =
        store.filePath() + QStringLiteral(", line 2: \"maybe\" is not true or false; use-ssl "
                                          "keeps its default");
    QCOMPARE(told.first().first().toString(), problem);
    QCOMPARE(m_log.take(), "<5>read the settings file " + QFile::encodeName(store.filePath()) +
                               " again: it was changed\n<4>" + problem.toLocal8Bit() + '\n');

    // And the next edit too: the watch follows the new file.
    QVERIFY(writeFile(store.filePath(), "smtp-server=third.example.com\n"));
    QTRY_COMPARE(changes.size(), 2);
    QCOMPARE(changes.last().smtpServer, QByteArray("third.example.com"));
}

void TestServiceSettingsFile::ownSaveIsNotAnEdit()
{
    QTemporaryDir config;
    SettingsStore store(config.path());
    int changes = 0;
    store.setSavedHandler([&changes](const AlertSettings&) { ++changes; });
    store.load();
    m_log.take();

    AlertSettings settings;
    settings.recipients = "carol@example.com";
    QVERIFY(store.save(settings));
    QVERIFY(store.save(settings));
    QCOMPARE(changes, 2);
    QVERIFY(neverWithin(1000, [&changes] { return changes > 2; }));
    QCOMPARE(m_log.take(), QByteArray());
}

void TestServiceSettingsFile::saveRightAfterAnEditKeepsIt()
{
    QTemporaryDir config;
    SettingsStore store(config.path());
    store.load();
    QVERIFY(store.save(AlertSettings()));
    QByteArray edited = readFile(store.filePath());
    edited.replace("desktop-notifications=true",
                   "desktop-notifications=false\n# mine\ncolour=blue");
    QVERIFY(writeFile(store.filePath(), edited));

    // Before the store has seen the edit.
    AlertSettings fromWindow;
    fromWindow.recipients = "carol@example.com";
    QVERIFY(store.save(fromWindow));
    const QByteArray saved = readFile(store.filePath());
    QVERIFY2(saved.contains("\ndesktop-notifications=false\n# mine\ncolour=blue\n"),
             saved.constData());
    QVERIFY(saved.contains("\nrecipients=carol@example.com\n"));
    QVERIFY(!store.desktopNotifications());
    QCOMPARE(store.settings(), fromWindow);
}

void TestServiceSettingsFile::editRightAfterASaveIsNotOverwritten_data()
{
    QTest::addColumn<bool>("inPlace"); // as an editor that writes into the file itself
    QTest::newRow("replaced by a rename") << false;
    QTest::newRow("written in place") << true;
}

void TestServiceSettingsFile::editRightAfterASaveIsNotOverwritten()
{
    QFETCH(bool, inPlace);
    QTemporaryDir config;
    QSemaphore writerBusy;
    QSemaphore writerFree;
    SettingsStore store(config.path());
    BackgroundWriter writer;
    store.setBackgroundWriter(&writer);
    store.load();
    QVERIFY(store.save(AlertSettings()));
    QTRY_VERIFY(readFile(store.filePath()).contains("\nsmtp-server=\n"));
    m_log.take();

    // The writer is busy for a moment: the save's write comes late.
    writer.postLatest([&] {
        writerBusy.release();
        writerFree.acquire();
    });
    writerBusy.acquire();
    AlertSettings fromWindow;
    fromWindow.smtpServer = "saved.example.com";
    QVERIFY(store.save(fromWindow));
    // An edit of the file a moment after the save.
    QByteArray edited = readFile(store.filePath());
    edited.replace("\nsmtp-server=\n", "\nsmtp-server=edited.example.com\n");
    if (inPlace) {
        QFile file(store.filePath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(edited), edited.size());
    } else {
        QVERIFY(writeFile(store.filePath() + QStringLiteral(".new"), edited));
        QCOMPARE(std::rename(QFile::encodeName(store.filePath() + QStringLiteral(".new")),
                             QFile::encodeName(store.filePath())),
                 0);
    }
    writerFree.release();

    // The edit is newer: it stays, and the store takes its values.
    QTRY_COMPARE(store.settings().smtpServer, QByteArray("edited.example.com"));
    QCOMPARE(readFile(store.filePath()), edited);
    QVERIFY(neverWithin(300, [&] { return readFile(store.filePath()) != edited; }));
    QVERIFY2(m_log.take().contains("<5>the settings file " + QFile::encodeName(store.filePath()) +
                                   " was edited while the settings saved last were being "
                                   "written: the edit is newer, and stays\n"),
             "not told");
}

void TestServiceSettingsFile::desktopNotificationsFollowTheFile()
{
    QTemporaryDir config;
    SettingsStore store(config.path());
    QVERIFY(writeFile(store.filePath(), "desktop-notifications=false\n"));
    QSignalSpy switched(&store, &SettingsStore::desktopNotificationsChanged);
    store.load();
    QVERIFY(!store.desktopNotifications());
    QCOMPARE(switched.size(), 0);

    // A save from the window leaves it as the file says.
    QVERIFY(store.save(AlertSettings()));
    QVERIFY(readFile(store.filePath()).split('\n').contains("desktop-notifications=false"));
    QVERIFY(!store.desktopNotifications());

    QByteArray text = readFile(store.filePath());
    QVERIFY(writeFile(store.filePath(),
                      text.replace("desktop-notifications=false", "desktop-notifications = true")));
    QTRY_COMPARE(switched.size(), 1);
    QCOMPARE(switched.first().first().toBool(), true);
    QVERIFY(store.desktopNotifications());

    // On by default.
    QTemporaryDir otherConfig;
    SettingsStore other(otherConfig.path());
    QVERIFY(writeFile(other.filePath(), "smtp-server=mail.example.com\n"));
    other.load();
    QVERIFY(other.desktopNotifications());
}

QTEST_GUILESS_MAIN(TestServiceSettingsFile)
#include "tst_service_settings_file.moc"
