// The alerts of the real velmora-service: a change of the public address is
// made at the stand-in echo service, and the alerts go to real servers on
// loopback (aiosmtpd, pyftpdlib) or start a program.
#include "support/EchoHttpServer.h"
#include "support/RunningService.h"

#include "common/AlertSettings.h"
#include "servers/FreePort.h"
#include "servers/FtpPythonServer.h"
#include "servers/ServerProcess.h"
#include "servers/SmtpServer.h"
#include "service_link/ServiceCommands.h"
#include "support/Absence.h"
#include "support/TestFiles.h"
#include "support/TestTime.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QSysInfo>
#include <QtTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using testfiles::readFile;
using testfiles::writeFile;

namespace {

const QByteArray FirstPublic("203.0.113.7");
const QByteArray SecondPublic("198.51.100.23");
const QByteArray ThirdPublic("192.0.2.99");
const QByteArray Password("smtp-secret-4711");

AlertSettings mailSettings(quint16 smtpPort)
{
    AlertSettings settings;
    settings.set(Setting::EmailAlerts, true);
    settings.set(Setting::Recipients, QByteArray(" alerts@example.com , second@example.org"));
    settings.set(Setting::SmtpServer, QByteArray("127.0.0.1"));
    settings.set(Setting::SmtpPort, QByteArray::number(smtpPort));
    settings.set(Setting::PhoneNumber, QByteArray("5555550123"));
    settings.set(Setting::Carrier, QByteArray("Second"));
    return settings;
}

// The service, started with the first public address learnt and the carriers
// "First" and "Second".
class AlertingService
{
public:
    bool start(const QStringList& extra = {})
    {
        m_echo.setAddress(FirstPublic);
        if (!writeFile(m_service.configDir() + QStringLiteral("/carriers.txt"),
                       "First|txt.example.net\nSecond|sms.example.org\n"))
            return false;
        m_arguments = QStringList{QStringLiteral("--echo-interval"), QStringLiteral("0.2")} + extra;
        return m_service.start({m_echo.url()}, m_arguments) && waitForPublicAddress(FirstPublic);
    }
    // Stops the service, lets the public address change, and starts it again.
    bool restartAfterChangeTo(const QByteArray& address)
    {
        m_service.stop();
        m_echo.setAddress(address);
        return m_service.start({m_echo.url()}, m_arguments) && waitForPublicAddress(address);
    }
    // Started with these retry delays (seconds, comma-separated) and e-mail
    // alerts to `smtpPort`, where nothing listens yet: the public address
    // changes and the e-mail's first attempt fails. Empty when all that
    // happened, otherwise what did not.
    QString startWithFailingEmail(const QString& retryDelays, quint16 smtpPort)
    {
        if (!start({QStringLiteral("--alert-retry-delays"), retryDelays}))
            return m_service.errorText();
        save(mailSettings(smtpPort));
        changePublicAddress(SecondPublic);
        const QString retry =
            QStringLiteral("next attempt in %1 s").arg(retryDelays.section(u',', 0, 0));
        if (!QTest::qWaitFor([&] { return output().contains(retry); }, testtime::scaled(20000)))
            return QStringLiteral("no '%1' in: %2").arg(retry, output());
        return {};
    }
    bool waitForPublicAddress(const QByteArray& address)
    {
        return QTest::qWaitFor(
            [&] {
                return m_service.request(service::UpdateStatus).value(service::PublicIpLine) ==
                       address;
            },
            testtime::scaled(10000));
    }
    void save(const AlertSettings& settings)
    {
        m_service.save(settings.toSaveList({"First", "Second"}));
    }
    void changePublicAddress(const QByteArray& address) { m_echo.setAddress(address); }
    // The echo service fails as it does when the network is down.
    void cutNetwork() { m_echo.setReply(503, "unreachable"); }
    QByteArray localAddress()
    {
        return m_service.request(service::UpdateStatus).value(service::LocalIpLine);
    }
    RunningService& service() { return m_service; }
    QString output() { return m_service.output(); }

private:
    EchoHttpServer m_echo;
    RunningService m_service;
    QStringList m_arguments;
};

testservers::SmtpServer::Options onPort(quint16 port)
{
    testservers::SmtpServer::Options options;
    options.port = port;
    return options;
}

// A program that writes its arguments and the alert's environment to a marker file.
QString writeMarkerProgram(const QString& folder)
{
    const QString program = folder + QStringLiteral("/on-change.sh");
    writeFile(program, "#!/bin/sh\n"
                       "printf '%s|%s|%s|%s|%s\\n' \"$1\" \"$2\" \"$VELMORA_PUBLIC_IP\" "
                       "\"$VELMORA_LOCAL_IP\" \"$VELMORA_COMPUTER_NAME\" >> \"$0.tmp\"\n"
                       "mv \"$0.tmp\" \"$0.marker\"\n");
    QFile::setPermissions(program,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return program;
}

} // namespace

class TestServiceAlerts : public QObject
{
    Q_OBJECT
private slots:
    void emailAndTextMessageArrive();
    void programRunsWithTheAddresses();
    void programStartsOnItsOwnWithEverySignal();
    void programThatIsNotExecutableIsSkipped();
    void switchedOffAlertsAreNotSentAndSavedSettingsApplyNext();
    void ftpPageIsUploaded();
    void pageTemplateThatIsNoFileIsToldAsWhatItIs_data();
    void pageTemplateThatIsNoFileIsToldAsWhatItIs();
    void failedAlertIsRetriedUntilTheServerIsUp();
    void newerChangeEndsTheRetriesOfAnOlderOne();
    void failedAlertWaitsForTheNetworkToComeBack();
    void retriesUseTheSettingsSavedMeanwhile_data();
    void retriesUseTheSettingsSavedMeanwhile();
    void changeWhileStoppedIsAlertedAtTheNextStart();
    void alertsPendingAtTheStopGoOutAfterTheNextStart();
    void hangingMailServerDoesNotDelayAnswers();
};

void TestServiceAlerts::emailAndTextMessageArrive()
{
    testservers::SmtpServer smtp;
    testservers::SmtpServer::Options smtpOptions;
    smtpOptions.user = QStringLiteral("mailer");
    smtpOptions.password = QString::fromLatin1(Password);
    QVERIFY2(smtp.start(smtpOptions), qPrintable(smtp.errorText()));
    AlertingService service;
    QVERIFY2(service.start(), qPrintable(service.service().errorText()));
    AlertSettings settings = mailSettings(smtp.port());
    settings.set(Setting::TextAlerts, true);
    settings.set(Setting::NeedsLogin, true);
    settings.set(Setting::SmtpUsername, QByteArray("mailer"));
    settings.set(Setting::SmtpPassword, Password);
    service.save(settings);
    const QByteArray local = service.localAddress();
    const QByteArray public6 = service.service().keyedStatus(service::PublicIpv6Key);
    const QByteArray local6 = service.service().keyedStatus(service::LocalIpv6Key);

    service.changePublicAddress(SecondPublic);
    QTRY_COMPARE_WITH_TIMEOUT(smtp.messages().size(), 2, testtime::scaled(30000));
    const QList<testservers::SmtpReceivedMail> messages = smtp.messages();
    const QByteArray host = QSysInfo::machineHostName().toLocal8Bit();
    bool sawEmail = false;
    bool sawText = false;
    for (const testservers::SmtpReceivedMail& mail : messages) {
        QCOMPARE(mail.mailFrom, QStringLiteral("alerts@example.com"));
        QCOMPARE(mail.login, QStringLiteral("mailer"));
        QVERIFY2(mail.data.contains("Subject: Velmora Alert\r\n"), mail.data.constData());
        if (mail.recipients == QStringList{QStringLiteral("alerts@example.com"),
                                           QStringLiteral("second@example.org")}) {
            sawEmail = true;
            QVERIFY2(mail.data.contains("From: alerts@example.com\r\n"), mail.data.constData());
            // The computer's own IPv6 address, where it has one, is named too.
            const bool withIpv6 = !public6.isEmpty() || !local6.isEmpty();
            const QByteArray ipv6 = withIpv6 ? "\r\nPublic IPv6 Address: " + public6 +
                                                   "\r\nLocal IPv6 Address: " + local6
                                             : QByteArray();
            const QByteArray previousIpv6 = withIpv6
                                                ? "\r\nPrevious Public IPv6 Address: " + public6 +
                                                      "\r\nPrevious Local IPv6 Address: " + local6
                                                : QByteArray();
            const QByteArray body = "===================================\r\n"
                                    "Computer Name: " +
                                    host + "\r\nPublic IP Address: " + SecondPublic +
                                    "\r\nLocal IP Address: " + local + ipv6 +
                                    "\r\nPrevious Public IP Address: " + FirstPublic +
                                    "\r\nPrevious Local IP Address: " + local + previousIpv6;
            QVERIFY2(mail.data.contains("\r\n\r\nDate: "), mail.data.constData());
            QVERIFY2(mail.data.contains(body), mail.data.constData());
        } else {
            QCOMPARE(mail.recipients, QStringList{QStringLiteral("5555550123@sms.example.org")});
            sawText = true;
            QVERIFY2(mail.data.contains("From: Velmora <alerts@example.com>\r\n"),
                     mail.data.constData());
            QVERIFY2(mail.data.contains("\r\n\r\nComputer Name: " + host +
                                        "\r\nPublic IP Address: " + SecondPublic +
                                        "\r\nLocal IP Address: " + local),
                     mail.data.constData());
        }
    }
    QVERIFY(sawEmail && sawText);
    QTRY_COMPARE(service.output().count(QStringLiteral(": done")), 2);
    QVERIFY(!service.output().contains(QString::fromLatin1(Password)));
}

void TestServiceAlerts::programRunsWithTheAddresses()
{
    AlertingService service;
    QVERIFY2(service.start(), qPrintable(service.service().errorText()));
    const QString program = writeMarkerProgram(service.service().folder());
    AlertSettings settings;
    settings.set(Setting::RunProgram, true);
    settings.set(Setting::Program, program.toLocal8Bit());
    service.save(settings);
    const QByteArray local = service.localAddress();

    service.changePublicAddress(SecondPublic);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(program + QStringLiteral(".marker")),
                             testtime::scaled(20000));
    QCOMPARE(readFile(program + QStringLiteral(".marker")),
             SecondPublic + '|' + local + '|' + SecondPublic + '|' + local + '|' +
                 QSysInfo::machineHostName().toLocal8Bit() + '\n');
}

