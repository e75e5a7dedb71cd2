// The Push page of the real window: its place among the tabs, the fields each
// way and service use, the preview, the checks, and "Send Test Notification"
// through the real push helper to Debian's webhook server on loopback.
#include "MainFormFixture.h"
#include "ModalDialogProbe.h"

#include "servers/WebhookReceiver.h"
#include "shell/Error.h"
#include "toolkit/OnOffSwitch.h"
#include "toolkit/SidePager.h"
#include "ui_ErrorForm.h"
#include "ui_MainForm.h"

#include <QtTest>

using testservers::WebhookReceiver;

namespace {

const QString Token = QStringLiteral("tk_page-t0ken-31337");

// The window, shown, with the build's push helper and its error dialog; the
// dialog's texts are collected while it is open, and it is then closed.
class PushWindow
{
public:
    bool create(const QString& appriseProgram = QStringLiteral("apprise"))
    {
        fixture.adjustContext = [appriseProgram](MainFormContext& context) {
            context.pushHelper = QStringLiteral(VELMORA_PUSH_HELPER);
            context.appriseProgram = appriseProgram;
        };
        TFormMain& form = fixture.create();
        errorForm = std::make_unique<TFormError>(fixture.shell, &form);
        form.setErrorForm(errorForm.get());
        probe = std::make_unique<ModalDialogProbe>(*errorForm, [this](QDialog&) {
            errorTexts.append(errorForm->ui().Memo1->toPlainText());
        });
        form.show();
        form.pager().setCurrentIndex(TFormMain::PushPage);
        return QTest::qWaitForWindowExposed(&form);
    }
    Ui::TFormMain& ui() { return fixture.ui(); }

    MainFormFixture fixture;
    std::unique_ptr<TFormError> errorForm;
    std::unique_ptr<ModalDialogProbe> probe;
    QStringList errorTexts;
};

} // namespace

class TestPushPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void tabStandsAfterTextMessageAndKeepsThePageNumbers();
    void windowKeepsItsSizeWhateverTheChoice();
    void fieldsFollowTheWayAndService_data();
    void fieldsFollowTheWayAndService();
    void previewShowsTheRequestWithoutTheToken();
    void previewFillsTheIpv6Addresses();
    void checksNameWhatToCorrect_data();
    void checksNameWhatToCorrect();
    void testNotificationArrives();
    void refusalShowsTheServersAnswer();
    void missingAppriseIsSaidAndHowToInstallIt();
};

void TestPushPage::initTestCase()
{
    Q_INIT_RESOURCE(velmora);
}

void TestPushPage::tabStandsAfterTextMessageAndKeepsThePageNumbers()
{
    PushWindow w;
    QVERIFY(w.create());
    w.fixture.form().pager().setCurrentIndex(TFormMain::StatusPage);
    // The third switch, under the other two.
    QVERIFY(w.ui().SwitchPushAlerts->isVisibleTo(&w.fixture.form()));
    QVERIFY(w.ui().SwitchPushAlerts->y() > w.ui().SwitchTextAlerts->y());
    QCOMPARE(w.ui().lblSendPushAlerts->text(), QStringLiteral("Send Push Alerts"));
    QCOMPARE(w.ui().tabList->item(3)->text(), QStringLiteral("Push"));
    w.ui().tabList->setCurrentRow(3);
    QCOMPARE(w.ui().pageControl->currentWidget(), w.ui().tabPush);
    QCOMPARE(w.fixture.form().pager().currentIndex(), int(TFormMain::PushPage));
    w.ui().tabList->setCurrentRow(4);
    QCOMPARE(w.fixture.form().pager().currentIndex(), int(TFormMain::RunProgramPage));
    QCOMPARE(w.ui().lblPushHeading->text(), QStringLiteral("Push Notification Settings"));
    QVERIFY(!w.ui().imgPush->pixmap().isNull());
}

void TestPushPage::windowKeepsItsSizeWhateverTheChoice()
{
    PushWindow w;
    QVERIFY(w.create());
    const QSize size = w.fixture.form().size();
    for (int way = 0; way < w.ui().cboPushWay->count(); ++way) {
        for (int preset = 0; preset < w.ui().cboPushPreset->count(); ++preset) {
            w.ui().cboPushWay->setCurrentIndex(way);
            w.ui().cboPushPreset->setCurrentIndex(preset);
            QCoreApplication::processEvents();
            QCOMPARE(w.fixture.form().size(), size);
        }
    }
}

