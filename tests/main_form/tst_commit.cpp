#include "MainFormFixture.h"
#include "common/AlertSettings.h"
#include "common/WrapMessage.h"
#include "fakes/SilentListener.h"
#include "support/Absence.h"
#include "support/StrangersListener.h"
#include "support/TestTime.h"
#include "toolkit/SidePager.h"
#include "ui_MainForm.h"

#include <QMenu>
#include <QtTest>
#include <optional>

class TestCommit : public QObject
{
    Q_OBJECT

private slots:
    void emailValidation_data();
    void emailValidation();
    void textMessageValidation_data();
    void textMessageValidation();
    void carrierRuleFailsWithoutCarriers();

    void editsEnableApply();
    void commitButtons_data();
    void commitButtons();
    void cancelKeepsEditsAndApply();
    void failedSaveIsToldAndKept_data();
    void failedSaveIsToldAndKept();
    void switchesValidateOnlyWhenTurnedOn();

    void closeBoxAsksOnlyWithChanges_data();
    void closeBoxAsksOnlyWithChanges();
    void promptYesSavesWithoutValidation();
    void sessionEndAsksNothingAndSavesNothing();
    void exitItems_data();
    void exitItems();
    void hideIconOption();
    void trayClicksRestoreOnlyAHiddenWindow();
    void startedInTrayOpensOnDoubleClickOnly();
    void minimizeHidesWhileIconShown();
    void hiddenRightAfterShowingStaysHidden();
    void withoutTrayHidingGoesToTheTaskbar_data();
    void withoutTrayHidingGoesToTheTaskbar();
    void startInTrayShowsTheWindowOnlyWithoutTray_data();
    void startInTrayShowsTheWindowOnlyWithoutTray();
    void startAtLogonIsTheDesktopsNotTheService();
    void startAtLogonThatCannotBeWrittenIsReported();
};

void TestCommit::emailValidation_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("focus");

    QTest::newRow("all filled") << "a@b"
                                << "smtp"
                                << "25"
                                << ""
                                << "";
    QTest::newRow("address and server empty") << ""
                                              << ""
                                              << "25"
                                              << "The Email Address cannot be blank."
                                              << "txtEmail";
    QTest::newRow("server empty") << "a@b"
                                  << ""
                                  << "25"
                                  << "The SMTP Server cannot be blank."
                                  << "txtSMTP";
    QTest::newRow("port empty") << "a@b"
                                << "smtp"
                                << ""
                                << "The SMTP Port cannot be blank."
                                << "txtSMTPPort";
    QTest::newRow("port one blank") << "a@b"
                                    << "smtp"
                                    << " "
                                    << ""
                                    << "";
    QTest::newRow("letters in port, no at sign") << "nobody"
                                                 << "smtp"
                                                 << "abc"
                                                 << ""
                                                 << "";
}

void TestCommit::emailValidation()
{
    QFETCH(QString, email);
    QFETCH(QString, server);
    QFETCH(QString, port);
    QFETCH(QString, notice);
    QFETCH(QString, focus);
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    f.ui().txtEmail->setText(email);
    f.ui().txtSMTP->setText(server);
    f.ui().txtSMTPPort->setText(port);
    int pageWhileNoticeShown = -1;
    f.dialogs.whileShown = [&](const ScriptedDialogs::Shown&) {
        pageWhileNoticeShown = form.pager().currentIndex();
    };
    QCOMPARE(form.ValidateTestEmailForm(), notice.isEmpty());
    QCOMPARE(f.dialogs.notices(), notice.isEmpty() ? QStringList() : QStringList{notice});
    if (notice.isEmpty()) {
        QCOMPARE(form.pager().currentIndex(), int(TFormMain::StatusPage));
        return;
    }
    // The page changes only after the notice is closed.
    QCOMPARE(pageWhileNoticeShown, int(TFormMain::StatusPage));
    QCOMPARE(form.pager().currentIndex(), int(TFormMain::EmailPage));
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
}