// The program is started as a desktop starts one: in a session of its own, not
// the service's child, with no signal blocked or ignored, so that SIGTERM and
// Ctrl+C stop it. (Not a shell script: dash resets its mask itself.)
void TestServiceAlerts::programStartsOnItsOwnWithEverySignal()
{
    if (QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty())
        QSKIP("python3 is needed for a program that reports its own signal mask");
    AlertingService service;
    QVERIFY2(service.start(), qPrintable(service.service().errorText()));
    const QString program = service.service().folder() + QStringLiteral("/report.py");
    QVERIFY(writeFile(
        program,
        "#!/usr/bin/env python3\n"
        "import os, sys\n"
        "lines = [l for l in open('/proc/self/status') if l.startswith(('SigBlk', 'SigIgn'))]\n"
        "lines.append('sid %d pid %d ppid %d\\n' % (os.getsid(0), os.getpid(), os.getppid()))\n"
        "open(sys.argv[0] + '.tmp', 'w').writelines(lines)\n"
        "os.rename(sys.argv[0] + '.tmp', sys.argv[0] + '.marker')\n"));
    QFile::setPermissions(program,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    AlertSettings settings;
    settings.set(Setting::RunProgram, true);
    settings.set(Setting::Program, program.toLocal8Bit());
    service.save(settings);

    service.changePublicAddress(SecondPublic);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(program + QStringLiteral(".marker")),
                             testtime::scaled(20000));
    const QList<QByteArray> lines = readFile(program + QStringLiteral(".marker")).split('\n');
    QCOMPARE(lines.value(0), QByteArray("SigBlk:\t0000000000000000"));
    // Python ignores SIGPIPE and SIGXFSZ itself; the stop signals must not be.
    QVERIFY(lines.value(1).startsWith("SigIgn:\t"));
    const qulonglong ignored = lines.value(1).mid(8).toULongLong(nullptr, 16);
    QCOMPARE(ignored & ((1ULL << (SIGTERM - 1)) | (1ULL << (SIGINT - 1))), 0ULL);
    const QList<QByteArray> ids = lines.value(2).split(' ');
    QCOMPARE(ids.size(), 6);
    // A session of its own, not the service's.
    QVERIFY(ids.at(1).toLongLong() != ::getsid(pid_t(service.service().processId())));
    QVERIFY(ids.at(5).toLongLong() != service.service().processId());
}

