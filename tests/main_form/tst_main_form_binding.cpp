#include "MainFormFixture.h"
#include "common/AlertSettings.h"
#include "common/ServiceProtocol.h"
#include "support/Absence.h"
#include "support/TestTime.h"
#include "toolkit/OnOffSwitch.h"
#include "toolkit/SidePager.h"
#include "ui_MainForm.h"

#include <QClipboard>
#include <QMenu>
#include <QtTest>

namespace {

// The state of a setting's control, as the text the window would save: found
// by the name the table gives, read by the kind of control it is.
QByteArray controlState(QWidget& form, Setting setting)
{
    QWidget* control =
        form.findChild<QWidget*>(QString::fromLatin1(settingtable::info(setting).control));
    const auto flag = [](bool on) { return on ? QByteArray("-1") : QByteArray("0"); };
    if (auto* onOff = qobject_cast<OnOffSwitch*>(control))
        return flag(onOff->isOn());
    if (auto* box = qobject_cast<QCheckBox*>(control))
        return flag(box->isChecked());
    if (auto* field = qobject_cast<QLineEdit*>(control))
        return field->text().toUtf8();
    if (auto* list = qobject_cast<QComboBox*>(control))
        return QByteArray::number(list->currentIndex());
    qFatal("no control for %s", settingtable::info(setting).fileKey);
}

} // namespace

class TestMainFormBinding : public QObject
{
    Q_OBJECT

private slots:
    void startUpMakesItsExchangesInOrder();
    void creationFillsCaptionsAndHeadings();
    void pagesAndTabs();
    void eachValueLoadsAndSavesInItsEncoding_data();
    void eachValueLoadsAndSavesInItsEncoding();
    void hiddenValuesTravelBackUnchanged();
    void loadingAsksNothingAndMarksNothing();
    void phoneNumberLongerThanTypingLimitShownInFull();
    void settingsFailures_data();
    void settingsFailures();
    void carrierReplies_data();
    void carrierReplies();
    void serviceNotRunningEndsTheProgram();
    void statusShownAfterRefresh();
    void failedRefreshChangesNothingOnScreen();
    void shortStatusReplyKeepsLaterValues();
    void refreshTriggers();
    void trayWithoutPointerRefreshesWhenTipIsDue();
    void copyItemsCopyBareAddresses();
    void sslQuestion_data();
    void sslQuestion();
    void authFieldsFollowTheirBox();
    void enterOnEmailPageSendsTestEmail_data();
    void enterOnEmailPageSendsTestEmail();
    void phonePasteIsCutToFit();
};

void TestMainFormBinding::startUpMakesItsExchangesInOrder()
{
    MainFormFixture f;
    f.create();
    QVERIFY(f.service.waitForExchanges(5));
    // The extension's settings right after the 18, before the status; the
    // extension's status (IPv6 being watched) right after the status.
    QCOMPARE(f.service.commands(),
             (QList<QByteArray>{"GetCellularProviders", "GetSettings", "GetKeyedSettings",
                                "UpdateStatus", "GetKeyedStatus"}));
    for (const FakeService::Exchange& e : f.service.exchanges())
        QVERIFY(!e.hasList);
    QCOMPARE(f.quitRequests, 0);
    QVERIFY(f.dialogs.shown.isEmpty());
}

void TestMainFormBinding::creationFillsCaptionsAndHeadings()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    QCOMPARE(form.windowTitle(), QString("Velmora"));
    QCOMPARE(f.ui().lblStatusHeading->text(), QString("Velmora - Status"));
    QCOMPARE(f.ui().lblEmailDescription->text(),
             QString("When your ip address changes, Velmora can send email alerts."));
    QCOMPARE(form.size(), QSize(638, 515));
    QVERIFY(!f.ui().btnApply->isEnabled());
    QVERIFY(f.tray.isShown());
    QCOMPARE(form.SessionEnding, false);
    QCOMPARE(form.IsLoading, false);
}