void TestCommit::textMessageValidation_data()
{
    QTest::addColumn<QString>("phone");
    QTest::addColumn<int>("carrier");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("focus");

    QTest::newRow("valid") << "5555555555" << 1 << ""
                           << "";
    QTest::newRow("hyphenated ten") << "555-55-555" << 0 << ""
                                    << "";
    QTest::newRow("letters and blanks") << "abc de fgh" << 0 << ""
                                        << "";
    QTest::newRow("nine digits") << "555555555" << 1 << "Error: The phone number is not correct."
                                 << "txtPhoneNumber";
    QTest::newRow("twelve digits")
        << "555555555555" << 1 << "Error: The phone number is not correct."
        << "txtPhoneNumber";
    QTest::newRow("both wrong") << "1" << -1 << "Error: The phone number is not correct."
                                << "txtPhoneNumber";
    QTest::newRow("no carrier") << "5555555555" << -1 << "Error: Please select a mobile provider."
                                << "cboCellularProviders";
}

void TestCommit::textMessageValidation()
{
    QFETCH(QString, phone);
    QFETCH(int, carrier);
    QFETCH(QString, notice);
    QFETCH(QString, focus);
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    f.ui().txtPhoneNumber->setText(phone);
    f.ui().cboCellularProviders->setCurrentIndex(carrier);
    QCOMPARE(form.ValidateTextMessageForm(), notice.isEmpty());
    QCOMPARE(f.dialogs.notices(), notice.isEmpty() ? QStringList() : QStringList{notice});
    if (!notice.isEmpty()) {
        QCOMPARE(form.pager().currentIndex(), int(TFormMain::TextMessagePage));
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    }
}

void TestCommit::carrierRuleFailsWithoutCarriers()
{
    MainFormFixture f;
    f.service.setReply("GetCellularProviders", FakeService::countedList({"v1"}));
    TFormMain& form = f.create();
    QVERIFY(!form.ValidateTextMessageForm());
    QCOMPARE(f.dialogs.notices(), QStringList{"Error: Please select a mobile provider."});
}

void TestCommit::editsEnableApply()
{
    MainFormFixture f;
    f.create();
    QVERIFY(!f.ui().btnApply->isEnabled());
    QTest::keyClicks(f.ui().txtSMTP, "x");
    QTest::keyClick(f.ui().txtSMTP, Qt::Key_Backspace);
    QVERIFY(f.ui().btnApply->isEnabled()); // no comparison with what was loaded

    MainFormFixture g;
    g.create();
    g.ui().txtFTPHost->setText("changed by code"); // code-made text changes count
    QVERIFY(g.ui().btnApply->isEnabled());

    MainFormFixture h;
    h.create();
    h.ui().cboCellularProviders->setCurrentIndex(3); // code-made selection does not
    QVERIFY(!h.ui().btnApply->isEnabled());
    h.ui().Edit1->setText("other.html"); // fields that carry no setting count too
    QVERIFY(h.ui().btnApply->isEnabled());
}

void TestCommit::commitButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<bool>("visibleAfter");
    QTest::addColumn<bool>("applyAfter");

    QTest::newRow("Apply") << "btnApply"
                           << "new@example.com" << true << true << false;
    QTest::newRow("Apply, blank address") << "btnApply"
                                          << "" << false << true << true;
    QTest::newRow("OK") << "btnOK"
                        << "new@example.com" << true << false << false;
    QTest::newRow("OK, blank address") << "btnOK"
                                       << "" << false << true << true;
    QTest::newRow("Cancel") << "AdvGlowButton3"
                            << "new@example.com" << false << false << true;
}