void TestServiceAlerts::programThatIsNotExecutableIsSkipped()
{
    AlertingService service;
    QVERIFY2(service.start(), qPrintable(service.service().errorText()));
    const QString notAProgram = service.service().folder() + QStringLiteral("/plain.txt");
    QVERIFY(writeFile(notAProgram, "echo never\n"));
    AlertSettings settings;
    settings.set(Setting::RunProgram, true);
    settings.set(Setting::Program, notAProgram.toLocal8Bit());
    service.save(settings);

    service.changePublicAddress(SecondPublic);
    QTRY_VERIFY_WITH_TIMEOUT(service.output().contains(QStringLiteral("is not an executable file")),
                             testtime::scaled(20000));
    QVERIFY(!service.output().contains(QStringLiteral("next attempt")));
}

void TestServiceAlerts::switchedOffAlertsAreNotSentAndSavedSettingsApplyNext()
{
    testservers::SmtpServer smtp;
    QVERIFY2(smtp.start({}), qPrintable(smtp.errorText()));
    AlertingService service;
    QVERIFY2(service.start(), qPrintable(service.service().errorText()));
    const QString program = writeMarkerProgram(service.service().folder());
    AlertSettings settings = mailSettings(smtp.port());    // text message configured, switched off
    settings.set(Setting::Program, program.toLocal8Bit()); // program configured, switched off
    service.save(settings);

    service.changePublicAddress(SecondPublic);
    QTRY_COMPARE_WITH_TIMEOUT(smtp.messages().size(), 1, testtime::scaled(20000));
    QTRY_VERIFY(service.output().contains(QStringLiteral("e-mail alert for the change to %1")
                                              .arg(QString::fromLatin1(SecondPublic))));
    QVERIFY(service.output().contains(QStringLiteral("alerts on: e-mail\n")));
    QVERIFY(!service.output().contains(QStringLiteral("text message alert")));
    QVERIFY(!service.output().contains(QStringLiteral("program alert")));
    QVERIFY(!QFile::exists(program + QStringLiteral(".marker")));

    // Saved settings apply to the next change.
    settings.set(Setting::EmailAlerts, false);
    settings.set(Setting::RunProgram, true);
    service.save(settings);
    service.changePublicAddress(ThirdPublic);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(program + QStringLiteral(".marker")),
                             testtime::scaled(20000));
    QVERIFY(readFile(program + QStringLiteral(".marker")).startsWith(ThirdPublic + '|'));
    // The service's output reaches the test a moment after the program has run.
    QTRY_VERIFY(service.output().contains(QStringLiteral("alerts on: program\n")));
    QCOMPARE(smtp.messages().size(), 1);
}