void TestMainFormBinding::pagesAndTabs()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    QCOMPARE(form.pager().currentIndex(), int(TFormMain::StatusPage));
    const QList<QWidget*> pages{f.ui().tabStatus,     f.ui().tabEmail, f.ui().tabTextMessage,
                                f.ui().tabRunProgram, f.ui().tabFTP,   f.ui().tabOptions,
                                f.ui().tabLog};
    for (int i = 0; i < pages.size(); ++i)
        QCOMPARE(f.ui().pageControl->indexOf(pages[i]), i);
    QCOMPARE(f.ui().pageControl->indexOf(f.ui().tabPush), int(TFormMain::PushPage));
    const QStringList tabs{"Status",      "Email", "Text Message", "Push",
                           "Run Program", "FTP",   "Options",      "History Log"};
    for (int row = 0; row < tabs.size(); ++row)
        QCOMPARE(f.ui().tabList->item(row)->text(), tabs[row]);
    QCOMPARE(form.pager().tabOf(TFormMain::RunProgramPage), 4);
    QCOMPARE(form.pager().tabOf(TFormMain::PushPage), 3);
    QVERIFY(!form.pager().isTabVisible(TFormMain::RunProgramPage));
    QVERIFY(!form.pager().isTabVisible(TFormMain::FtpPage));
    for (int page : {0, 1, 2, 5, 6, 7})
        QVERIFY(form.pager().isTabVisible(page));
    QCOMPARE(f.ui().txtSMTPPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(f.ui().txtFTPPassword->echoMode(), QLineEdit::Password);
    QCOMPARE(f.ui().Edit1->text(), QString("velmora.html"));
    QCOMPARE(f.ui().Edit2->text(), QString("/"));
    QVERIFY(f.ui().SwitchRunProgram->isHidden());
    QVERIFY(f.ui().SwitchFTP->isHidden());
    QVERIFY(f.ui().AdvGlowButton2->isHidden());
    const QStringList menu = [&] {
        QStringList texts;
        for (QAction* a : form.trayMenu()->actions())
            texts.append(a->isSeparator() ? "-" : a->text());
        return texts;
    }();
    QCOMPARE(menu, (QStringList{"(Copy) Public IP: 203.0.113.7", "(Copy) Local IP: 192.168.1.20",
                                "-", "Show Velmora", "-", "E&xit"}));
    QCOMPARE(form.trayMenu()->defaultAction()->text(), QString("Show Velmora"));
    QVERIFY(form.trayMenu()->defaultAction()->font().bold());
}

void TestMainFormBinding::eachValueLoadsAndSavesInItsEncoding_data()
{
    QTest::addColumn<Setting>("setting");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("saved");
    using enum Setting;

    QTest::newRow("email alerts on") << EmailAlerts << QByteArray("-1") << QByteArray("-1");
    QTest::newRow("email alerts TRUE") << EmailAlerts << QByteArray("TRUE") << QByteArray("-1");
    QTest::newRow("text alerts 1") << TextAlerts << QByteArray("1") << QByteArray("-1");
    QTest::newRow("run program") << RunProgram << QByteArray("true") << QByteArray("-1");
    QTest::newRow("ftp false") << FtpPage << QByteArray("false") << QByteArray("0");
    QTest::newRow("recipients") << Recipients << QByteArray(" a@b.example , c@d.example ")
                                << QByteArray(" a@b.example , c@d.example ");
    QTest::newRow("recipients empty") << Recipients << QByteArray("") << QByteArray("");
    QTest::newRow("server") << SmtpServer << QByteArray("mail.example.net")
                            << QByteArray("mail.example.net");
    QTest::newRow("port letters") << SmtpPort << QByteArray("abc") << QByteArray("abc");
    QTest::newRow("ssl") << UseSsl << QByteArray("-1") << QByteArray("-1");
    QTest::newRow("auth 0.5") << NeedsLogin << QByteArray("0.5") << QByteArray("-1");
    QTest::newRow("user") << SmtpUsername << QByteArray("jos\xc3\xa9") << QByteArray("jos\xc3\xa9");
    QTest::newRow("password") << SmtpPassword << QByteArray("p\xc3\xa4ss|,word ")
                              << QByteArray("p\xc3\xa4ss|,word ");
    QTest::newRow("phone") << PhoneNumber << QByteArray("555-123-45") << QByteArray("555-123-45");
    QTest::newRow("carrier 3") << Carrier << QByteArray("3") << QByteArray("3");
    QTest::newRow("carrier hex") << Carrier << QByteArray("$2") << QByteArray("2");
    QTest::newRow("carrier -1") << Carrier << QByteArray("-1") << QByteArray("-1");
    QTest::newRow("carrier out of range") << Carrier << QByteArray("7") << QByteArray("-1");
    QTest::newRow("carrier empty") << Carrier << QByteArray("") << QByteArray("-1");
    QTest::newRow("program") << Program << QByteArray("/opt/x y/run.sh")
                             << QByteArray("/opt/x y/run.sh");
    QTest::newRow("ftp host") << FtpHost << QByteArray("ftp.example.org")
                              << QByteArray("ftp.example.org");
    QTest::newRow("ftp user") << FtpUsername << QByteArray("") << QByteArray("");
    QTest::newRow("ftp password") << FtpPassword << QByteArray("*") << QByteArray("*");
    QTest::newRow("hide icon") << HideTrayIcon << QByteArray("-1") << QByteArray("-1");
}