void TestCommit::commitButtons()
{
    QFETCH(QString, button);
    QFETCH(QString, email);
    QFETCH(bool, saved);
    QFETCH(bool, visibleAfter);
    QFETCH(bool, applyAfter);
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    f.ui().txtEmail->setText(email);
    QVERIFY(f.ui().btnApply->isEnabled());
    form.findChild<QPushButton*>(button)->click();
    const auto lists = f.waitForSavedLists(saved ? 1 : 0);
    if (!saved)
        QVERIFY(neverWithin(100, [&] { return !f.savedLists().isEmpty(); }));
    QCOMPARE(f.savedLists().size(), saved ? 1 : 0);
    if (saved)
        QCOMPARE(lists[0][1 + settingtable::wireIndex(Setting::Recipients)], email.toUtf8());
    QCOMPARE(form.isVisible(), visibleAfter);
    QCOMPARE(f.ui().btnApply->isEnabled(), applyAfter);
    if (email.isEmpty())
        QCOMPARE(f.dialogs.notices(), QStringList{"The Email Address cannot be blank."});
}

void TestCommit::cancelKeepsEditsAndApply()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    f.ui().txtSMTP->setText("edited.example.com");
    f.ui().AdvGlowButton3->click();
    QVERIFY(!form.isVisible());
    form.ShowVelmora1Click();
    QVERIFY(form.isVisible());
    QCOMPARE(f.ui().txtSMTP->text(), QString("edited.example.com"));
    QVERIFY(f.ui().btnApply->isEnabled());
    QCOMPARE(f.service.commands().count("GetSettings"), 1);
}

void TestCommit::failedSaveIsToldAndKept_data()
{
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("cause");
    for (const char* button : {"btnApply", "btnOK"}) {
        QTest::addRow("stopped, %s", button)
            << "stopped" << button << "the Velmora service is not running";
        QTest::addRow("another user's, %s", button)
            << "another user's" << button << "127.0.0.1:%1 is held by a program of another user";
        QTest::addRow("never answers, %s", button)
            << "never answers" << button << "the Velmora service did not answer in time";
    }
}

void TestCommit::failedSaveIsToldAndKept()
{
    QFETCH(QString, service);
    QFETCH(QString, button);
    QFETCH(QString, cause);
    MainFormFixture f;
    f.adjustContext = [](MainFormContext& context) {
        context.serviceTimeLimit = std::chrono::milliseconds(500);
    };
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const quint16 port = f.service.port();
    f.ui().txtSMTP->setText("edited.example.com");

    f.service.stop();
    std::optional<SilentListener> silent;
    if (service == "never answers") {
        silent.emplace(port);
        QVERIFY(silent->isListening());
    }
    StrangersListener stranger;
    if (service == "another user's" && !stranger.start(port))
        QSKIP(qPrintable(stranger.errorText()));
    const QString notice = WrapMessage("The settings could not be saved: " +
                                       QString(cause).replace("%1", QString::number(port)) + ".");

    // Told once, with the cause; the changes stay unsaved, and OK keeps the window.
    form.findChild<QPushButton*>(button)->click();
    QCOMPARE(f.dialogs.notices(), QStringList{notice});
    QVERIFY(f.ui().btnApply->isEnabled());
    QVERIFY(form.isVisible());
    // Refreshes still fail silently.
    f.tray.movePointer();
    f.tray.click(Qt::RightButton);
    QCOMPARE(f.dialogs.shown.size(), 1);

    // The save question comes at the close; its save fails the same way.
    f.dialogs.clear();
    f.dialogs.answers = {true};
    form.close();
    QCOMPARE(f.dialogs.questions().size(), 1);
    QCOMPARE(f.dialogs.notices(), QStringList{notice});
    QVERIFY(f.ui().btnApply->isEnabled());

    // The service comes back: Apply saves, and the close asks nothing.
    silent.reset();
    stranger.stop();
    FakeService back(port);
    QVERIFY(back.isListening());
    form.ShowVelmora1Click();
    f.dialogs.clear();
    f.ui().btnApply->click();
    QVERIFY(f.dialogs.shown.isEmpty());
    QVERIFY(!f.ui().btnApply->isEnabled());
    QTRY_VERIFY(back.commands().contains("SaveSettings"));
    QVERIFY(back.waitForExchanges(back.exchanges().size()));
    for (const FakeService::Exchange& e : back.exchanges()) {
        if (e.command == "SaveSettings")
            QCOMPARE(e.list.value(1 + settingtable::wireIndex(Setting::SmtpServer)),
                     QByteArray("edited.example.com"));
    }
    form.close();
    QVERIFY(f.dialogs.shown.isEmpty());
}

