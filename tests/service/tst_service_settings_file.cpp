// The settings file as people edit it and as the service writes it: what each
// hand edit gives, that a line not understood costs only its own key, that
// today's files are read unchanged, and that edits are picked up while the
// store runs.
#include "ServiceLogCapture.h"

#include "service/base/BackgroundWriter.h"
#include "service/settings/SettingsFileFormat.h"
#include "service/settings/SettingsStore.h"
#include "support/Absence.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"

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

// The carrier list the window is given; a name in it may hold "|".
const QList<QByteArray> Carriers{"First", "Second", "Third|Quoted", "Fourth"};

// A file as the service wrote it before this form: the 18 values as the link
// spells them (the carrier as its position), in wire order.
QByteArray formerFile(const AlertSettings& settings)
{
    QByteArray text = "velmora-service settings 1\n";
    for (int position = 1; position <= settingtable::WireValueCount; ++position) {
        const Setting setting = settingtable::atWirePosition(position);
        text += QByteArray(settingtable::info(setting).formerFileKey) + '=' +
                settings.linkValue(setting, Carriers).toPercentEncoding() + '\n';
    }
    return text;
}

// What a save from the window brings: the 18 values.
SettingValues fromWindow(const AlertSettings& settings)
{
    return AlertSettings::fromSaveList(settings.toSaveList(Carriers), Carriers);
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
    awkward.set(Setting::EmailAlerts, true);
    awkward.set(Setting::FtpPage, true);
    awkward.set(Setting::HideTrayIcon, true);
    awkward.set(Setting::Recipients, QByteArray("a@example.com, b@example.com"));
    awkward.set(Setting::SmtpServer, QByteArray("  smtp.example.com  "));
    awkward.set(Setting::SmtpPort, QByteArray("twenty-five"));
    awkward.set(Setting::SmtpUsername, QByteArray("name|with|bars"));
    awkward.set(Setting::SmtpPassword, QByteArray("p\xe4ss w\xf6rd\r"));
    awkward.set(Setting::PhoneNumber, QByteArray("\r\r"));
    awkward.set(Setting::Carrier, QByteArray("Third|Quoted"));
    awkward.set(Setting::Program, allBytesButLineFeed());
    awkward.set(Setting::FtpHost, QByteArray("%41% \\x41 \\"));
    awkward.set(Setting::FtpUsername, QByteArray("="));
    awkward.set(Setting::FtpPassword, QByteArray(" "));
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
    void editorsMarkIsKept();
    void editsArePickedUp_data();
    void editsArePickedUp();
    void ownSaveIsNotAnEdit();
    void saveRightAfterAnEditKeepsIt();
    void editRightAfterASaveIsNotOverwritten_data();
    void editRightAfterASaveIsNotOverwritten();
    void desktopNotificationsFollowTheFile();
    void desktopNotificationsFromTheWindow();
    void carrierIsKeptByName_data();
    void carrierIsKeptByName();
    void missingCarrierStaysAndIsLoggedOnce();

private:
    ServiceLogCapture m_log;
};

void TestServiceSettingsFile::roundTrip_data()
{
    QTest::addColumn<AlertSettings>("settings");

    QTest::newRow("defaults") << AlertSettings();
    QTest::newRow("every awkward byte") << with([](AlertSettings& s) {
        s = awkwardSettings();
        s.set(Setting::DesktopNotifications, false);
    });
    QTest::newRow("not UTF-8") << with(
        [](AlertSettings& s) { s.set(Setting::SmtpPassword, QByteArray("p\xe9ss")); });
    QTest::newRow("a broken UTF-8 sequence") << with([](AlertSettings& s) {
        s.set(Setting::SmtpPassword, QByteArray("\xe2\x82 \xf0\x9f\x98"));
    });
    QTest::newRow("line separators") << with([](AlertSettings& s) {
        s.set(Setting::Program, QByteArray("a\xe2\x80\xa8"
                                           "b\xc2\x85"
                                           "c"));
    });
    QTest::newRow("no carrier") << with(
        [](AlertSettings& s) { s.set(Setting::Carrier, QByteArray()); });
    QTest::newRow("a carrier the list does not have")
        << with([](AlertSettings& s) { s.set(Setting::Carrier, QByteArray("Gone")); });
    QTest::newRow("a carrier whose name is a number")
        << with([](AlertSettings& s) { s.set(Setting::Carrier, QByteArray("12")); });
}