void TestMainFormBinding::eachValueLoadsAndSavesInItsEncoding()
{
    QFETCH(Setting, setting);
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, saved);
    MainFormFixture f;
    QList<QByteArray> values = MainFormFixture::defaultValues();
    values[settingtable::wireIndex(Setting::Carrier)] = "-1"; // no carrier unless the row sets one
    values[settingtable::wireIndex(setting)] = stored;
    f.setValues(values);
    TFormMain& form = f.create();
    QCOMPARE(controlState(form, setting), saved);
    QVERIFY(f.dialogs.shown.isEmpty());

    form.SaveSettings();
    const auto lists = f.waitForSavedLists(1);
    QCOMPARE(lists.size(), 1);
    QCOMPARE(lists[0].size(), 19);
    QCOMPARE(lists[0][0], QByteArray("18"));
    QCOMPARE(lists[0][1 + settingtable::wireIndex(setting)], saved);
    for (int position = 1; position <= settingtable::WireValueCount; ++position)
        QCOMPARE(lists[0][position], controlState(form, settingtable::atWirePosition(position)));
}

void TestMainFormBinding::hiddenValuesTravelBackUnchanged()
{
    MainFormFixture f;
    QList<QByteArray> values = MainFormFixture::defaultValues();
    values[settingtable::wireIndex(Setting::RunProgram)] = "-1";
    values[settingtable::wireIndex(Setting::FtpPage)] = "-1";
    values[settingtable::wireIndex(Setting::Program)] = "/home/me/on-change.sh";
    values[settingtable::wireIndex(Setting::FtpHost)] = "ftp.example.org";
    values[settingtable::wireIndex(Setting::FtpUsername)] = "webuser";
    values[settingtable::wireIndex(Setting::FtpPassword)] = "web pass";
    f.setValues(values);
    TFormMain& form = f.create();
    form.SaveSettings();
    const auto lists = f.waitForSavedLists(1);
    QCOMPARE(lists.size(), 1);
    QCOMPARE(lists[0].mid(1), values);
}

void TestMainFormBinding::loadingAsksNothingAndMarksNothing()
{
    MainFormFixture f;
    QList<QByteArray> values = MainFormFixture::defaultValues();
    values[settingtable::wireIndex(Setting::EmailAlerts)] = "-1"; // e-mail alerts on with ...
    values[settingtable::wireIndex(Setting::Recipients)] =
        ""; // ... an empty address: loading does not validate
    values[settingtable::wireIndex(Setting::UseSsl)] = "-1"; // SSL with port 25: no question
    values[settingtable::wireIndex(Setting::NeedsLogin)] = "-1";
    values[settingtable::wireIndex(Setting::HideTrayIcon)] =
        "-1"; // hide icon: the icon is shown all the same
    f.setValues(values);
    f.create();
    QVERIFY(f.dialogs.shown.isEmpty());
    QVERIFY(!f.ui().btnApply->isEnabled());
    QCOMPARE(f.ui().txtSMTPPort->text(), QString("25"));
    QVERIFY(f.tray.isShown());
    QVERIFY(f.ui().txtSMTPUsername->isEnabled());
}

