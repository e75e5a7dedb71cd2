#include "MainFormFixture.h"
#include "ModalDialogProbe.h"
#include "RecordingMailManager.h"
#include "alerts/MailManager.h"
#include "alerts/MailRuntime.h"
#include "common/AlertSettings.h"
#include "servers/PostfixInstance.h"
#include "servers/SmtpCertificates.h"
#include "servers/SmtpServer.h"
#include "shell/Error.h"
#include "support/MailText.h"
#include "support/SmtpPortTable.h"
#include "support/TestTime.h"
#include "toolkit/SidePager.h"
#include "ui_ErrorForm.h"
#include "ui_MainForm.h"

#include <QtTest>

using mailtext::bodyOf;
using mailtext::headerOf;

using testservers::SmtpServer;

namespace {

enum class Handler
{
    TestEmail,
    TextMessage
};

// Settings to change from settingsFor(): each value and its text.
using Changes = QList<std::pair<Setting, QByteArray>>;

const QString kUser = QStringLiteral("velmora-user");
const QString kPassword = QStringLiteral("Pa55-w0rd!secret");

QByteArray carrierList()
{
    return FakeService::countedList(
        {"v1", "Carrier A|sms-a.example.test", "Carrier B|sms-b.example.test"});
}

// Settings that point the window at an SMTP server on 127.0.0.1.
QList<QByteArray> settingsFor(quint16 port, const QByteArray& recipients = "first@example.test")
{
    QList<QByteArray> values = MainFormFixture::defaultValues();
    values[settingtable::wireIndex(Setting::Recipients)] = recipients;
    values[settingtable::wireIndex(Setting::SmtpServer)] = "127.0.0.1";
    values[settingtable::wireIndex(Setting::SmtpPort)] = QByteArray::number(port);
    values[settingtable::wireIndex(Setting::PhoneNumber)] = "5551234567";
    values[settingtable::wireIndex(Setting::Carrier)] = "1";
    return values;
}

QList<QByteArray> withChanges(QList<QByteArray> values, const Changes& changes)
{
    for (const auto& [value, text] : changes)
        values[settingtable::wireIndex(value)] = text;
    return values;
}

std::unique_ptr<AbstractMailManager> realMailManager()
{
    auto manager = std::make_unique<MailManager>();
    manager->setConnectTimeout(std::chrono::seconds(5));
    manager->setReplyTimeout(std::chrono::seconds(5));
    return manager;
}

QPushButton* buttonFor(MainFormFixture& f, Handler handler)
{
    return handler == Handler::TestEmail ? f.ui().AdvGlowButton1 : f.ui().btnSendTestMessage;
}

// The window, shown, with its error dialog; the dialog's texts are collected
// while it is open and the dialog is then closed.
class AlertWindow
{
public:
    explicit AlertWindow(MainFormFixture& f) : fixture(f)
    {
        fixture.service.setReply("GetCellularProviders", carrierList());
    }

    bool create()
    {
        TFormMain& form = fixture.create();
        errorForm = std::make_unique<TFormError>(fixture.shell, &form);
        form.setErrorForm(errorForm.get());
        probe = std::make_unique<ModalDialogProbe>(*errorForm, [this](QDialog&) {
            errorTexts.append(errorForm->ui().Memo1->toPlainText());
            if (onErrorDialog)
                onErrorDialog();
        });
        form.show();
        return QTest::qWaitForWindowExposed(&form);
    }

    MainFormFixture& fixture;
    std::unique_ptr<TFormError> errorForm;
    std::unique_ptr<ModalDialogProbe> probe;
    QStringList errorTexts;
    std::function<void()> onErrorDialog;
};

} // namespace

class TestTestAlerts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void testEmailDelivered_data();
    void testEmailDelivered();
    void textMessageDelivered_data();
    void textMessageDelivered();
    void refusedSendShowsTheTranscript_data();
    void refusedSendShowsTheTranscript();
    void engineTagsRemovedFromTheEmailErrorOnly_data();
    void engineTagsRemovedFromTheEmailErrorOnly();
    void clockReadOnceForTheDateAndOnceForTheTime();
    void engineCallsInOrder_data();
    void engineCallsInOrder();
    void refusalsSendNothing_data();
    void refusalsSendNothing();
    void errorsEndTheAttempt_data();
    void errorsEndTheAttempt();
    void deliveredThroughPostfix();
    void portTextIsReadAsTheAlertsReadIt_data();
    void portTextIsReadAsTheAlertsReadIt();