void TestServiceSettingsFile::roundTrip()
{
    QFETCH(AlertSettings, settings);
    settingsfile::SettingsFile file;
    file.settings = settings;
    const QByteArray text = settingsfile::write(file);

    const settingsfile::SettingsFile back = settingsfile::read(text, Carriers);
    QCOMPARE(back.problems, QStringList());
    QCOMPARE(back.settings, settings);
    // Also as an editor on another system leaves it.
    QCOMPARE(settingsfile::read(QByteArray(text).replace("\n", "\r\n"), Carriers).settings,
             settings);
    // Every value on a line of its own.
    for (const QByteArray& line : text.split('\n')) {
        if (!line.isEmpty() && !line.startsWith('#'))
            QVERIFY2(line.contains('='), line.constData());
    }
}

void TestServiceSettingsFile::plainValuesAreWrittenPlainly()
{
    settingsfile::SettingsFile file;
    file.settings.set(Setting::EmailAlerts, true);
    file.settings.set(Setting::Recipients, QByteArray("carol@example.com, dave@example.com"));
    file.settings.set(Setting::SmtpServer, QByteArray(" mail.example.com"));
    file.settings.set(Setting::SmtpPassword, QByteArray("gr\xc3\xbc\xc3\x9f"
                                                        "e\\#1"));
    file.settings.set(Setting::FtpPassword, QByteArray("p\xe9ss"));
    file.settings.set(Setting::Carrier, QByteArray("Third|Quoted"));
    const QByteArray text = settingsfile::write(file);
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray& expected :
         {QByteArray("email-alerts=true"), QByteArray("text-alerts=false"),
          QByteArray("recipients=carol@example.com, dave@example.com"),
          QByteArray("smtp-server=\\smail.example.com"),
          QByteArray("smtp-password=gr\xc3\xbc\xc3\x9f"
                     "e\\\\#1"),
          QByteArray("ftp-password=p\\xE9ss"), QByteArray("carrier=Third|Quoted"),
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
        << with([](AlertSettings& s) {
               s.set(Setting::Recipients, QByteArray("carol@example.com"));
           })
        << QStringList();
    QTest::newRow("today's format, a bad value")
        << QByteArray(formerFile(awkward)).replace("emailAlerts=-1", "emailAlerts=maybe")
        << with([&awkward](AlertSettings& s) {
               s = awkward;
               s.set(Setting::EmailAlerts, false);
           })
        << QStringList{"{file}, line 2: \"maybe\" is not true or false; email-alerts keeps its "
                       "default"};
    QTest::newRow("today's format, cut short")
        << formerFile(awkward).left(formerFile(awkward).indexOf("needsLogin"))
        << with([&awkward](AlertSettings& s) {
               s.set(Setting::EmailAlerts, awkward.isOn(Setting::EmailAlerts));
               s.set(Setting::FtpPage, awkward.isOn(Setting::FtpPage));
               s.set(Setting::Recipients, awkward.text(Setting::Recipients));
               s.set(Setting::SmtpServer, awkward.text(Setting::SmtpServer));
               s.set(Setting::SmtpPort, awkward.text(Setting::SmtpPort));
               s.set(Setting::UseSsl, awkward.isOn(Setting::UseSsl));
           })
        << QStringList{"{file}, the file ends early: needs-login, smtp-username, smtp-password, "
                       "phone-number, carrier, program, ftp-host, ftp-username, ftp-password, "
                       "hide-tray-icon keep their defaults"};
    QTest::newRow("plain values")
        << QByteArray("email-alerts=true\nrecipients=carol@example.com, dave@example.com\n"
                      "smtp-server = mail.example.com\t\nsmtp-port=587\nuse-ssl=TRUE\n"
                      "smtp-password=se cret \\s\ncarrier=3\n")
        << with([](AlertSettings& s) {
               s.set(Setting::EmailAlerts, true);
               s.set(Setting::Recipients, QByteArray("carol@example.com, dave@example.com"));
               s.set(Setting::SmtpServer, QByteArray("mail.example.com"));
               s.set(Setting::SmtpPort, QByteArray("587"));
               s.set(Setting::UseSsl, true);
               s.set(Setting::SmtpPassword, QByteArray("se cret  "));
               s.set(Setting::Carrier, QByteArray("Fourth"));
           })
        << QStringList();
    QTest::newRow("comments and blank lines")
        << QByteArray("# my mail\n\n   # indented comment\nsmtp-server=mail.example.com\n\n"
                      "  \t\n#smtp-server=old.example.com\n")
        << with(
               [](AlertSettings& s) { s.set(Setting::SmtpServer, QByteArray("mail.example.com")); })
        << QStringList();
    QTest::newRow("unknown keys")
        << QByteArray("colour=blue\nsmtp-server=mail.example.com\nsmtpServer=camel.example.com\n")
        << with(
               [](AlertSettings& s) { s.set(Setting::SmtpServer, QByteArray("mail.example.com")); })
        << QStringList{"{file}, line 1: no setting is called \"colour\"; left as it is",
                       "{file}, line 3: no setting is called \"smtpServer\"; left as it is"};
    QTest::newRow("one bad value among good ones")
        << QByteArray("smtp-server=mail.example.com\nuse-ssl=maybe\nsmtp-port=465\n"
                      "desktop-notifications=no\nsmtp-password=a\\qb\nftp-host=\\x4\n"
                      "needs-login=true\n")
        << with([](AlertSettings& s) {
               s.set(Setting::SmtpServer, QByteArray("mail.example.com"));
               s.set(Setting::SmtpPort, QByteArray("465"));
               s.set(Setting::NeedsLogin, true);
           })
        << QStringList{
               "{file}, line 2: \"maybe\" is not true or false; use-ssl keeps its default",
               "{file}, line 4: \"no\" is not true or false; desktop-notifications keeps its "
               "default",
               "{file}, line 5: an unknown escape \\q (write \\\\ for a backslash); smtp-password "
               "keeps its default",
               "{file}, line 6: \\x without two hex digits; ftp-host keeps its default"};
    QTest::newRow("a line without =")
        << QByteArray("smtp-server=mail.example.com\nrecipients carol@example.com\nuse-ssl=true\n")
        << with([](AlertSettings& s) {
               s.set(Setting::SmtpServer, QByteArray("mail.example.com"));
               s.set(Setting::UseSsl, true);
           })
        << QStringList{"{file}, line 2: not \"key=value\"; left as it is"};
    QTest::newRow("a key given twice")
        << QByteArray("smtp-server=first.example.com\nsmtp-server=second.example.com\n")
        << with([](AlertSettings& s) {
               s.set(Setting::SmtpServer, QByteArray("second.example.com"));
           })
        << QStringList{"{file}, line 2: smtp-server was given on line 1 already; this line counts"};
    QTest::newRow("cut short in a line")
        << QByteArray("smtp-server=mail.example.com\nuse-ssl=true\nsmtp-pass")
        << with([](AlertSettings& s) {
               s.set(Setting::SmtpServer, QByteArray("mail.example.com"));
               s.set(Setting::UseSsl, true);
           })
        << QStringList{"{file}, line 3: not \"key=value\"; left as it is"};
    QTest::newRow("from a Windows editor")
        << QByteArray("\xef\xbb\xbfsmtp-server=mail.example.com\r\nuse-ssl=true\r\n")
        << with([](AlertSettings& s) {
               s.set(Setting::SmtpServer, QByteArray("mail.example.com"));
               s.set(Setting::UseSsl, true);
           })
        << QStringList();
    QTest::newRow("raw bytes that are not UTF-8")
        << QByteArray("smtp-password=p\xe9ss\n")
        << with([](AlertSettings& s) { s.set(Setting::SmtpPassword, QByteArray("p\xe9ss")); })
        << QStringList();
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
        << QByteArray("# mail\f\nsmtp-server=mail.example.com\n") << with([](AlertSettings& s) {
               s.set(Setting::SmtpServer, QByteArray("mail.example.com"));
           })
        << QStringList();
    QTest::newRow("NULs after a crash")
        << QByteArray("smtp-server=mail.example.com\nuse-ssl=true\n") + QByteArray(600, '\0')
        << with([](AlertSettings& s) {
               s.set(Setting::SmtpServer, QByteArray("mail.example.com"));
               s.set(Setting::UseSsl, true);
           })
        << QStringList{"{file}, line 3: nothing but NUL bytes; left out"};
    QTest::newRow("NULs in a value")
        << QByteArray("smtp-server=mail.example.com\nsmtp-port=58\0\0\0\nuse-ssl=true\n", 58)
        << with([](AlertSettings& s) {
               s.set(Setting::SmtpServer, QByteArray("mail.example.com"));
               s.set(Setting::UseSsl, true);
           })
        << QStringList{"{file}, line 2: a control byte (0x00) in the value; smtp-port keeps its "
                       "default"};
    QTest::newRow("a form feed in a value")
        << QByteArray("recipients=carol@example.com\f\nsmtp-server=mail.example.com\n")
        << with(
               [](AlertSettings& s) { s.set(Setting::SmtpServer, QByteArray("mail.example.com")); })
        << QStringList{"{file}, line 1: a control byte (0x0c) in the value; recipients keeps its "
                       "default"};
}

void TestServiceSettingsFile::handEdits()
{
    QFETCH(QByteArray, text);
    QFETCH(AlertSettings, expected);
    QFETCH(QStringList, messages);
    QTemporaryDir config;
    SettingsStore store(config.path(), Carriers);
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
    SettingsStore store(config.path(), Carriers);
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
    changed.set(Setting::Recipients, QByteArray("carol@example.com"));
    changed.set(Setting::UseSsl, true);
    QVERIFY(store.save(fromWindow(changed)));
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

    SettingsStore again(config.path(), Carriers);
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
    QVERIFY(store.save(fromWindow(store.settings())));
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
    QCOMPARE(store.settings().text(Setting::SmtpServer), QByteArray("mail.example.com"));
    QVERIFY(store.keptAsidePath().isEmpty());
    QVERIFY2(m_log.take().contains(QStringLiteral("the settings file %1 is a symbolic link to %2")
                                       .arg(store.filePath(), kept)
                                       .toLocal8Bit()),
             "the link is not told");

    // Edited where it points: read again.
    QVERIFY(writeFile(kept, "# mine\nsmtp-server=edited.example.com\n"));
    QTRY_COMPARE(store.settings().text(Setting::SmtpServer), QByteArray("edited.example.com"));

    // A save never writes through the link: a file of its own takes its place.
    AlertSettings changed = store.settings();
    changed.set(Setting::SmtpPassword, QByteArray("s3cret"));
    QVERIFY(store.save(fromWindow(changed)));
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
    SettingsStore store(config.path(), Carriers);
    AlertSettings settings;
    settings.set(Setting::SmtpPassword, QByteArray("p\xe9ss"));
    settings.set(Setting::Recipients, QByteArray("carol@example.com"));
    // A line added by hand that the earlier form does not know, named as in the new one.
    QVERIFY(writeFile(store.filePath(), formerFile(settings) + "smtp-server=hand.example.com\n"));
    store.load();
    QCOMPARE(store.settings(), settings);

    QVERIFY(store.save(fromWindow(store.settings())));
    const QByteArray saved = readFile(store.filePath());
    QVERIFY(!saved.contains("velmora-service settings 1"));
    QVERIFY(saved.contains("\nsmtp-password=p\\xE9ss\n"));
    QVERIFY(saved.contains("\nrecipients=carol@example.com\n"));
    // Kept, as a comment: it never counted.
    QVERIFY(saved.contains("\n# smtp-server=hand.example.com\n"));
    SettingsStore again(config.path(), Carriers);
    again.load();
    QCOMPARE(again.settings(), settings);
}

void TestServiceSettingsFile::editorsMarkIsKept()
{
    // A mark, and a first line that starts with another (it is not a setting).
    const QByteArray mark = "\xef\xbb\xbf";
    const QByteArray text = mark + mark + "notes\nsmtp-server=mail.example.com\n";
    const settingsfile::SettingsFile file = settingsfile::read(text, Carriers);
    QCOMPARE(file.settings.text(Setting::SmtpServer), QByteArray("mail.example.com"));
    const QByteArray written = settingsfile::write(file);
    QVERIFY(written.startsWith(mark + mark + "notes\nsmtp-server=mail.example.com\n"));
    // Written again, the same bytes.
    QCOMPARE(settingsfile::write(settingsfile::read(written, Carriers)), written);
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
    SettingsStore store(config.path(), Carriers);
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
    QCOMPARE(changes.first().text(Setting::SmtpServer), QByteArray("after.example.com"));
    QCOMPARE(store.settings().text(Setting::SmtpServer), QByteArray("after.example.com"));
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
    QCOMPARE(changes.last().text(Setting::SmtpServer), QByteArray("third.example.com"));
}

void TestServiceSettingsFile::ownSaveIsNotAnEdit()
{
    QTemporaryDir config;
    SettingsStore store(config.path(), Carriers);
    int changes = 0;
    store.setSavedHandler([&changes](const AlertSettings&) { ++changes; });
    store.load();
    m_log.take();

    AlertSettings settings;
    settings.set(Setting::Recipients, QByteArray("carol@example.com"));
    QVERIFY(store.save(fromWindow(settings)));
    QVERIFY(store.save(fromWindow(settings)));
    QCOMPARE(changes, 2);
    QVERIFY(neverWithin(1000, [&changes] { return changes > 2; }));
    QCOMPARE(m_log.take(), QByteArray());
}

void TestServiceSettingsFile::saveRightAfterAnEditKeepsIt()
{
    QTemporaryDir config;
    SettingsStore store(config.path(), Carriers);
    store.load();
    QVERIFY(store.save(fromWindow(AlertSettings())));
    QByteArray edited = readFile(store.filePath());
    edited.replace("desktop-notifications=true",
                   "desktop-notifications=false\n# mine\ncolour=blue");
    QVERIFY(writeFile(store.filePath(), edited));

    // Before the store has seen the edit.
    AlertSettings windowValues;
    windowValues.set(Setting::Recipients, QByteArray("carol@example.com"));
    QVERIFY(store.save(fromWindow(windowValues)));
    const QByteArray saved = readFile(store.filePath());
    QVERIFY2(saved.contains("\ndesktop-notifications=false\n# mine\ncolour=blue\n"),
             saved.constData());
    QVERIFY(saved.contains("\nrecipients=carol@example.com\n"));
    QVERIFY(!store.desktopNotifications());
    windowValues.set(Setting::DesktopNotifications, false);
    QCOMPARE(store.settings(), windowValues);
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
    QVERIFY(store.save(fromWindow(AlertSettings())));
    QTRY_VERIFY(readFile(store.filePath()).contains("\nsmtp-server=\n"));
    m_log.take();

    // The writer is busy for a moment: the save's write comes late.
    writer.postLatest([&] {
        writerBusy.release();
        writerFree.acquire();
    });
    writerBusy.acquire();
    QVERIFY(store.save({{Setting::SmtpServer, QByteArray("saved.example.com")}}));
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
    QTRY_COMPARE(store.settings().text(Setting::SmtpServer), QByteArray("edited.example.com"));
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
    SettingsStore store(config.path(), Carriers);
    QVERIFY(writeFile(store.filePath(), "desktop-notifications=false\n"));
    QSignalSpy switched(&store, &SettingsStore::desktopNotificationsChanged);
    store.load();
    QVERIFY(!store.desktopNotifications());
    QCOMPARE(switched.size(), 0);

    // A save from the window leaves it as the file says.
    QVERIFY(store.save(fromWindow(AlertSettings())));
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
    SettingsStore other(otherConfig.path(), Carriers);
    QVERIFY(writeFile(other.filePath(), "smtp-server=mail.example.com\n"));
    other.load();
    QVERIFY(other.desktopNotifications());
}

void TestServiceSettingsFile::desktopNotificationsFromTheWindow()
{
    QTemporaryDir config;
    SettingsStore store(config.path(), Carriers);
    QVERIFY(writeFile(store.filePath(), "# mine\nsmtp-server=mail.example.com\n"));
    store.load();
    QSignalSpy switched(&store, &SettingsStore::desktopNotificationsChanged);
    int changes = 0;
    store.setSavedHandler([&changes](const AlertSettings&) { ++changes; });

    QVERIFY(store.save({{Setting::DesktopNotifications, false}}));
    QCOMPARE(switched.size(), 1);
    QCOMPARE(switched.first().first().toBool(), false);
    QCOMPARE(changes, 1);
    const QByteArray saved = readFile(store.filePath());
    QVERIFY2(saved.startsWith("# mine\nsmtp-server=mail.example.com\n"), saved.constData());
    QVERIFY(saved.split('\n').contains("desktop-notifications=false"));
    QCOMPARE(store.settings().text(Setting::SmtpServer), QByteArray("mail.example.com"));

    // The same value again changes nothing that follows it.
    QVERIFY(store.save({{Setting::DesktopNotifications, false}}));
    QCOMPARE(switched.size(), 1);
}

void TestServiceSettingsFile::carrierIsKeptByName_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("carrier");
    QTest::addColumn<bool>("logged"); // as a carrier the list does not have

    QTest::newRow("a name") << QByteArray("carrier=Second\n") << QByteArray("Second") << false;
    QTest::newRow("a name with |")
        << QByteArray("carrier=Third|Quoted\n") << QByteArray("Third|Quoted") << false;
    QTest::newRow("a position, as earlier versions wrote it")
        << QByteArray("carrier=1\n") << QByteArray("Second") << false;
    AlertSettings third;
    third.set(Setting::Carrier, QByteArray("Third|Quoted"));
    QTest::newRow("a position in the earlier form")
        << formerFile(third) << QByteArray("Third|Quoted") << false;
    QTest::newRow("none") << QByteArray("carrier=-1\n") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray("carrier=\n") << QByteArray() << false;
    QTest::newRow("a name the list does not have")
        << QByteArray("carrier=Gone\n") << QByteArray("Gone") << true;
    QTest::newRow("names are spelt exactly")
        << QByteArray("carrier=second\n") << QByteArray("second") << true;
    QTest::newRow("a position the list does not have")
        << QByteArray("carrier=9\n") << QByteArray("9") << true;
}