void TestMainFormBinding::phoneNumberLongerThanTypingLimitShownInFull()
{
    MainFormFixture f;
    QList<QByteArray> values = MainFormFixture::defaultValues();
    values[settingtable::wireIndex(Setting::PhoneNumber)] = "555123456789";
    f.setValues(values);
    f.create();
    QCOMPARE(f.ui().txtPhoneNumber->text(), QString("555123456789"));
    // Typing is refused until the number is shorter than ten characters.
    QLineEdit* field = f.ui().txtPhoneNumber;
    field->setFocus();
    field->end(false);
    QTest::keyClicks(field, "0");
    QCOMPARE(field->text(), QString("555123456789"));
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(field->text(), QString("555123456"));
    QTest::keyClicks(field, "12");
    QCOMPARE(field->text(), QString("5551234561"));
}

void TestMainFormBinding::settingsFailures_data()
{
    QTest::addColumn<QByteArray>("reply");
    // The first setting that did not reach its control; the wire settings
    // before it did, the others keep their initial contents.
    QTest::addColumn<Setting>("failing");

    QList<QByteArray> values = MainFormFixture::defaultValues();
    values[settingtable::wireIndex(Setting::HideTrayIcon)] = "-1";
    QList<QByteArray> shortReply = values;
    shortReply.removeAt(settingtable::wireIndex(Setting::HideTrayIcon));
    QTest::newRow("21 lines") << MainFormFixture::settingsReply(shortReply)
                              << Setting::HideTrayIcon;
    for (const char* bad : {"yes", ""}) {
        QList<QByteArray> v = values;
        v[settingtable::wireIndex(Setting::TextAlerts)] = bad;
        QTest::newRow(qPrintable(QString("boolean '%1'").arg(QLatin1String(bad))))
            << MainFormFixture::settingsReply(v) << Setting::TextAlerts;
    }
    QList<QByteArray> v = values;
    v[settingtable::wireIndex(Setting::Carrier)] = "abc";
    QTest::newRow("carrier abc") << MainFormFixture::settingsReply(v) << Setting::Carrier;
    QTest::newRow("status only") << FakeService::countedList({"v1", "pc", "1.2.3.4", "10.0.0.1"})
                                 << Setting::EmailAlerts;
    QTest::newRow("closed early") << QByteArray("\0\0\0\x16v1\r\n", 8) << Setting::EmailAlerts;
}

void TestMainFormBinding::settingsFailures()
{
    QFETCH(QByteArray, reply);
    QFETCH(Setting, failing);
    MainFormFixture f;
    f.service.setReply("GetSettings", reply);
    f.create();
    QCOMPARE(f.dialogs.notices(), QStringList{"Could not connect to the Velmora Service \r\n"
                                              "component.  Please try to restart your \r\n"
                                              "computer.  If the problem persists reinstall \r\n"
                                              "the software or contact support."});
    QCOMPARE(f.quitRequests, 1);
    // Values before the failing line are applied; the rest keep their initial contents.
    const QList<QByteArray> values = MainFormFixture::defaultValues();
    const auto applied = [failing](Setting setting) {
        return settingtable::wireIndex(setting) < settingtable::wireIndex(failing);
    };
    for (Setting text :
         {Setting::Recipients, Setting::PhoneNumber, Setting::FtpPassword, Setting::Program}) {
        QCOMPARE(controlState(f.form(), text),
                 applied(text) ? values[settingtable::wireIndex(text)] : QByteArray());
    }
    QCOMPARE(f.ui().txtSMTPPort->text(), QString("25"));
    QVERIFY(!f.ui().chkHideSysTrayIcon->isChecked());
    // Creation goes on after the notice, without the extension's exchange.
    QVERIFY(f.service.waitForExchanges(3));
    QCOMPARE(f.service.commands().last(), QByteArray("UpdateStatus"));
    QVERIFY(!f.service.commands().contains(service::GetKeyedSettings));
}