void TestServiceAlerts::ftpPageIsUploaded()
{
    testservers::FtpPythonServer ftp;
    QVERIFY2(ftp.start(), qPrintable(ftp.errorText()));
    AlertingService service;
    const QByteArray page = "<html><body><p>[[ComputerName]]</p><p>[[PublicIPAddress]]</p>"
                            "<p>[[localipaddress]]</p></body></html>\n";
    const QString templateFile = service.service().configDir() + QStringLiteral("/velmora.html");
    QVERIFY(writeFile(templateFile, page));
    QVERIFY2(service.start({QStringLiteral("--ftp-port"), QString::number(ftp.port())}),
             qPrintable(service.service().errorText()));
    AlertSettings settings;
    settings.set(Setting::FtpPage, true);
    settings.set(Setting::FtpHost, QByteArray("127.0.0.1"));
    settings.set(Setting::FtpUsername, ftp.userName().toLatin1());
    settings.set(Setting::FtpPassword, ftp.password().toLatin1());
    service.save(settings);
    const QByteArray local = service.localAddress();

    service.changePublicAddress(SecondPublic);
    const QString uploaded = ftp.homePath() + QStringLiteral("/velmora.html");
    QTRY_VERIFY_WITH_TIMEOUT(service.output().contains(QStringLiteral("FTP page alert")) &&
                                 service.output().contains(QStringLiteral(": done")),
                             testtime::scaled(20000));
    QCOMPARE(readFile(uploaded), "<html><body><p>" + QSysInfo::machineHostName().toLocal8Bit() +
                                     "</p><p>" + SecondPublic + "</p><p>" + local +
                                     "</p></body></html>\n");
    QCOMPARE(readFile(templateFile), page);
    QVERIFY(!service.output().contains(ftp.password()));
}

