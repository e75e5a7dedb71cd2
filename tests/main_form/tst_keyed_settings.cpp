// The settings beyond the 18, on the Options page: what the window shows and
// saves with a service of this version, and what it does with a service of an
// earlier version that knows only the four original commands.
#include "MainFormFixture.h"
#include "common/AlertSettings.h"
#include "common/ServiceProtocol.h"
#include "support/TestTime.h"
#include "toolkit/SidePager.h"
#include "ui_MainForm.h"

#include <QToolTip>
#include <QtTest>

namespace {

// The first requests of a window of the previous version, as it sent them
// (recorded): carriers, settings and status, then a save of the values below,
// byte for byte.
const QByteArray PreviousGetCellularProviders("GetCellularProviders\r\n");
const QByteArray PreviousGetSettings("GetSettings\r\n");
const QByteArray PreviousUpdateStatus("UpdateStatus\r\n");
const char PreviousSaveBytes[] =
    "SaveSettings\r\n\x00\x00\x00\x13"
    "18\r\n-1\r\n0\r\n0\r\n0\r\na@example.com, \"B|b\" <b@example.org>\r\n smtp.example.com "
    "\r\n0x19\r\n0\r\n-1\r\nuser|name,with \"quotes\"\r\np\xe4ss\xff\r\n555,123|45\r\n1\r\n\r\n "
    "\r\n\r\nftp \xc3\xa9\"q\"\r\n-1\r\n";
const QByteArray PreviousSave(PreviousSaveBytes, sizeof PreviousSaveBytes - 1);

// The window of the recording: what the service sent, and what the user changed.
void setUpAsRecorded(MainFormFixture& f)
{
    f.service.setReply(
        "GetCellularProviders",
        FakeService::countedList({"v", "First|txt.example.net", "Second|sms.example.org",
                                  "\"Third|Quoted\"|third.example.com"}));
    QList<QByteArray> values = AlertSettings().toValues({});
    values[settingtable::wireIndex(Setting::SmtpPassword)] = "p\xe4ss\xff";
    values[settingtable::wireIndex(Setting::FtpPassword)] = "ftp \xc3\xa9\"q\"";
    f.setValues(values);
}

void editAsRecorded(Ui::TFormMain& ui)
{
    ui.txtEmail->setText("a@example.com, \"B|b\" <b@example.org>");
    ui.txtSMTP->setText(" smtp.example.com ");
    ui.txtSMTPPort->setText("0x19");
    ui.txtSMTPUsername->setText("user|name,with \"quotes\"");
    ui.txtPhoneNumber->setText("555,123|45");
    ui.cboCellularProviders->setCurrentIndex(1);
    ui.SwitchEmailAlerts->setOn(true);
    ui.chkAuth->setChecked(true);
    ui.txtFTPHost->setText(" ");
    ui.chkHideSysTrayIcon->setChecked(true);
}

QByteArray keyedLine(Setting setting, const QByteArray& value)
{
    return spelling::keyedLine(settingtable::info(setting).fileKey, value);
}

} // namespace

class TestKeyedSettings : public QObject
{
    Q_OBJECT

private slots:
    void tickBoxShowsTheServicesValue_data();
    void tickBoxShowsTheServicesValue();
    void tickBoxIsTrackedByApplyAndSaved_data();
    void tickBoxIsTrackedByApplyAndSaved();
    void serviceOfTheFourCommandsOnly();
    void keysOfANewerServiceArePassedOver();
};

namespace {

// The tick boxes of the Options page that show settings of the extension.
void addTickBoxColumns()
{
    QTest::addColumn<Setting>("setting");
    QTest::addColumn<QString>("text");
}

void addTickBoxRows()
{
    QTest::newRow("desktop notifications")
        << Setting::DesktopNotifications
        << QString("Show address changes as desktop notifications.");
    QTest::newRow("IPv6") << Setting::WatchIpv6 << QString("Watch IPv6 addresses.");
}

QCheckBox* tickBoxOf(MainFormFixture& f, Setting setting)
{
    return f.form().findChild<QCheckBox*>(QString::fromLatin1(settingtable::info(setting).control));
}

} // namespace

void TestKeyedSettings::tickBoxShowsTheServicesValue_data()
{
    addTickBoxColumns();
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("ticked");
    for (const auto& [value, ticked] :
         {std::pair{QByteArray("-1"), true}, std::pair{QByteArray("0"), false}}) {
        const char* name = ticked ? ", on" : ", off";
        QTest::addRow("desktop notifications%s", name)
            << Setting::DesktopNotifications
            << QString("Show address changes as desktop notifications.") << value << ticked;
        QTest::addRow("IPv6%s", name)
            << Setting::WatchIpv6 << QString("Watch IPv6 addresses.") << value << ticked;
    }
}

void TestKeyedSettings::tickBoxShowsTheServicesValue()
{
    QFETCH(Setting, setting);
    QFETCH(QString, text);
    QFETCH(QByteArray, value);
    QFETCH(bool, ticked);
    MainFormFixture f;
    f.service.setReply(service::GetKeyedSettings,
                       FakeService::countedList({"v1", keyedLine(setting, value)}));
    f.create();
    QCheckBox* box = tickBoxOf(f, setting);
    QVERIFY(box);
    QCOMPARE(box->text(), text);
    QCOMPARE(box->isChecked(), ticked);
    QVERIFY(box->isEnabled());
    QVERIFY(!box->toolTip().contains("too old"));
    QCOMPARE(f.form().KeyedSettings, QList<Setting>{setting});
    // Loading is no edit.
    QVERIFY(!f.ui().btnApply->isEnabled());
    QVERIFY(f.dialogs.shown.isEmpty());
}