void TestMainFormBinding::carrierReplies_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("providers");

    QTest::newRow("only line 0") << QList<QByteArray>{"v1"} << QStringList{} << 0;
    QTest::newRow("third field ignored")
        << QList<QByteArray>{"v1", "A|a.example|x", "B|b.example"} << QStringList{"A", "B"} << 2;
    QTest::newRow("leading blank kept")
        << QList<QByteArray>{"v1", " Bell|txt.bell.ca"} << QStringList{" Bell"} << 1;
    QTest::newRow("line without bar")
        << QList<QByteArray>{"v1", "A|a.example", "NoGateway", "C|c.example"} << QStringList{} << 1;
}

void TestMainFormBinding::carrierReplies()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QStringList, items);
    QFETCH(int, providers);
    MainFormFixture f;
    f.service.setReply("GetCellularProviders", FakeService::countedList(lines));
    QList<QByteArray> values = MainFormFixture::defaultValues();
    values[settingtable::wireIndex(Setting::Carrier)] = "0";
    f.setValues(values);
    TFormMain& form = f.create();
    QStringList shown;
    for (int i = 0; i < f.ui().cboCellularProviders->count(); ++i)
        shown.append(f.ui().cboCellularProviders->itemText(i));
    QCOMPARE(shown, items);
    QCOMPARE(form.Providers.size(), providers);
    QCOMPARE(f.ui().cboCellularProviders->currentIndex(), items.isEmpty() ? -1 : 0);
    QVERIFY(f.dialogs.shown.isEmpty());
}

void TestMainFormBinding::serviceNotRunningEndsTheProgram()
{
    MainFormFixture f;
    MainFormContext unused;
    f.service.setReply("GetSettings", QByteArray());
    f.create();
    QCOMPARE(f.dialogs.notices().size(), 1);
    QCOMPARE(f.quitRequests, 1);
}

void TestMainFormBinding::statusShownAfterRefresh()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    QCOMPARE(f.ui().lblComputerName->text(), QString("Computer Name: pc-1"));
    QCOMPARE(f.ui().lblPublicIP->text(), QString("Public IP Address: 203.0.113.7"));
    QCOMPARE(f.ui().lblLocalIP->text(), QString("Local IP Address: 192.168.1.20"));
    QCOMPARE(f.tray.toolTip(), QString("Velmora\r\n==============\r\nComputer Name: pc-1\r\n"
                                       "Public IP Address: 203.0.113.7\r\n"
                                       "Local IP Address: 192.168.1.20"));
    f.service.setReply("UpdateStatus", MainFormFixture::statusReply("pc-2", "", "10.1.1.1"));
    form.UpdateStatus();
    QCOMPARE(f.ui().lblPublicIP->text(), QString("Public IP Address: "));
    QCOMPARE(form.trayMenu()->actions().at(0)->text(), QString("(Copy) Public IP: "));
    QCOMPARE(form.trayMenu()->actions().at(1)->text(), QString("(Copy) Local IP: 10.1.1.1"));
}

void TestMainFormBinding::failedRefreshChangesNothingOnScreen()
{
    MainFormFixture f;
    f.service.setReply("UpdateStatus", QByteArray());
    TFormMain& form = f.create();
    // The first refresh failed: the initial texts stay, the tip stays empty ...
    QCOMPARE(f.ui().lblComputerName->text(), QString("Computer Name: "));
    QCOMPARE(form.trayMenu()->actions().at(0)->text(), QString("Public IP Address: "));
    QCOMPARE(f.tray.toolTip(), QString());
    // ... while the values from GetSettings are already there for the copy items.
    QCOMPARE(form.PublicIP, QString("203.0.113.7"));
    QVERIFY(f.dialogs.shown.isEmpty());
}