private:
    MailRuntime m_runtime;
};

void TestTestAlerts::initTestCase()
{
    // A fixed locale, so that the date line reads the same on every machine.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestTestAlerts::testEmailDelivered_data()
{
    QTest::addColumn<QByteArray>("recipients");
    QTest::addColumn<QList<QByteArray>>("status");
    QTest::addColumn<QString>("cleaned");
    QTest::addColumn<bool>("applyEnabled");
    QTest::addColumn<QStringList>("envelope");
    QTest::addColumn<QByteArray>("statusLines");

    const QList<QByteArray> status{"pc-1", "203.0.113.7", "192.168.1.20"};
    const QByteArray statusLines = "Computer Name: pc-1\r\n"
                                   "Public IP Address: 203.0.113.7\r\n"
                                   "Local IP Address: 192.168.1.20\r\n";
    const QStringList both{"first@example.test", "second@example.test"};
    QTest::newRow("blanks around two addresses")
        << QByteArray(" first@example.test ,  second@example.test ") << status
        << "first@example.test,second@example.test" << true << both << statusLines;
    QTest::newRow("no blanks") << QByteArray("first@example.test,second@example.test") << status
                               << "first@example.test,second@example.test" << false << both
                               << statusLines;
    QTest::newRow("status never received")
        << QByteArray("first@example.test") << QList<QByteArray>{"", "", ""} << "first@example.test"
        << false << QStringList{"first@example.test"}
        << QByteArray("Computer Name: \r\nPublic IP Address: \r\nLocal IP Address: \r\n");
}

void TestTestAlerts::testEmailDelivered()
{
    QFETCH(QByteArray, recipients);
    QFETCH(QList<QByteArray>, status);
    QFETCH(QString, cleaned);
    QFETCH(bool, applyEnabled);
    QFETCH(QStringList, envelope);
    QFETCH(QByteArray, statusLines);
    SmtpServer server;
    QVERIFY2(server.start({}), qPrintable(server.errorText()));
    MainFormFixture f;
    AlertWindow window(f);
    f.service.setReply("GetSettings", MainFormFixture::settingsReply(
                                          settingsFor(server.port(), recipients), status));
    f.service.setReply("UpdateStatus",
                       MainFormFixture::statusReply(status[0], status[1], status[2]));
    f.createMailManager = realMailManager;
    QVERIFY(window.create());

    int quitsWhileNoticeShown = -1;
    f.dialogs.whileShown = [&](const ScriptedDialogs::Shown&) {
        quitsWhileNoticeShown = server.eventCount(QStringLiteral("QUIT"));
    };
    f.ui().AdvGlowButton1->click();

    QCOMPARE(f.dialogs.notices(), QStringList{"Success: Test Email Sent"});
    QCOMPARE(f.dialogs.errors(), QStringList());
    QCOMPARE(window.errorTexts, QStringList());
    QCOMPARE(f.ui().txtEmail->text(), cleaned);
    QCOMPARE(f.ui().btnApply->isEnabled(), applyEnabled);
    // The connection stays open while the notice shows and is closed after it.
    QCOMPARE(quitsWhileNoticeShown, 0);
    QTRY_COMPARE(server.eventCount(QStringLiteral("QUIT")), 1);

    const auto messages = server.messages();
    QCOMPARE(messages.size(), 1);
    const QByteArray& data = messages[0].data;
    QCOMPARE(messages[0].mailFrom, QString("first@example.test"));
    QCOMPARE(messages[0].recipients, envelope);
    QCOMPARE(headerOf(data, "From"), QByteArray("first@example.test"));
    QCOMPARE(headerOf(data, "To"), envelope.join(", ").toUtf8());
    QCOMPARE(headerOf(data, "Subject"), QByteArray("Velmora Alert (TEST)"));
    // The locale's short date and long time, without a time zone.
    const QByteArray dateLine = "Date: 12/10/26 2:03:07 PM";
    QCOMPARE(bodyOf(data), dateLine + "\r\n" + QByteArray(35, '=') + "\r\n" + statusLines);
}

void TestTestAlerts::textMessageDelivered_data()
{
    QTest::addColumn<QByteArray>("recipients");
    QTest::addColumn<QByteArray>("phone");
    QTest::addColumn<int>("carrier");
    QTest::addColumn<QList<QByteArray>>("status");
    QTest::addColumn<QString>("cleaned");
    QTest::addColumn<bool>("applyEnabled");
    QTest::addColumn<QString>("gatewayAddress");
    QTest::addColumn<QByteArray>("body");

    const QList<QByteArray> status{"pc-1", "203.0.113.7", "192.168.1.20"};
    const QByteArray body = "Computer Name: pc-1\r\n"
                            "Public IP Address: 203.0.113.7\r\n"
                            "Local IP Address: 192.168.1.20\r\n";
    QTest::newRow("two addresses with blanks")
        << QByteArray(" first@example.test, second@example.test") << QByteArray("5551234567") << 1
        << status << "first@example.test,second@example.test" << true
        << "5551234567@sms-b.example.test" << body;
    QTest::newRow("ten characters, not all digits")
        << QByteArray("first@example.test") << QByteArray("555-12-345") << 0 << status
        << "first@example.test" << false << "555-12-345@sms-a.example.test" << body;
    QTest::newRow("status never received")
        << QByteArray("first@example.test") << QByteArray("5551234567") << 0
        << QList<QByteArray>{"", "", ""} << "first@example.test" << false
        << "5551234567@sms-a.example.test"
        << QByteArray("Computer Name: \r\nPublic IP Address: \r\nLocal IP Address: \r\n");
}

void TestTestAlerts::textMessageDelivered()
{
    QFETCH(QByteArray, recipients);
    QFETCH(QByteArray, phone);
    QFETCH(int, carrier);
    QFETCH(QList<QByteArray>, status);
    QFETCH(QString, cleaned);
    QFETCH(bool, applyEnabled);
    QFETCH(QString, gatewayAddress);
    QFETCH(QByteArray, body);
    SmtpServer server;
    QVERIFY2(server.start({}), qPrintable(server.errorText()));
    MainFormFixture f;
    AlertWindow window(f);
    QList<QByteArray> values = settingsFor(server.port(), recipients);
    values[settingtable::wireIndex(Setting::PhoneNumber)] = phone;
    values[settingtable::wireIndex(Setting::Carrier)] = QByteArray::number(carrier);
    f.service.setReply("GetSettings", MainFormFixture::settingsReply(values, status));
    f.service.setReply("UpdateStatus",
                       MainFormFixture::statusReply(status[0], status[1], status[2]));
    f.createMailManager = realMailManager;
    QVERIFY(window.create());

    f.ui().btnSendTestMessage->click();

    QCOMPARE(f.dialogs.notices(), QStringList{"Success: (SMS) Text Message Sent"});
    QCOMPARE(f.dialogs.errors(), QStringList());
    QCOMPARE(window.errorTexts, QStringList());
    QCOMPARE(f.ui().txtEmail->text(), cleaned);
    QCOMPARE(f.ui().btnApply->isEnabled(), applyEnabled);
    const auto messages = server.messages();
    QCOMPARE(messages.size(), 1);
    const QByteArray& data = messages[0].data;
    // Only the gateway receives it; the first e-mail address is the sender.
    QCOMPARE(messages[0].recipients, QStringList{gatewayAddress});
    QCOMPARE(messages[0].mailFrom, QString("first@example.test"));
    QCOMPARE(headerOf(data, "From"), QByteArray("Velmora <first@example.test>"));
    QCOMPARE(headerOf(data, "To"), gatewayAddress.toUtf8());
    QCOMPARE(headerOf(data, "Subject"), QByteArray("Velmora(TEST)"));
    // Three lines joined by LF, which go out as CR LF.
    QCOMPARE(bodyOf(data), body);
    // The released engine ends its connection.
    QTRY_COMPARE(server.eventCount(QStringLiteral("QUIT")), 1);
}

void TestTestAlerts::refusedSendShowsTheTranscript_data()
{
    QTest::addColumn<Handler>("handler");
    QTest::addColumn<QByteArray>("recipients");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QStringList>("explanation");

    const QByteArray right = kPassword.toUtf8();
    const QStringList loginDenied{"535", "127.0.0.1"};
    const QStringList rejected{"550", "Recipient address rejected"};
    QTest::newRow("e-mail, wrong password")
        << Handler::TestEmail << QByteArray("first@example.test") << QByteArray("Wr0ng-pa55word")
        << loginDenied;
    QTest::newRow("e-mail, rejected recipient")
        << Handler::TestEmail << QByteArray("first@example.test,nobody@example.test") << right
        << (rejected + QStringList{"nobody@example.test"});
    // The engine refuses an e-mail without a sender before it connects.
    QTest::newRow("e-mail, recipient text begins with a comma")
        << Handler::TestEmail << QByteArray(",first@example.test") << right
        << QStringList{"The e-mail has no sender address."};
    QTest::newRow("text message, wrong password")
        << Handler::TextMessage << QByteArray("first@example.test") << QByteArray("Wr0ng-pa55word")
        << loginDenied;
    QTest::newRow("text message, gateway refuses the phone")
        << Handler::TextMessage << QByteArray("first@example.test") << right
        << (rejected + QStringList{"5551234567@sms-b.example.test"});
}

void TestTestAlerts::refusedSendShowsTheTranscript()
{
    QFETCH(Handler, handler);
    QFETCH(QByteArray, recipients);
    QFETCH(QByteArray, password);
    QFETCH(QStringList, explanation);
    SmtpServer server;
    SmtpServer::Options options;
    options.user = kUser;
    options.password = kPassword;
    options.rejectedRecipients = {"nobody@example.test", "5551234567@sms-b.example.test"};
    QVERIFY2(server.start(options), qPrintable(server.errorText()));
    MainFormFixture f;
    AlertWindow window(f);
    QList<QByteArray> values = settingsFor(server.port(), recipients);
    values[settingtable::wireIndex(Setting::NeedsLogin)] = "-1";
    values[settingtable::wireIndex(Setting::SmtpUsername)] = kUser.toUtf8();
    values[settingtable::wireIndex(Setting::SmtpPassword)] = password;
    f.setValues(values);
    f.createMailManager = realMailManager;
    QVERIFY(window.create());

    buttonFor(f, handler)->click();

    QCOMPARE(window.errorTexts.size(), 1);
    for (const QString& part : explanation)
        QVERIFY2(window.errorTexts[0].contains(part), qPrintable(window.errorTexts[0]));
    QVERIFY2(!window.errorTexts[0].contains(QString::fromUtf8(password)),
             qPrintable(window.errorTexts[0]));
    QCOMPARE(f.dialogs.notices(), QStringList());
    QCOMPARE(f.dialogs.errors(), QStringList());
    QCOMPARE(server.messages().size(), 0);
    QCOMPARE(window.errorForm->isVisible(), false);
}

void TestTestAlerts::engineTagsRemovedFromTheEmailErrorOnly_data()
{
    QTest::addColumn<Handler>("handler");
    QTest::addColumn<QString>("shown");
    const QString text = "ChilkatLog:\n  SendEmail:\n    chilkatLOG: 550 refused\n";
    QTest::newRow("e-mail") << Handler::TestEmail << "\n  SendEmail:\n     550 refused\n";
    QTest::newRow("text message") << Handler::TextMessage << text;
}

void TestTestAlerts::engineTagsRemovedFromTheEmailErrorOnly()
{
    QFETCH(Handler, handler);
    QFETCH(QString, shown);
    MainFormFixture f;
    AlertWindow window(f);
    RecordingMailManager::Record record;
    record.sendResult = 0;
    record.errorText = "ChilkatLog:\n  SendEmail:\n    chilkatLOG: 550 refused\n";
    f.createMailManager = RecordingMailManager::factory(record);
    QVERIFY(window.create());
    buttonFor(f, handler)->click();
    QCOMPARE(window.errorTexts, QStringList{shown});
    QCOMPARE(f.dialogs.shown.size(), 0);
}

void TestTestAlerts::clockReadOnceForTheDateAndOnceForTheTime()
{
    MainFormFixture f;
    AlertWindow window(f);
    RecordingMailManager::Record record;
    f.createMailManager = RecordingMailManager::factory(record);
    QList<QDateTime> readings;
    f.adjustContext = [&readings](MainFormContext& context) {
        context.clock = [&readings] {
            return readings.isEmpty() ? QDateTime(QDate(2000, 1, 1), QTime(1, 1, 1))
                                      : readings.takeFirst();
        };
    };
    f.setValues(settingsFor(25));
    QVERIFY(window.create());
    // Midnight passes between the two readings.
    readings = {QDateTime(QDate(2026, 12, 10), QTime(23, 59, 59)),
                QDateTime(QDate(2026, 12, 11), QTime(0, 0, 1))};
    f.ui().AdvGlowButton1->click();
    QCOMPARE(record.sent.size(), 1);
    QVERIFY2(record.sent[0].body().startsWith("Date: 12/10/26 12:00:01 AM"),
             qPrintable(record.sent[0].body()));
    QVERIFY(readings.isEmpty());
}

void TestTestAlerts::engineCallsInOrder_data()
{
    QTest::addColumn<Handler>("handler");
    QTest::addColumn<Changes>("changes");
    QTest::addColumn<int>("sendResult");
    QTest::addColumn<QStringList>("calls");

    const QStringList server{"SmtpHost 127.0.0.1", "SmtpPort 587"};
    const QStringList login{"SmtpUsername user", "SmtpPassword secret"};
    const QString send = "SendEmail (busy)";
    const QStringList emailSent{send, "notice: Success: Test Email Sent", "CloseSmtpConnection",
                                "released"};
    const QStringList emailRefused{send, "LastErrorText", "error dialog: 535 denied",
                                   "CloseSmtpConnection", "released"};
    const QStringList messageSent{send, "notice: Success: (SMS) Text Message Sent", "released"};
    const QStringList messageRefused{send, "LastErrorText", "error dialog: 535 denied", "released"};
    const Changes ssl{{Setting::UseSsl, "-1"}};
    const Changes auth{{Setting::NeedsLogin, "-1"}};

    QTest::newRow("e-mail, plain") << Handler::TestEmail << Changes{} << 1 << server + emailSent;
    QTest::newRow("e-mail, hexadecimal port")
        << Handler::TestEmail << Changes{{Setting::SmtpPort, "0x24B"}} << 1 << server + emailSent;
    QTest::newRow("e-mail, SSL and login") << Handler::TestEmail << ssl + auth << 1
                                           << QStringList{"SmtpSsl 1"} + server + login + emailSent;
    QTest::newRow("e-mail, login without password")
        << Handler::TestEmail << auth + Changes{{Setting::SmtpPassword, ""}} << 1
        << server + emailSent;
    QTest::newRow("e-mail, login without user name")
        << Handler::TestEmail << auth + Changes{{Setting::SmtpUsername, ""}} << 1
        << server + emailSent;
    QTest::newRow("e-mail, credentials but no login")
        << Handler::TestEmail << Changes{} << 1 << server + emailSent;
    QTest::newRow("e-mail, refused")
        << Handler::TestEmail << Changes{} << 0 << server + emailRefused;
    QTest::newRow("text message, plain")
        << Handler::TextMessage << Changes{} << 1 << server + messageSent;
    QTest::newRow("text message, SSL and login")
        << Handler::TextMessage << ssl + auth << 1
        << QStringList{"SmtpSsl 1"} + server + login + messageSent;
    QTest::newRow("text message, login without password")
        << Handler::TextMessage << auth + Changes{{Setting::SmtpPassword, ""}} << 1
        << server + messageSent;
    QTest::newRow("text message, refused")
        << Handler::TextMessage << Changes{} << 0 << server + messageRefused;
}

void TestTestAlerts::engineCallsInOrder()
{
    QFETCH(Handler, handler);
    QFETCH(Changes, changes);
    QFETCH(int, sendResult);
    QFETCH(QStringList, calls);
    MainFormFixture f;
    AlertWindow window(f);
    f.setValues(withChanges(settingsFor(587), changes));
    RecordingMailManager::Record record;
    record.sendResult = sendResult;
    record.errorText = "535 denied";
    f.createMailManager = RecordingMailManager::factory(record);
    QVERIFY(window.create());
    // The boxes come after the send, with the normal cursor back.
    const auto cursorNote = [] {
        return QApplication::overrideCursor() ? QStringLiteral(" (busy)") : QString();
    };
    f.dialogs.whileShown = [&](const ScriptedDialogs::Shown& box) {
        record.calls.append("notice: " + box.text + cursorNote());
    };
    window.onErrorDialog = [&] {
        record.calls.append("error dialog: " + window.errorTexts.last() + cursorNote());
    };

    buttonFor(f, handler)->click();

    QCOMPARE(record.calls, calls);
    QCOMPARE(record.created, 1);
    QVERIFY(!QApplication::overrideCursor());
}

void TestTestAlerts::refusalsSendNothing_data()
{
    QTest::addColumn<Handler>("handler");
    QTest::addColumn<Changes>("changes");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("focus");

    const QString details = "Velmora uses an email engine to send SMS \r\n"
                            "Text messages to your mobile device.  Please \r\n"
                            "enter your email details first.";
    QTest::newRow("e-mail, address and server empty")
        << Handler::TestEmail << Changes{{Setting::Recipients, ""}, {Setting::SmtpServer, ""}}
        << "The Email Address cannot be blank." << int(TFormMain::EmailPage) << "txtEmail";
    QTest::newRow("e-mail, port empty")
        << Handler::TestEmail << Changes{{Setting::SmtpPort, ""}}
        << "The SMTP Port cannot be blank." << int(TFormMain::EmailPage) << "txtSMTPPort";
    QTest::newRow("text message, phone and carrier wrong, e-mail empty")
        << Handler::TextMessage
        << Changes{{Setting::PhoneNumber, "555123456"},
                   {Setting::Carrier, "-1"},
                   {Setting::Recipients, ""}}
        << "Error: The phone number is not correct." << int(TFormMain::TextMessagePage)
        << "txtPhoneNumber";
    QTest::newRow("text message, no carrier")
        << Handler::TextMessage << Changes{{Setting::Carrier, "-1"}}
        << "Error: Please select a mobile provider." << int(TFormMain::TextMessagePage)
        << "cboCellularProviders";
    QTest::newRow("text message, server empty")
        << Handler::TextMessage << Changes{{Setting::SmtpServer, ""}} << details
        << int(TFormMain::EmailPage) << "txtEmail";
    QTest::newRow("text message, address empty")
        << Handler::TextMessage << Changes{{Setting::Recipients, ""}} << details
        << int(TFormMain::EmailPage) << "txtEmail";
    QTest::newRow("text message, port empty")
        << Handler::TextMessage << Changes{{Setting::SmtpPort, ""}} << details
        << int(TFormMain::EmailPage) << "txtEmail";
}

void TestTestAlerts::refusalsSendNothing()
{
    QFETCH(Handler, handler);
    QFETCH(Changes, changes);
    QFETCH(QString, notice);
    QFETCH(int, page);
    QFETCH(QString, focus);
    MainFormFixture f;
    AlertWindow window(f);
    const QList<QByteArray> values = withChanges(settingsFor(25, " first@example.test"), changes);
    f.setValues(values);
    RecordingMailManager::Record record;
    f.createMailManager = RecordingMailManager::factory(record);
    QVERIFY(window.create());

    buttonFor(f, handler)->click();

    QCOMPARE(f.dialogs.notices(), QStringList{notice});
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(record.created, 0);
    QCOMPARE(f.form().pager().currentIndex(), page);
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    // Nothing was cleaned or marked as changed.
    QCOMPARE(f.ui().txtEmail->text(),
             QString::fromUtf8(values[settingtable::wireIndex(Setting::Recipients)]));
    QVERIFY(!f.ui().btnApply->isEnabled());
}

void TestTestAlerts::errorsEndTheAttempt_data()
{
    QTest::addColumn<Handler>("handler");
    QTest::addColumn<QByteArray>("recipients");
    QTest::addColumn<QByteArray>("port");
    QTest::addColumn<bool>("engineAvailable");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("boxAfter");

    const QStringList prepared{"SmtpHost 127.0.0.1", "SmtpPort 25", "released"};
    const QStringList hostOnly{"SmtpHost 127.0.0.1", "released"};
    for (Handler handler : {Handler::TestEmail, Handler::TextMessage}) {
        const QString prefix = handler == Handler::TestEmail ? QStringLiteral("e-mail, ")
                                                             : QStringLiteral("text message, ");
        // ")" is coded below ".", so the error box adds no full stop.
        QTest::newRow(qPrintable(prefix + "blanks only"))
            << handler << QByteArray("   ") << QByteArray("25") << true
            << "List index out of bounds (0)" << prepared << "";
        QTest::newRow(qPrintable(prefix + "port of letters"))
            << handler << QByteArray(" first@example.test") << QByteArray("abc") << true
            << "'abc' is not a valid integer value." << hostOnly << " first@example.test";
        QTest::newRow(qPrintable(prefix + "no mail engine"))
            << handler << QByteArray(" first@example.test") << QByteArray("25") << false
            << "The mail engine is not available." << QStringList() << " first@example.test";
    }
    QTest::newRow("e-mail, port beyond 32 bits")
        << Handler::TestEmail << QByteArray("first@example.test") << QByteArray("2147483648")
        << true << "'2147483648' is not a valid integer value." << hostOnly << "first@example.test";
}

void TestTestAlerts::errorsEndTheAttempt()
{
    QFETCH(Handler, handler);
    QFETCH(QByteArray, recipients);
    QFETCH(QByteArray, port);
    QFETCH(bool, engineAvailable);
    QFETCH(QString, error);
    QFETCH(QStringList, calls);
    QFETCH(QString, boxAfter);
    MainFormFixture f;
    AlertWindow window(f);
    QList<QByteArray> values = settingsFor(25, recipients);
    values[settingtable::wireIndex(Setting::SmtpPort)] = port;
    f.setValues(values);
    RecordingMailManager::Record record;
    f.createMailManager = RecordingMailManager::factory(record);
    if (!engineAvailable)
        f.createMailManager = [] { return std::unique_ptr<AbstractMailManager>(); };
    QVERIFY(window.create());

    buttonFor(f, handler)->click();

    QCOMPARE(f.dialogs.errors(), QStringList{error});
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(window.errorTexts, QStringList());
    QCOMPARE(record.calls, calls);
    QCOMPARE(f.ui().txtEmail->text(), boxAfter);
    QCOMPARE(f.ui().btnApply->isEnabled(), QString::fromUtf8(recipients) != boxAfter);
}

void TestTestAlerts::deliveredThroughPostfix()
{
    const QString reason = testservers::PostfixInstance::unavailableReason();
    if (!reason.isEmpty())
        QSKIP(qPrintable(reason));
    testservers::SmtpCertificates certificates;
    QVERIFY2(certificates.generate(), qPrintable(certificates.errorText()));
    // Postfix offers STARTTLS, which the engine takes: trust the test CA only.
    qputenv("CURL_CA_BUNDLE", certificates.caFile().toLocal8Bit());
    testservers::PostfixInstance postfix;
    const QString first = QStringLiteral("first@example.test");
    const QString second = QStringLiteral("second@example.test");
    const QString phone = QStringLiteral("5551234567@sms-b.example.test");
    for (const QString& address : {first, second, phone})
        postfix.addMailbox(address);
    QVERIFY2(postfix.start(certificates.serverCertificate(), certificates.serverKey()),
             qPrintable(postfix.errorText()));

    MainFormFixture f;
    AlertWindow window(f);
    f.setValues(settingsFor(postfix.port(), "first@example.test, second@example.test"));
    f.createMailManager = realMailManager;
    QVERIFY(window.create());
    f.ui().AdvGlowButton1->click();
    f.ui().btnSendTestMessage->click();
    QCOMPARE(window.errorTexts, QStringList());
    QCOMPARE(f.dialogs.notices(),
             (QStringList{"Success: Test Email Sent", "Success: (SMS) Text Message Sent"}));

    QTRY_COMPARE_WITH_TIMEOUT(postfix.delivered(phone).size(), 1, testtime::scaled(15000));
    for (const QString& mailbox : {first, second}) {
        QTRY_COMPARE_WITH_TIMEOUT(postfix.delivered(mailbox).size(), 1, testtime::scaled(15000));
        const QByteArray message = postfix.delivered(mailbox).constFirst();
        QVERIFY2(message.contains("\nFrom: first@example.test\n"), message.constData());
        QVERIFY2(message.contains("\nTo: first@example.test, second@example.test\n"),
                 message.constData());
        QVERIFY2(message.contains("\nSubject: Velmora Alert (TEST)\n"), message.constData());
        QVERIFY2(message.contains("\n\nDate: 12/10/26 2:03:07 PM"), message.constData());
    }
    const QByteArray text = postfix.delivered(phone).constFirst();
    QVERIFY2(text.contains("\nFrom: Velmora <first@example.test>\n"), text.constData());
    QVERIFY2(text.contains("\nTo: " + phone.toUtf8() + "\n"), text.constData());
    QVERIFY2(text.contains("\nSubject: Velmora(TEST)\n"), text.constData());
    QVERIFY2(text.endsWith("\n\nComputer Name: pc-1\nPublic IP Address: 203.0.113.7\n"
                           "Local IP Address: 192.168.1.20\n"),
             text.constData());
}

void TestTestAlerts::portTextIsReadAsTheAlertsReadIt_data()
{
    // The same table runs against the service's e-mail alerts (tst_service_mail_port).
    QTest::addColumn<QString>("text");
    QTest::addColumn<smtpporttable::Outcome>("outcome");
    QTest::addColumn<QString>("refusal");
    for (const smtpporttable::Row& row : smtpporttable::rows())
        QTest::newRow(row.name) << row.text << row.outcome << row.refusal;
}

void TestTestAlerts::portTextIsReadAsTheAlertsReadIt()
{
    QFETCH(QString, text);
    QFETCH(smtpporttable::Outcome, outcome);
    QFETCH(QString, refusal);
    SmtpServer server;
    QVERIFY2(server.start({}), qPrintable(server.errorText()));
    MainFormFixture f;
    AlertWindow window(f);
    f.setValues(
        withChanges(settingsFor(server.port()),
                    {{Setting::SmtpPort, smtpporttable::filled(text, server.port()).toUtf8()}}));
    f.createMailManager = realMailManager;
    QVERIFY(window.create());

    f.ui().AdvGlowButton1->click();
    refusal = smtpporttable::filled(refusal, server.port());
    switch (outcome) {
    case smtpporttable::Outcome::Sent:
        QCOMPARE(f.dialogs.notices(), QStringList{"Success: Test Email Sent"});
        QTRY_COMPARE(server.messages().size(), 1);
        return;
    case smtpporttable::Outcome::NotAnInteger:
        QCOMPARE(f.dialogs.errors(), QStringList{refusal + u'.'});
        QCOMPARE(window.errorTexts, QStringList());
        break;
    case smtpporttable::Outcome::NotAPort:
        QCOMPARE(f.dialogs.errors(), QStringList());
        QCOMPARE(window.errorTexts.size(), 1);
        QVERIFY2(window.errorTexts.first().contains(refusal),
                 qPrintable(window.errorTexts.first()));
        break;
    }
    QVERIFY(f.dialogs.notices().isEmpty());
    QCOMPARE(server.messages().size(), 0);
}

QTEST_MAIN(TestTestAlerts)
#include "tst_test_alerts.moc"