void TestPushPage::fieldsFollowTheWayAndService_data()
{
    QTest::addColumn<int>("way");
    QTest::addColumn<int>("preset");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("hidden");
    QTest::newRow("own web request")
        << 0 << 0 << QStringList{"txtPushUrl", "txtPushMethod", "txtPushHeaders", "txtPushMessage"}
        << QStringList{"txtPushTopic", "txtPushToken", "txtAppriseUrls"};
    QTest::newRow("ntfy") << 0 << 1 << QStringList{"txtPushUrl", "txtPushTopic", "txtPushToken"}
                          << QStringList{"txtPushMethod", "txtPushHeaders", "txtAppriseUrls"};
    QTest::newRow("Gotify") << 0 << 2 << QStringList{"txtPushUrl", "txtPushToken"}
                            << QStringList{"txtPushTopic", "txtPushMethod", "txtAppriseUrls"};
    QTest::newRow("JSON webhook") << 0 << 3 << QStringList{"txtPushUrl", "txtPushMessage"}
                                  << QStringList{"txtPushTopic", "txtPushToken", "txtPushHeaders"};
    QTest::newRow("Apprise") << 1 << 1 << QStringList{"txtAppriseUrls", "txtPushMessage"}
                             << QStringList{"txtPushUrl", "txtPushTopic", "cboPushPreset",
                                            "lblAppriseMissing"};
}

void TestPushPage::fieldsFollowTheWayAndService()
{
    QFETCH(int, way);
    QFETCH(int, preset);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, hidden);
    PushWindow w;
    QVERIFY(w.create());
    w.ui().cboPushWay->setCurrentIndex(way);
    w.ui().cboPushPreset->setCurrentIndex(preset);
    for (const QString& name : shown)
        QVERIFY2(w.fixture.form().findChild<QWidget*>(name)->isVisible(), qPrintable(name));
    for (const QString& name : hidden)
        QVERIFY2(!w.fixture.form().findChild<QWidget*>(name)->isVisible(), qPrintable(name));
}

void TestPushPage::previewShowsTheRequestWithoutTheToken()
{
    PushWindow w;
    QVERIFY(w.create());
    w.ui().cboPushPreset->setCurrentIndex(1);
    w.ui().txtPushUrl->setText(QStringLiteral("https://ntfy.example.net/"));
    w.ui().txtPushTopic->setText(QStringLiteral("alerts"));
    w.ui().txtPushToken->setText(Token);
    w.ui().txtPushMessage->setPlainText(QStringLiteral("[[ComputerName]] is [[PublicIPAddress]]"));
    QCOMPARE(w.ui().txtPushPreview->toPlainText(),
             QStringLiteral("POST https://ntfy.example.net/…\n"
                            "Title: Velmora Alert (TEST)\n"
                            "Authorization: Bearer …\n"
                            "\n"
                            "pc-1 is 203.0.113.7"));
    QVERIFY(w.ui().btnApply->isEnabled());
}

// The addresses the service told, IPv6 included; a test tells of no change.
void TestPushPage::previewFillsTheIpv6Addresses()
{
    PushWindow w;
    w.fixture.service.setReply(service::GetKeyedStatus, MainFormFixture::keyedStatusReply(
                                                            "pc-1", "203.0.113.7", "192.168.1.20",
                                                            "2001:db8:1::7", "2001:db8:2::20"));
    QVERIFY(w.create());
    w.ui().cboPushPreset->setCurrentIndex(1);
    w.ui().txtPushUrl->setText(QStringLiteral("https://ntfy.example.net/"));
    w.ui().txtPushTopic->setText(QStringLiteral("alerts"));
    w.ui().txtPushMessage->setPlainText(
        QStringLiteral("[[PublicIPv6Address]] [[OldPublicIPv6Address]] [[LocalIPv6Address]] "
                       "[[OldLocalIPv6Address]]"));
    QVERIFY2(w.ui().txtPushPreview->toPlainText().endsWith(
                 QStringLiteral("\n2001:db8:1::7 2001:db8:1::7 2001:db8:2::20 2001:db8:2::20")),
             qPrintable(w.ui().txtPushPreview->toPlainText()));
}