void TestMainFormBinding::shortStatusReplyKeepsLaterValues()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    const int tips = f.tray.tipChanges;
    f.service.setReply("UpdateStatus", FakeService::countedList({"v1", "pc-9", "198.51.100.1"}));
    form.UpdateStatus();
    QCOMPARE(form.ComputerName, QString("pc-9"));
    QCOMPARE(form.PublicIP, QString("198.51.100.1"));
    QCOMPARE(form.LocalIP, QString("192.168.1.20"));
    QCOMPARE(f.ui().lblComputerName->text(), QString("Computer Name: pc-1"));
    QCOMPARE(f.tray.tipChanges, tips);
}

void TestMainFormBinding::refreshTriggers()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    QVERIFY(f.service.waitForExchanges(3));
    const auto updates = [&f] { return f.service.commands().count("UpdateStatus"); };
    const qsizetype before = updates();

    f.tray.movePointer();
    f.tray.movePointer();
    QTRY_COMPARE(updates(), before + 2);
    f.tray.click(Qt::RightButton);
    QTRY_COMPARE(updates(), before + 3);
    // A double click is no click: only the Status page, shown with the window,
    // refreshes.
    f.tray.doubleClick();
    QVERIFY(form.isVisible());
    QTRY_COMPARE(updates(), before + 4);
    f.tray.doubleClick();
    QVERIFY(neverWithin(50, [&] { return updates() > before + 4; }));
    // Showing the Status page refreshes; another page does not.
    form.pager().setCurrentIndex(TFormMain::EmailPage);
    QVERIFY(neverWithin(50, [&] { return updates() > before + 4; }));
    form.pager().setCurrentIndex(TFormMain::StatusPage);
    QTRY_COMPARE(updates(), before + 5);
}

void TestMainFormBinding::copyItemsCopyBareAddresses()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    form.trayMenu()->actions().at(0)->trigger();
    form.trayMenu()->actions().at(1)->trigger();
    QCOMPARE(f.shell.clipboard, (QStringList{"203.0.113.7", "192.168.1.20"}));
}

void TestMainFormBinding::sslQuestion_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("tick");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QString>("portAfter");

    QTest::newRow("25, Yes") << "25" << true << true << true << "465";
    QTest::newRow("25, No") << "25" << true << false << true << "25";
    QTest::newRow("already 465") << "465" << true << true << false << "465";
    QTest::newRow("blank before 465") << " 465" << true << true << true << "465";
    QTest::newRow("clearing") << "465" << false << true << false << "465";
}

void TestMainFormBinding::sslQuestion()
{
    QFETCH(QString, port);
    QFETCH(bool, tick);
    QFETCH(bool, answer);
    QFETCH(bool, asked);
    QFETCH(QString, portAfter);
    MainFormFixture f;
    QList<QByteArray> values = MainFormFixture::defaultValues();
    values[settingtable::wireIndex(Setting::SmtpPort)] = port.toLatin1();
    values[settingtable::wireIndex(Setting::UseSsl)] = tick ? "0" : "-1";
    f.setValues(values);
    f.create();
    f.dialogs.answers = {answer};
    f.ui().chkUseSSL->click();
    QCOMPARE(f.ui().chkUseSSL->isChecked(), tick);
    QCOMPARE(f.dialogs.questions().size(), asked ? 1 : 0);
    if (asked) {
        const Question q = f.dialogs.questions().first();
        QCOMPARE(q.text, QString("The port used by most Internet Service \r\n"
                                 "Providers for SSL email sending is 465.  \r\n"
                                 "Would you like to change the SMTP port to \r\n"
                                 "465?"));
        QVERIFY(q.caption.isEmpty()); // the application title
        QCOMPARE(q.icon, Question::Icon::None);
        QVERIFY(q.escapeAnswersNo);
    }
    QCOMPARE(f.ui().txtSMTPPort->text(), portAfter);
    QVERIFY(f.ui().btnApply->isEnabled());
}