void TestServiceAlerts::pageTemplateThatIsNoFileIsToldAsWhatItIs_data()
{
    QTest::addColumn<QString>("planted"); // empty: none
    QTest::addColumn<QString>("told");    // "{file}" for the template's path
    QTest::newRow("none") << QString() << QStringLiteral("there is no page template {file}");
    QTest::newRow("FIFO") << QStringLiteral("fifo")
                          << QStringLiteral("the page template {file} is a FIFO, not a file");
    QTest::newRow("folder") << QStringLiteral("folder")
                            << QStringLiteral("the page template {file} is a folder, not a file");
}

void TestServiceAlerts::pageTemplateThatIsNoFileIsToldAsWhatItIs()
{
    QFETCH(QString, planted);
    QFETCH(QString, told);
    AlertingService service;
    const QString templateFile = service.service().configDir() + QStringLiteral("/velmora.html");
    if (planted == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(templateFile).constData(), 0600), 0);
    else if (planted == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(templateFile));
    QVERIFY2(service.start(), qPrintable(service.service().errorText()));
    AlertSettings settings;
    settings.set(Setting::FtpPage, true);
    settings.set(Setting::FtpHost, QByteArray("127.0.0.1"));
    service.save(settings);

    service.changePublicAddress(SecondPublic);
    const QString expected = told.replace(QStringLiteral("{file}"), templateFile);
    QTRY_VERIFY_WITH_TIMEOUT(service.output().contains(QStringLiteral("FTP page alert")) &&
                                 service.output().contains(QStringLiteral(": skipped")),
                             testtime::scaled(20000));
    QVERIFY2(service.output().contains(expected), qPrintable(service.output()));
}

void TestServiceAlerts::failedAlertIsRetriedUntilTheServerIsUp()
{
    const quint16 port = testservers::freePort();
    AlertingService service;
    const QString failed = service.startWithFailingEmail(QStringLiteral("1,1,1,1,1"), port);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    testservers::SmtpServer smtp;
    QVERIFY2(smtp.start(onPort(port)), qPrintable(smtp.errorText()));
    QTRY_COMPARE_WITH_TIMEOUT(smtp.messages().size(), 1, testtime::scaled(20000));
    QTRY_VERIFY(service.output().contains(QStringLiteral(": done")));
    QCOMPARE(service.output().count(QStringLiteral(": done")), 1);
    QVERIFY(!service.output().contains(QStringLiteral("given up")));
    QCOMPARE(smtp.messages().size(), 1);
}

