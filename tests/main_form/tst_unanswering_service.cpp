// A service that takes connections and never answers: the window waits for it
// no longer than its time limit, and then goes on as if it were not running.
#include "MainFormFixture.h"
#include "fakes/SilentListener.h"
#include "support/TestTime.h"
#include "ui_MainForm.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>
#include <optional>

namespace {

constexpr std::chrono::milliseconds Limit(1000);

// Ticks on the event loop and keeps the longest time between two ticks.
class Heartbeat
{
public:
    Heartbeat()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            ++ticks;
            longestGapMs = std::max(longestGapMs, m_sinceLast.restart());
        });
        m_sinceLast.start();
        m_timer.start();
    }
    int ticks = 0;
    qint64 longestGapMs = 0;

private:
    QTimer m_timer;
    QElapsedTimer m_sinceLast;
};

} // namespace

class TestUnansweringService : public QObject
{
    Q_OBJECT
private slots:
    void startIsToldWithinOneLimit();
    void hoveringTheIconKeepsTheWindowResponsive();
};

void TestUnansweringService::startIsToldWithinOneLimit()
{
    SilentListener silent;
    QVERIFY(silent.isListening());
    MainFormFixture f;
    f.adjustContext = [&silent](MainFormContext& context) {
        context.servicePort = silent.port();
        context.serviceTimeLimit = Limit;
    };
    QElapsedTimer clock;
    clock.start();
    f.create();
    // The carrier list went unanswered; the settings and the status were not
    // waited for again.
    QCOMPARE(silent.connections(), 1);
    QVERIFY2(clock.elapsed() < Limit.count() + testtime::scaled(3000),
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(f.dialogs.notices().size(), 1);
    QVERIFY(f.dialogs.notices().first().startsWith("Could not connect to the Velmora Service"));
    QCOMPARE(f.quitRequests, 1);
}

void TestUnansweringService::hoveringTheIconKeepsTheWindowResponsive()
{
    MainFormFixture f;
    f.adjustContext = [](MainFormContext& context) { context.serviceTimeLimit = Limit; };
    TFormMain& form = f.create();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QString tip = f.tray.toolTip();
    QVERIFY(tip.contains("203.0.113.7"));

    // The service stops answering: something holds its port and stays silent.
    const quint16 port = f.service.port();
    f.service.stop();
    std::optional<SilentListener> silent(std::in_place, port);
    QVERIFY(silent->isListening());

    // The pointer moves over the icon for a while, as a user's would.
    Heartbeat heartbeat;
    QTimer pointer;
    pointer.setInterval(10);
    QObject::connect(&pointer, &QTimer::timeout, &f.tray, &FakeTrayIcon::movePointer);
    pointer.start();
    QTest::qWait(3000);
    pointer.stop();

    // One exchange was tried and given up at the limit; the window went on
    // meanwhile, keeping what it showed.
    QCOMPARE(silent->connections(), 1);
    QVERIFY2(heartbeat.longestGapMs < Limit.count() + testtime::scaled(2000),
             qPrintable(QString::number(heartbeat.longestGapMs)));
    QVERIFY2(heartbeat.ticks > 50, qPrintable(QString::number(heartbeat.ticks)));
    QCOMPARE(f.tray.toolTip(), tip);
    QVERIFY(f.dialogs.shown.isEmpty());

    // A click on the icon is the user's own request: tried at once.
    f.tray.click(Qt::RightButton);
    QCOMPARE(silent->connections(), 2);

    // Once the service answers again, the pointer refreshes again.
    silent.reset();
    FakeService back(port);
    QVERIFY(back.isListening());
    back.setReply("UpdateStatus", MainFormFixture::statusReply("pc-1", "198.51.100.4", "10.0.0.9"));
    f.tray.click(Qt::RightButton);
    QVERIFY(f.tray.toolTip().contains("198.51.100.4"));
    back.setReply("UpdateStatus", MainFormFixture::statusReply("pc-1", "198.51.100.5", "10.0.0.9"));
    f.tray.movePointer();
    QVERIFY(f.tray.toolTip().contains("198.51.100.5"));
}

QTEST_MAIN(TestUnansweringService)
#include "tst_unanswering_service.moc"