void TestMainFormBinding::authFieldsFollowTheirBox()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    QVERIFY(!f.ui().txtSMTPUsername->isEnabled());
    QVERIFY(!f.ui().lblPassword->isEnabled());
    f.ui().chkAuth->click();
    QVERIFY(f.ui().txtSMTPUsername->isEnabled());
    QVERIFY(f.ui().txtSMTPPassword->isEnabled());
    QVERIFY(f.ui().lblUsername->isEnabled());
    QVERIFY(f.ui().btnApply->isEnabled());
    f.ui().chkAuth->click();
    QVERIFY(!f.ui().txtSMTPPassword->isEnabled());
    QCOMPARE(f.ui().txtSMTPUsername->text(), QString("user"));
    form.SaveSettings();
    const auto lists = f.waitForSavedLists(1);
    const auto saved = [&lists](Setting setting) {
        return lists[0][1 + settingtable::wireIndex(setting)];
    };
    QCOMPARE(saved(Setting::NeedsLogin), QByteArray("0"));
    QCOMPARE(saved(Setting::SmtpUsername), QByteArray("user"));
    QCOMPARE(saved(Setting::SmtpPassword), QByteArray("secret"));
}

void TestMainFormBinding::enterOnEmailPageSendsTestEmail_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("presses");
    QTest::newRow("address field") << int(TFormMain::EmailPage) << "txtEmail" << 1;
    QTest::newRow("Use SSL") << int(TFormMain::EmailPage) << "chkUseSSL" << 1;
    QTest::newRow("authentication") << int(TFormMain::EmailPage) << "chkAuth" << 1;
    QTest::newRow("another button") << int(TFormMain::EmailPage) << "AdvGlowButton3" << 0;
    QTest::newRow("another page") << int(TFormMain::TextMessagePage) << "txtPhoneNumber" << 0;
}

void TestMainFormBinding::enterOnEmailPageSendsTestEmail()
{
    QFETCH(int, page);
    QFETCH(QString, focus);
    QFETCH(int, presses);
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.pager().setCurrentIndex(page);
    QWidget* focused = form.findChild<QWidget*>(focus);
    focused->setFocus();
    const auto* box = qobject_cast<QCheckBox*>(focused);
    const bool ticked = box && box->isChecked();
    QSignalSpy pressed(f.ui().AdvGlowButton1, &QPushButton::clicked);
    QTest::keyClick(focused, Qt::Key_Return);
    QCOMPARE(pressed.count(), presses);
    if (box)
        QCOMPARE(box->isChecked(), ticked); // Enter does not tick the box
}

void TestMainFormBinding::phonePasteIsCutToFit()
{
    MainFormFixture f;
    QList<QByteArray> values = MainFormFixture::defaultValues();
    values[settingtable::wireIndex(Setting::PhoneNumber)] = "555";
    f.setValues(values);
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QLineEdit* field = f.ui().txtPhoneNumber;
    field->setFocus();
    field->end(false);
    QGuiApplication::clipboard()->setText("1234567890");
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(field->text(), QString("5551234567"));
    QVERIFY(f.ui().btnApply->isEnabled());
}

void TestMainFormBinding::trayWithoutPointerRefreshesWhenTipIsDue()
{
    MainFormFixture f;
    f.create();
    QVERIFY(f.service.waitForExchanges(3));
    const auto updates = [&f] { return f.service.commands().count("UpdateStatus"); };
    const qsizetype before = updates();
    f.service.setReply("UpdateStatus",
                       MainFormFixture::statusReply("pc-2", "198.51.100.23", "10.0.0.9"));
    f.tray.makeTipDue();
    QTRY_COMPARE(updates(), before + 1);
    QCOMPARE(f.tray.toolTip(),
             QString("Velmora\r\n==============\r\nComputer Name: pc-2\r\n"
                     "Public IP Address: 198.51.100.23\r\nLocal IP Address: 10.0.0.9"));
    // Opening the menu asks the tray, not the window: on a tray that reports the
    // pointer the click has refreshed already.
    emit f.tray.menu()->aboutToShow();
    QVERIFY(neverWithin(50, [&] { return updates() > before + 1; }));
}

QTEST_MAIN(TestMainFormBinding)
#include "tst_main_form_binding.moc"