void TestCommit::switchesValidateOnlyWhenTurnedOn()
{
    MainFormFixture f;
    QList<QByteArray> values = MainFormFixture::defaultValues();
    values[settingtable::wireIndex(Setting::Recipients)] = "";
    f.setValues(values);
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(f.ui().SwitchEmailAlerts, Qt::LeftButton);
    QVERIFY(f.ui().SwitchEmailAlerts->isOn()); // the result is ignored
    QCOMPARE(f.dialogs.notices(), QStringList{"The Email Address cannot be blank."});
    QCOMPARE(form.pager().currentIndex(), int(TFormMain::EmailPage));
    QVERIFY(f.ui().btnApply->isEnabled());
    form.pager().setCurrentIndex(TFormMain::StatusPage);
    QTest::mouseClick(f.ui().SwitchEmailAlerts, Qt::LeftButton);
    QCOMPARE(f.dialogs.notices().size(), 1);

    f.ui().txtPhoneNumber->setText("123");
    QTest::mouseClick(f.ui().SwitchTextAlerts, Qt::LeftButton);
    QVERIFY(f.ui().SwitchTextAlerts->isOn());
    QCOMPARE(f.dialogs.notices().last(), QString("Error: The phone number is not correct."));
    QCOMPARE(form.pager().currentIndex(), int(TFormMain::TextMessagePage));
}

void TestCommit::closeBoxAsksOnlyWithChanges_data()
{
    QTest::addColumn<bool>("edited");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("saves");
    QTest::newRow("no changes") << false << true << 0;
    QTest::newRow("changes, Yes") << true << true << 1;
    QTest::newRow("changes, No") << true << false << 0;
}

void TestCommit::closeBoxAsksOnlyWithChanges()
{
    QFETCH(bool, edited);
    QFETCH(bool, answer);
    QFETCH(int, saves);
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    if (edited)
        f.ui().txtSMTP->setText("x");
    f.dialogs.answers = {answer};
    QVERIFY(!form.close());
    QVERIFY(!form.isVisible());
    QCOMPARE(f.dialogs.questions().size(), edited ? 1 : 0);
    if (edited) {
        const Question q = f.dialogs.questions().first();
        QCOMPARE(q.caption, QString("Settings Not Saved"));
        QCOMPARE(q.text, QString("The configuration has been modified, would you like to save "
                                 "your changes?"));
        QCOMPARE(q.icon, Question::Icon::Question);
        QVERIFY(!q.escapeAnswersNo);
        QVERIFY(!q.ownedByWindow);
    }
    QCOMPARE(f.waitForSavedLists(saves).size(), saves);
    QCOMPARE(f.ui().btnApply->isEnabled(), edited && !answer);
    QCOMPARE(f.quitRequests, 0);
    QVERIFY(f.tray.isShown());
}

void TestCommit::promptYesSavesWithoutValidation()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    f.ui().txtEmail->clear();
    f.dialogs.answers = {true};
    form.close();
    const auto lists = f.waitForSavedLists(1);
    QCOMPARE(lists.size(), 1);
    QCOMPARE(lists[0][1 + settingtable::wireIndex(Setting::Recipients)], QByteArray());
    QVERIFY(f.dialogs.notices().isEmpty());
}

void TestCommit::sessionEndAsksNothingAndSavesNothing()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    f.ui().txtSMTP->setText("unsaved");
    form.endSession();
    QVERIFY(form.SessionEnding);
    QVERIFY(f.dialogs.shown.isEmpty());
    QCOMPARE(f.quitRequests, 1);
    QVERIFY(neverWithin(100, [&] { return !f.savedLists().isEmpty(); }));
}

void TestCommit::exitItems_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("saves");
    QTest::newRow("tray exit") << "Exit1" << true << 0 << 0;
    QTest::newRow("help exit, Yes") << "Exit2" << true << 1 << 1;
    QTest::newRow("help exit, No") << "Exit2" << false << 1 << 0;
}