void TestKeyedSettings::tickBoxIsTrackedByApplyAndSaved_data()
{
    addTickBoxColumns();
    addTickBoxRows();
}

void TestKeyedSettings::tickBoxIsTrackedByApplyAndSaved()
{
    QFETCH(Setting, setting);
    MainFormFixture f;
    f.create().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form()));
    f.form().pager().setCurrentIndex(TFormMain::OptionsPage);
    QCheckBox* box = tickBoxOf(f, setting);
    QVERIFY(box->isVisible());
    // Whole on the page: neither cut by the page's edge nor by the next box.
    QVERIFY(QRect(QPoint(), f.ui().tabOptions->size())
                .contains(QRect(box->mapTo(f.ui().tabOptions, QPoint()), box->sizeHint())));
    QVERIFY(box->width() >= box->sizeHint().width());
    QVERIFY(box->isChecked());

    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QVERIFY(!box->isChecked());
    QVERIFY(f.ui().btnApply->isEnabled());
    f.ui().btnApply->click();
    QVERIFY(!f.ui().btnApply->isEnabled());
    QTRY_COMPARE(f.keyedSaves().size(), 1);
    // Every setting the service told that the window shows, the box's changed,
    // the others as they came; those of the settings file alone are not sent.
    QList<QByteArray> expected;
    for (const SettingInfo& row : settingtable::all()) {
        if (row.isKeyed() && row.hasControl())
            expected << keyedLine(row.setting, row.setting == setting
                                                   ? QByteArray("0")
                                                   : AlertSettings().linkValue(row.setting, {}));
    }
    QCOMPARE(f.keyedSaves().first(), expected);
    // The 18 are saved as always, first.
    QCOMPARE(f.savedLists().size(), 1);
    const QList<QByteArray> commands = f.service.commands();
    QCOMPARE(commands.mid(commands.size() - 2),
             (QList<QByteArray>{"SaveSettings", "SaveKeyedSettings"}));

    // A close asks about it like about any other setting.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    QVERIFY(f.ui().btnApply->isEnabled());
    f.dialogs.answers = {false};
    f.form().close();
    QCOMPARE(f.dialogs.questions().size(), 1);
}

void TestKeyedSettings::serviceOfTheFourCommandsOnly()
{
    // A service of the previous version closes the connection without an
    // answer to a command it does not know: the stand-in answers nothing.
    MainFormFixture f;
    setUpAsRecorded(f);
    f.service.setReply(service::GetKeyedSettings, QByteArray());
    TFormMain& form = f.create();

    // The window works as with any service.
    QVERIFY(f.dialogs.shown.isEmpty());
    QCOMPARE(f.quitRequests, 0);
    QCOMPARE(form.PublicIP, QString("203.0.113.7"));
    QCOMPARE(f.ui().cboCellularProviders->count(), 3);
    // The settings of the extension are not available, and say why.
    for (QCheckBox* other : {f.ui().chkWatchIpv6}) {
        QVERIFY(!other->isEnabled());
        QCOMPARE(other->toolTip(), TFormMain::ServiceTooOldTip);
    }
    QCheckBox* box = f.ui().chkDesktopNotifications;
    QVERIFY(!box->isEnabled());
    QCOMPARE(box->toolTip(), TFormMain::ServiceTooOldTip);
    QVERIFY(box->toolTip().contains("too old"));
    QVERIFY(form.KeyedSettings.isEmpty());

    // What the window sent is what a window of the previous version sent,
    // byte for byte; it asked once for the extension, which the service did not know.
    editAsRecorded(f.ui());
    f.ui().btnApply->setEnabled(true);
    f.ui().btnApply->click();
    QVERIFY(!f.ui().btnApply->isEnabled());
    QVERIFY(f.service.waitForExchanges(5));
    QList<QByteArray> sent;
    for (const FakeService::Exchange& e : f.service.exchanges())
        sent << e.raw;
    QCOMPARE(sent, (QList<QByteArray>{PreviousGetCellularProviders, PreviousGetSettings,
                                      "GetKeyedSettings\r\n", PreviousUpdateStatus, PreviousSave}));

    // The tooltip shows although the box is disabled.
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.pager().setCurrentIndex(TFormMain::OptionsPage);
    const QPoint inside(8, box->height() / 2);
    QHelpEvent help(QEvent::ToolTip, inside, box->mapToGlobal(inside));
    QApplication::sendEvent(box, &help);
    QTRY_COMPARE(QToolTip::text(), TFormMain::ServiceTooOldTip);
    QToolTip::hideText();
}

void TestKeyedSettings::keysOfANewerServiceArePassedOver()
{
    MainFormFixture f;
    f.service.setReply(service::GetKeyedSettings,
                       // A key it does not know, and one that only the settings
                       // file holds (no control shows it).
                       FakeService::countedList({"v1", "a-later-setting=600",
                                                 keyedLine(Setting::PublicCheckInterval, "600"),
                                                 keyedLine(Setting::DesktopNotifications, "0"),
                                                 "not a keyed line", "smtp-port=587"}));
    f.create();
    QVERIFY(f.ui().chkDesktopNotifications->isEnabled());
    QVERIFY(!f.ui().chkDesktopNotifications->isChecked());
    QCOMPARE(f.ui().txtSMTPPort->text(), QString("25")); // one of the 18: only as they travel
    f.form().SaveSettings();
    QTRY_COMPARE(f.keyedSaves().size(), 1);
    QCOMPARE(f.keyedSaves().first(),
             QList<QByteArray>{keyedLine(Setting::DesktopNotifications, "0")});
}

QTEST_MAIN(TestKeyedSettings)
#include "tst_keyed_settings.moc"