void TestServiceSettingsFile::carrierIsKeptByName()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, carrier);
    QFETCH(bool, logged);
    QTemporaryDir config;
    SettingsStore store(config.path(), Carriers);
    QVERIFY(writeFile(store.filePath(), text));
    QSignalSpy told(&store, &SettingsStore::notUnderstood);
    m_log.take();
    store.load();
    QCOMPARE(store.settings().text(Setting::Carrier), carrier);
    QCOMPARE(told.size(), 0);
    const QByteArray log = m_log.take();
    QCOMPARE(log.contains("is not in the carrier list"), logged);
    // The window is told the carrier's position, or none.
    const int position = int(Carriers.indexOf(carrier));
    QCOMPARE(store.settings().linkValue(Setting::Carrier, Carriers),
             QByteArray::number(carrier.isEmpty() ? -1 : position));

    // Written back by name.
    QVERIFY(store.save({}));
    QVERIFY(readFile(store.filePath()).split('\n').contains("carrier=" + carrier));
}

void TestServiceSettingsFile::missingCarrierStaysAndIsLoggedOnce()
{
    QTemporaryDir config;
    SettingsStore store(config.path(), Carriers);
    QVERIFY(writeFile(store.filePath(), "carrier=Gone\nphone-number=5551234567\n"));
    QVERIFY(QFile::setPermissions(store.filePath(), QFile::ReadOwner | QFile::WriteOwner));
    m_log.take();
    store.load();
    QCOMPARE(m_log.take(),
             "<4>" + QFile::encodeName(store.filePath()) +
                 ": the carrier \"Gone\" is not in the carrier list; it stays in the file, but no "
                 "text message goes out until a carrier of the list is chosen\n");

    // Read again after an edit of something else: not told again.
    QVERIFY(writeFile(store.filePath(), "carrier=Gone\nphone-number=5559876543\n"));
    QTRY_COMPARE(store.settings().text(Setting::PhoneNumber), QByteArray("5559876543"));
    QVERIFY(!m_log.take().contains("carrier"));

    // The window was shown no carrier and sends none back: the name stays.
    AlertSettings shown;
    shown.set(Setting::PhoneNumber, QByteArray("5559876543"));
    QVERIFY(store.save(fromWindow(shown)));
    QCOMPARE(store.settings().text(Setting::Carrier), QByteArray("Gone"));
    QVERIFY(readFile(store.filePath()).split('\n').contains("carrier=Gone"));
    QVERIFY(!m_log.take().contains("carrier"));

    // A carrier the user chose replaces it.
    shown.set(Setting::Carrier, QByteArray("Fourth"));
    QVERIFY(store.save(fromWindow(shown)));
    QVERIFY(readFile(store.filePath()).split('\n').contains("carrier=Fourth"));
}

QTEST_GUILESS_MAIN(TestServiceSettingsFile)
#include "tst_service_settings_file.moc"