void TestCommit::exitItems()
{
    QFETCH(QString, item);
    QFETCH(bool, answer);
    QFETCH(int, questions);
    QFETCH(int, saves);
    MainFormFixture f;
    TFormMain& form = f.create();
    f.ui().txtSMTP->setText("unsaved");
    f.dialogs.answers = {answer};
    QMenu* menu = item == "Exit1" ? form.trayMenu() : form.helpMenu();
    QAction* exit = menu->actions().last();
    QCOMPARE(exit->objectName(), item);
    QCOMPARE(exit->text(), QString("E&xit"));
    exit->trigger();
    QCOMPARE(f.dialogs.questions().size(), questions);
    QCOMPARE(f.quitRequests, 1);
    QCOMPARE(f.waitForSavedLists(saves).size(), saves);
}

void TestCommit::hideIconOption()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    f.ui().chkHideSysTrayIcon->click();
    QVERIFY(!f.tray.isShown());
    QVERIFY(!f.ui().btnApply->isEnabled()); // not a change to save
    f.ui().btnOK->click();
    const auto lists = f.waitForSavedLists(1);
    QCOMPARE(lists[0][1 + settingtable::wireIndex(Setting::HideTrayIcon)], QByteArray("-1"));
    QVERIFY(!form.isVisible());
    QVERIFY(!f.tray.isShown());
    f.ui().chkHideSysTrayIcon->click();
    QVERIFY(f.tray.isShown());
}

void TestCommit::trayClicksRestoreOnlyAHiddenWindow()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    f.ui().AdvGlowButton3->click();
    QVERIFY(!form.isVisible());
    f.tray.click(Qt::RightButton);
    QVERIFY(!form.isVisible());
    f.tray.click(Qt::LeftButton);
    QVERIFY(form.isVisible());
    QVERIFY(!form.isMinimized());
    // A click on the icon never hides a shown window.
    f.tray.click(Qt::LeftButton);
    QVERIFY(form.isVisible());
}

void TestCommit::startedInTrayOpensOnDoubleClickOnly()
{
    MainFormFixture f;
    TFormMain& form = f.create(); // never shown, as with "systray"
    QVERIFY(f.service.waitForExchanges(3));
    const qsizetype updates = f.service.commands().count("UpdateStatus");
    f.tray.click(Qt::LeftButton);
    QVERIFY(!form.isVisible());
    QTRY_COMPARE(f.service.commands().count("UpdateStatus"), updates + 1);
    f.tray.doubleClick();
    QVERIFY(form.isVisible());
    // The "Show Velmora" item does the same.
    form.hideToTray();
    QVERIFY(!form.isVisible());
    form.trayMenu()->defaultAction()->trigger();
    QVERIFY(form.isVisible());
}

void TestCommit::minimizeHidesWhileIconShown()
{
    MainFormFixture f;
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.showMinimized();
    QTRY_VERIFY(!form.isVisible());
    form.ShowVelmora1Click();
    QVERIFY(form.isVisible());
    f.ui().chkHideSysTrayIcon->click();
    form.showMinimized();
    // A normal taskbar entry while the icon is removed: never hidden.
    QVERIFY(neverWithin(50, [&] { return !form.isVisible(); }));
}

void TestCommit::hiddenRightAfterShowingStaysHidden()
{
    // Shown from the tray, then hidden at once: the window manager's late
    // "iconic" notice for the showing must not bring the window back.
    MainFormFixture f;
    TFormMain& form = f.create(); // started in the tray: never shown yet
    form.ShowVelmora1Click();
    QVERIFY(form.isVisible());
    f.ui().AdvGlowButton3->click(); // Cancel
    QVERIFY(!form.isVisible());
    form.setWindowState(form.windowState() | Qt::WindowMinimized);
    QVERIFY(neverWithin(200, [&] { return form.isVisible(); }));
}