void TestPushPage::checksNameWhatToCorrect_data()
{
    QTest::addColumn<int>("way");
    QTest::addColumn<int>("preset");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("focused");
    QTest::newRow("not http") << 0 << 0 << "ftp://example.net/x"
                              << "Error: The push URL is not an http or https URL."
                              << "txtPushUrl";
    QTest::newRow("empty topic") << 0 << 1 << "https://ntfy.example.net"
                                 << "Error: No ntfy topic is set."
                                 << "txtPushTopic";
    QTest::newRow("no Apprise URL") << 1 << 0 << ""
                                    << "Error: No Apprise URL is set."
                                    << "txtAppriseUrls";
}

void TestPushPage::checksNameWhatToCorrect()
{
    QFETCH(int, way);
    QFETCH(int, preset);
    QFETCH(QString, url);
    QFETCH(QString, notice);
    QFETCH(QString, focused);
    PushWindow w;
    QVERIFY(w.create());
    w.ui().cboPushWay->setCurrentIndex(way);
    w.ui().cboPushPreset->setCurrentIndex(preset);
    w.ui().txtPushUrl->setText(url);
    // Turning the switch on checks the page, as the other pages' switches do.
    w.fixture.form().pager().setCurrentIndex(TFormMain::StatusPage);
    QTest::mouseClick(w.ui().SwitchPushAlerts, Qt::LeftButton);
    QCOMPARE(w.fixture.dialogs.notices(), QStringList{notice});
    QCOMPARE(w.fixture.form().pager().currentIndex(), int(TFormMain::PushPage));
    QCOMPARE(QApplication::focusWidget()->objectName(), focused);
    // So does the test button, which then sends nothing.
    w.ui().btnSendTestPush->click();
    QCOMPARE(w.fixture.dialogs.notices(), (QStringList{notice, notice}));
    QVERIFY(w.errorTexts.isEmpty());
}

void TestPushPage::testNotificationArrives()
{
    WebhookReceiver receiver;
    QVERIFY2(receiver.start(), qPrintable(receiver.errorText()));
    PushWindow w;
    QVERIFY(w.create());
    w.ui().txtPushUrl->setText(receiver.url());
    w.ui().txtPushHeaders->setPlainText(QStringLiteral("Authorization: Bearer ") + Token);
    w.ui().txtPushMessage->setPlainText(QStringLiteral("[[ComputerName]]: [[PublicIPAddress]]"));
    QTest::mouseClick(w.ui().btnSendTestPush, Qt::LeftButton);
    QCOMPARE(w.fixture.dialogs.notices(), QStringList{"Success: Test Notification Sent"});
    const QList<WebhookReceiver::Request> kept = receiver.kept();
    QCOMPARE(kept.size(), 1);
    QCOMPARE(kept[0].method, QByteArray("POST"));
    QCOMPARE(kept[0].body, QByteArray("pc-1: 203.0.113.7"));
    QCOMPARE(kept[0].headers.value(QStringLiteral("Authorization")).toString(),
             QStringLiteral("Bearer ") + Token);
}

void TestPushPage::refusalShowsTheServersAnswer()
{
    WebhookReceiver receiver;
    QVERIFY2(receiver.start(), qPrintable(receiver.errorText()));
    PushWindow w;
    QVERIFY(w.create());
    const QString url = receiver.url(QStringLiteral("denied"));
    w.ui().txtPushUrl->setText(url);
    w.ui().txtPushHeaders->setPlainText(QStringLiteral("X-Api-Key: ") + Token);
    QTest::mouseClick(w.ui().btnSendTestPush, Qt::LeftButton);
    QCOMPARE(
        w.errorTexts,
        QStringList{url + QStringLiteral(" answered HTTP 401: Hook rules were not satisfied.")});
    QVERIFY(w.fixture.dialogs.notices().isEmpty());
}

void TestPushPage::missingAppriseIsSaidAndHowToInstallIt()
{
    PushWindow w;
    QVERIFY(w.create(QStringLiteral("/nonexistent/apprise")));
    w.ui().cboPushWay->setCurrentIndex(1);
    QVERIFY(w.ui().lblAppriseMissing->isVisible());
    const QString said = QStringLiteral(
        "The apprise command is not installed. Install it with: sudo apt install apprise");
    QCOMPARE(w.ui().lblAppriseMissing->text(), said);
    w.ui().txtAppriseUrls->setPlainText(QStringLiteral("json://127.0.0.1:9/x"));
    QTest::mouseClick(w.ui().btnSendTestPush, Qt::LeftButton);
    QCOMPARE(w.errorTexts, QStringList{said});
}

QTEST_MAIN(TestPushPage)
#include "tst_push_page.moc"