void TestServiceAlerts::newerChangeEndsTheRetriesOfAnOlderOne()
{
    const quint16 port = testservers::freePort(); // nothing listens there
    AlertingService service;
    const QString failed = service.startWithFailingEmail(QStringLiteral("600"), port);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    service.changePublicAddress(ThirdPublic);
    QTRY_VERIFY_WITH_TIMEOUT(
        service.output().contains(QStringLiteral("e-mail alert for the change to %1, %2: no "
                                                 "further attempt")
                                      .arg(QString::fromLatin1(SecondPublic),
                                           QString::fromLatin1(service.localAddress()))),
        testtime::scaled(20000));
}

void TestServiceAlerts::failedAlertWaitsForTheNetworkToComeBack()
{
    const quint16 port = testservers::freePort(); // the mail server is out of reach for now
    AlertingService service;
    // One quick retry, then a long wait: only the network coming back can
    // bring the alert out within the test's time.
    const QString failed = service.startWithFailingEmail(QStringLiteral("2,60"), port);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    service.cutNetwork();
    QTRY_VERIFY_WITH_TIMEOUT(
        service.output().contains(
            QStringLiteral("the public address cannot be checked (no echo service answered)")),
        testtime::scaled(20000));
    QVERIFY(!service.output().contains(QStringLiteral("the network is down")));
    QTRY_VERIFY_WITH_TIMEOUT(service.output().contains(QStringLiteral(
                                 "held until the public address can be checked again")),
                             testtime::scaled(20000));
    // Held: not given up, and not retried on the old schedule.
    QVERIFY(neverWithin(1000, [&] {
        const QString output = service.output();
        return output.contains(QStringLiteral("given up")) ||
               output.contains(QStringLiteral("next attempt in 60 s"));
    }));

    testservers::SmtpServer smtp;
    QVERIFY2(smtp.start(onPort(port)), qPrintable(smtp.errorText()));
    service.changePublicAddress(SecondPublic); // the network is back, the address unchanged
    QTRY_COMPARE_WITH_TIMEOUT(smtp.messages().size(), 1, testtime::scaled(20000));
    const QString body = QString::fromUtf8(smtp.messages().first().data);
    QVERIFY2(body.contains(QString::fromLatin1(SecondPublic)), qPrintable(body));
    QTRY_VERIFY(service.output().contains(QStringLiteral(": done")));
    QCOMPARE(service.output().count(QStringLiteral("address change:")), 1);
    QCOMPARE(smtp.messages().size(), 1);
}

void TestServiceAlerts::retriesUseTheSettingsSavedMeanwhile_data()
{
    QTest::addColumn<bool>("switchOff");
    QTest::addColumn<int>("delivered");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("server corrected") << false << 1 << QStringLiteral(": done");
    QTest::newRow("alert switched off")
        << true << 0 << QStringLiteral(": switched off; no further attempt");
}

void TestServiceAlerts::retriesUseTheSettingsSavedMeanwhile()
{
    QFETCH(bool, switchOff);
    QFETCH(int, delivered);
    QFETCH(QString, outcome);

    testservers::SmtpServer smtp;
    QVERIFY2(smtp.start({}), qPrintable(smtp.errorText()));
    AlertingService service;
    const QString failed =
        service.startWithFailingEmail(QStringLiteral("2,2,2"), testservers::freePort());
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    AlertSettings corrected = mailSettings(smtp.port());
    corrected.set(Setting::EmailAlerts, !switchOff);
    service.save(corrected);
    QTRY_VERIFY_WITH_TIMEOUT(service.output().contains(outcome), testtime::scaled(20000));
    QVERIFY(neverWithin(200, [&] { return smtp.messages().size() > delivered; }));
    QCOMPARE(smtp.messages().size(), delivered);
    QVERIFY(!service.output().contains(QStringLiteral("given up")));
}