void TestCommit::withoutTrayHidingGoesToTheTaskbar_data()
{
    QTest::addColumn<QString>("route");
    QTest::newRow("OK") << "OK";
    QTest::newRow("Cancel") << "Cancel";
    QTest::newRow("close box") << "close box";
    QTest::newRow("minimize") << "minimize";
}

void TestCommit::withoutTrayHidingGoesToTheTaskbar()
{
    QFETCH(QString, route);
    MainFormFixture f;
    f.tray.available = false; // no notification area on this desktop
    TFormMain& form = f.create();
    const auto leave = [&] {
        if (route == "OK")
            f.ui().btnOK->click();
        else if (route == "Cancel")
            f.ui().AdvGlowButton3->click();
        else if (route == "close box")
            form.close();
        else
            form.showMinimized();
    };
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    leave();
    QTRY_VERIFY(form.isMinimized());
    QVERIFY(neverWithin(50, [&] { return !form.isVisible(); }));
    form.ShowVelmora1Click();
    QVERIFY(form.isVisible());
    QVERIFY(!form.isMinimized());

    // Once a notification area is there, the window hides to it again.
    f.tray.available = true;
    leave();
    QTRY_VERIFY(!form.isVisible());
}

void TestCommit::startInTrayShowsTheWindowOnlyWithoutTray_data()
{
    QTest::addColumn<bool>("startInTray");
    QTest::addColumn<bool>("trayAvailable");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("minimized");
    QTest::newRow("normal start") << false << true << true << false;
    QTest::newRow("normal start, no tray") << false << false << true << false;
    QTest::newRow("in the tray") << true << true << false << false;
    QTest::newRow("in the tray, no tray") << true << false << true << true;
}

void TestCommit::startInTrayShowsTheWindowOnlyWithoutTray()
{
    QFETCH(bool, startInTray);
    QFETCH(bool, trayAvailable);
    QFETCH(bool, shown);
    QFETCH(bool, minimized);
    MainFormFixture f;
    f.tray.available = trayAvailable;
    TFormMain& form = f.create();
    form.showAtStart(startInTray);
    QCOMPARE(form.isVisible(), shown);
    QCOMPARE(form.isMinimized(), minimized);
}

void TestCommit::startAtLogonIsTheDesktopsNotTheService()
{
    MainFormFixture f;
    const QString entry = f.folder.filePath("autostart/example.velmora.Velmora.desktop");
    TFormMain& form = f.create();
    form.show();
    QVERIFY(!f.ui().chkStartAtLogon->isChecked());
    f.ui().chkStartAtLogon->click();
    QVERIFY(QFile::exists(entry));
    QVERIFY(f.autostart.isEnabled());
    QVERIFY(!f.ui().btnApply->isEnabled()); // nothing for the service
    f.ui().btnOK->click();
    const auto lists = f.waitForSavedLists(1);
    QCOMPARE(lists.size(), 1);
    QCOMPARE(lists[0].size(), 19);

    // A later start finds it on; turning it off removes the entry.
    MainFormFixture later;
    later.autostart = f.autostart;
    later.create();
    QVERIFY(later.ui().chkStartAtLogon->isChecked());
    later.ui().chkStartAtLogon->click();
    QVERIFY(!QFile::exists(entry));
    QVERIFY(!f.autostart.isEnabled());
    QVERIFY(later.dialogs.shown.isEmpty());
}

void TestCommit::startAtLogonThatCannotBeWrittenIsReported()
{
    MainFormFixture f;
    // A file where the autostart folder should be.
    QFile blocker(f.folder.filePath("autostart"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    f.create();
    f.ui().chkStartAtLogon->click();
    QVERIFY(!f.ui().chkStartAtLogon->isChecked());
    QCOMPARE(f.dialogs.errors().size(), 1);
    QVERIFY2(f.dialogs.errors().first().startsWith("Could not change the log-on start: " +
                                                   f.folder.filePath("autostart")),
             qPrintable(f.dialogs.errors().first()));
    QVERIFY(f.dialogs.errors().first().endsWith("."));
}

QTEST_MAIN(TestCommit)
#include "tst_commit.moc"