void TestServiceAlerts::changeWhileStoppedIsAlertedAtTheNextStart()
{
    testservers::SmtpServer smtp;
    QVERIFY2(smtp.start({}), qPrintable(smtp.errorText()));
    AlertingService service;
    QVERIFY2(service.start(), qPrintable(service.service().errorText()));
    service.save(mailSettings(smtp.port()));
    const QByteArray local = service.localAddress();

    QVERIFY2(service.restartAfterChangeTo(SecondPublic), qPrintable(service.service().errorText()));
    QTRY_COMPARE_WITH_TIMEOUT(smtp.messages().size(), 1, testtime::scaled(20000));
    const QString body = QString::fromUtf8(smtp.messages().first().data);
    QVERIFY2(body.contains(QString::fromLatin1(FirstPublic)) &&
                 body.contains(QString::fromLatin1(SecondPublic)),
             qPrintable(body));
    const QList<QByteArray> lines = service.service().historyLines();
    QCOMPARE(lines.size(), 1);
    const QList<QByteArray> fields = lines.first().trimmed().split(',');
    QVERIFY2(fields.size() >= 3 && fields.at(1) == SecondPublic && fields.at(2) == local,
             lines.first().constData());

    // Started again with nothing changed: nothing to report.
    QVERIFY2(service.restartAfterChangeTo(SecondPublic), qPrintable(service.service().errorText()));
    QVERIFY(neverWithin(500, [&] {
        return service.service().historyLines().size() > 1 || smtp.messages().size() > 1;
    }));
}

void TestServiceAlerts::alertsPendingAtTheStopGoOutAfterTheNextStart()
{
    const quint16 port = testservers::freePort(); // the mail server is out of reach for now
    AlertingService service;
    const QString failed = service.startWithFailingEmail(QStringLiteral("600"), port);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    const QString pending = service.service().stateDir() + QStringLiteral("/pending-alerts");
    QVERIFY(QFile::exists(pending));

    testservers::SmtpServer smtp;
    QVERIFY2(smtp.start(onPort(port)), qPrintable(smtp.errorText()));
    QVERIFY2(service.restartAfterChangeTo(SecondPublic), qPrintable(service.service().errorText()));
    QTRY_COMPARE_WITH_TIMEOUT(smtp.messages().size(), 1, testtime::scaled(20000));
    const QString body = QString::fromUtf8(smtp.messages().first().data);
    QVERIFY2(body.contains(QString::fromLatin1(FirstPublic)) &&
                 body.contains(QString::fromLatin1(SecondPublic)),
             qPrintable(body));
    QTRY_VERIFY(!QFile::exists(pending));
    QCOMPARE(service.service().historyLines().size(), 1);

    // Sent: a further start has nothing left to send.
    QVERIFY2(service.restartAfterChangeTo(SecondPublic), qPrintable(service.service().errorText()));
    QVERIFY(neverWithin(500, [&] { return smtp.messages().size() > 1; }));
    QCOMPARE(smtp.messages().size(), 1);
}

void TestServiceAlerts::hangingMailServerDoesNotDelayAnswers()
{
    const quint16 port = testservers::freePort();
    QTemporaryDir folder;
    const QString events = folder.filePath(QStringLiteral("events"));
    testservers::ServerProcess silent;
    QVERIFY2(
        silent.start(QStringLiteral("/usr/bin/python3"),
                     {testservers::ServerProcess::script(QStringLiteral("smtp_stalling_server.py")),
                      QStringLiteral("--port"), QString::number(port), QStringLiteral("--stall-at"),
                      QStringLiteral("MAIL"), QStringLiteral("--events"), events},
                     port),
        qPrintable(silent.errorText()));
    AlertingService service;
    QVERIFY2(service.start(), qPrintable(service.service().errorText()));
    service.save(mailSettings(port));

    service.changePublicAddress(SecondPublic);
    // The start-up probe, then the service's connection, which now hangs.
    QTRY_VERIFY_WITH_TIMEOUT(readFile(events).count("accepted") >= 2, testtime::scaled(20000));
    for (int i = 0; i < 10; ++i) {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(service.service().request(service::UpdateStatus).value(service::PublicIpLine),
                 SecondPublic);
        QVERIFY2(clock.elapsed() < testtime::scaled(1000),
                 qPrintable(QString::number(clock.elapsed())));
    }
    QVERIFY(!service.output().contains(QStringLiteral(": done")));
}

QTEST_GUILESS_MAIN(TestServiceAlerts)
#include "tst_service_alerts.moc"
