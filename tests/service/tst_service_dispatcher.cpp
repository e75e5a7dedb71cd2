// The alert dispatcher in-process, with channels that answer from a script:
// the retry schedule, the hold while the network is down, the switches, the
// date of a change and the alerts left pending, with no server and no real
// waiting (the retry delays are zero).
#include "service/alerts/AlertDispatcher.h"
#include "service/alerts/NextWait.h"
#include "service/alerts/PendingAlerts.h"
#include "support/TestTime.h"

#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QtTest>
#include <mutex>

using std::chrono::milliseconds;

namespace {

const Addresses Previous{QStringLiteral("203.0.113.7"), QStringLiteral("192.168.1.20")};
const Addresses Current{QStringLiteral("198.51.100.23"), QStringLiteral("192.168.1.20")};
const QDateTime ClockTime(QDate(2024, 2, 6), QTime(11, 30, 5));

// Answers the attempts of each kind with the outcomes scripted for it, in
// turn, the last one again once the script is used up; records every attempt.
class ScriptedChannels : public AlertChannels
{
public:
    struct Attempt
    {
        AddressChange change;
        AlertSettings settings;
    };

    void script(const QString& kind, const QList<AlertOutcome::Status>& outcomes)
    {
        const std::lock_guard lock(m_mutex);
        m_scripts[kind] = outcomes;
    }
    QList<Attempt> attempts(const QString& kind) const
    {
        const std::lock_guard lock(m_mutex);
        return m_attempts.value(kind);
    }

    AlertOutcome sendEmail(const AddressChange& change,
                           const AlertSettings& settings) const override
    {
        return answer(QStringLiteral("e-mail"), change, settings);
    }
    AlertOutcome sendTextMessage(const AddressChange& change,
                                 const AlertSettings& settings) const override
    {
        return answer(QStringLiteral("text message"), change, settings);
    }
    AlertOutcome runProgram(const AddressChange& change,
                            const AlertSettings& settings) const override
    {
        return answer(QStringLiteral("program"), change, settings);
    }
    AlertOutcome uploadPage(const AddressChange& change,
                            const AlertSettings& settings) const override
    {
        return answer(QStringLiteral("FTP page"), change, settings);
    }
    AlertOutcome sendPush(const AddressChange& change, const AlertSettings& settings) const override
    {
        return answer(QStringLiteral("push"), change, settings);
    }

private:
    AlertOutcome answer(const QString& kind, const AddressChange& change,
                        const AlertSettings& settings) const
    {
        const std::lock_guard lock(m_mutex);
        QList<Attempt>& attempts = m_attempts[kind];
        attempts.append({change, settings});
        const QList<AlertOutcome::Status> script = m_scripts.value(kind, {AlertOutcome::Sent});
        return {script.at(qMin(attempts.size(), script.size()) - 1), QStringLiteral("scripted")};
    }

    mutable std::mutex m_mutex;
    QHash<QString, QList<AlertOutcome::Status>> m_scripts;
    mutable QHash<QString, QList<Attempt>> m_attempts;
};

AlertSettings switchedOn(const QStringList& kinds)
{
    AlertSettings settings;
    settings.set(Setting::EmailAlerts, kinds.contains(QStringLiteral("e-mail")));
    settings.set(Setting::TextAlerts, kinds.contains(QStringLiteral("text message")));
    settings.set(Setting::RunProgram, kinds.contains(QStringLiteral("program")));
    settings.set(Setting::FtpPage, kinds.contains(QStringLiteral("FTP page")));
    settings.set(Setting::PushAlerts, kinds.contains(QStringLiteral("push")));
    return settings;
}

} // namespace

class TestServiceDispatcher : public QObject
{
    Q_OBJECT
private slots:
    void nextWait_data();
    void nextWait();
    void attempts_data();
    void attempts();
    void switchesChooseTheAlertsAndTheClockDatesTheChange();
    void pendingAlertsStillSwitchedOnResumeWithTheirDate();
};

void TestServiceDispatcher::nextWait_data()
{
    QTest::addColumn<QList<int>>("delays"); // milliseconds
    QTest::addColumn<int>("retriesUsed");
    QTest::addColumn<bool>("networkDown");
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("delay"); // -1: no limit

    const QList<int> delays{60000, 300000, 900000};
    QTest::newRow("first retry") << delays << 0 << false << int(NextWait::Retry) << 60000;
    QTest::newRow("last retry") << delays << 2 << false << int(NextWait::Retry) << 900000;
    QTest::newRow("retries used up") << delays << 3 << false << int(NextWait::GiveUp) << -1;
    QTest::newRow("no retries") << QList<int>{} << 0 << false << int(NextWait::GiveUp) << -1;
    QTest::newRow("network down: held at most the longest delay")
        << delays << 0 << true << int(NextWait::HoldForNetwork) << 900000;
    QTest::newRow("network down after the retries are used up")
        << delays << 3 << true << int(NextWait::HoldForNetwork) << 900000;
    QTest::newRow("network down, no retries: held without a limit")
        << QList<int>{} << 0 << true << int(NextWait::HoldForNetwork) << -1;
}

void TestServiceDispatcher::nextWait()
{
    QFETCH(QList<int>, delays);
    QFETCH(int, retriesUsed);
    QFETCH(bool, networkDown);
    QFETCH(int, action);
    QFETCH(int, delay);
    QList<milliseconds> retryDelays;
    for (const int ms : delays)
        retryDelays.append(milliseconds(ms));
    const NextWait next = ::nextWait(retryDelays, retriesUsed, networkDown);
    QCOMPARE(int(next.action), action);
    QCOMPARE(next.delay ? qint64(next.delay->count()) : -1, qint64(delay));
}

void TestServiceDispatcher::attempts_data()
{
    using S = AlertOutcome::Status;
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<S>>("script");
    QTest::addColumn<int>("retries"); // zero delays
    QTest::addColumn<bool>("networkDown");
    QTest::addColumn<int>("attempts");

    const QString email = QStringLiteral("e-mail");
    QTest::newRow("sent at once") << email << QList<S>{S::Sent} << 2 << false << 1;
    QTest::newRow("retried until sent")
        << email << QList<S>{S::Failed, S::Failed, S::Sent} << 3 << false << 3;
    QTest::newRow("given up after the last retry")
        << email << QList<S>{S::Failed} << 2 << false << 3;
    QTest::newRow("no retries") << email << QList<S>{S::Failed} << 0 << false << 1;
    QTest::newRow("skipped is not retried") << email << QList<S>{S::Skipped} << 2 << false << 1;
    QTest::newRow("held while the network is down, using up no retry")
        << email << QList<S>{S::Failed, S::Failed, S::Failed, S::Sent} << 1 << true << 4;
    QTest::newRow("FTP page held too")
        << QStringLiteral("FTP page") << QList<S>{S::Failed, S::Failed, S::Sent} << 1 << true << 3;
    QTest::newRow("program needs no network")
        << QStringLiteral("program") << QList<S>{S::Failed} << 1 << true << 2;
}

void TestServiceDispatcher::attempts()
{
    QFETCH(QString, kind);
    QFETCH(QList<AlertOutcome::Status>, script);
    QFETCH(int, retries);
    QFETCH(bool, networkDown);
    QFETCH(int, attempts);

    QTemporaryDir state;
    ScriptedChannels channels;
    channels.script(kind, script);
    AlertDispatcher dispatcher(channels, state.path(),
                               QList<milliseconds>(retries, milliseconds(0)));
    dispatcher.networkChecked(!networkDown);
    dispatcher.addressChanged(Previous, Current, switchedOn({kind}));

    // The alert leaves the pending list once it will not be tried again.
    const QString pending = PendingAlerts(state.path()).filePath();
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(pending), testtime::scaled(20000));
    QVERIFY(dispatcher.finish(std::chrono::seconds(20)));
    QCOMPARE(channels.attempts(kind).size(), attempts);
}

void TestServiceDispatcher::switchesChooseTheAlertsAndTheClockDatesTheChange()
{
    QTemporaryDir state;
    ScriptedChannels channels;
    AlertDispatcher dispatcher(channels, state.path(), {}, [] { return ClockTime; });
    const QStringList on{QStringLiteral("e-mail"), QStringLiteral("program"),
                         QStringLiteral("FTP page")};
    const AlertSettings settings = switchedOn(on);
    dispatcher.addressChanged(Previous, Current, settings);

    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(PendingAlerts(state.path()).filePath()),
                             testtime::scaled(20000));
    QVERIFY(dispatcher.finish(std::chrono::seconds(20)));
    QVERIFY(channels.attempts(QStringLiteral("text message")).isEmpty());
    for (const QString& kind : on) {
        const QList<ScriptedChannels::Attempt> attempts = channels.attempts(kind);
        QCOMPARE(attempts.size(), 1);
        QCOMPARE(attempts.first().change.previous, Previous);
        QCOMPARE(attempts.first().change.current, Current);
        QCOMPARE(attempts.first().change.when, ClockTime);
        QVERIFY(attempts.first().settings == settings);
    }
}

void TestServiceDispatcher::pendingAlertsStillSwitchedOnResumeWithTheirDate()
{
    QTemporaryDir state;
    const PendingAlerts store(state.path());
    const QDateTime stopped(QDate(2024, 2, 5), QTime(23, 59, 0));
    store.save({Previous, Current, stopped, {QStringLiteral("e-mail"), QStringLiteral("program")}});

    ScriptedChannels channels;
    AlertDispatcher dispatcher(channels, state.path(), {}, [] { return ClockTime; });
    // The program has been switched off since; the FTP page was not pending.
    dispatcher.settingsChanged(switchedOn({QStringLiteral("e-mail"), QStringLiteral("FTP page")}));
    dispatcher.resumePending();

    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(store.filePath()), testtime::scaled(20000));
    QVERIFY(dispatcher.finish(std::chrono::seconds(20)));
    const QList<ScriptedChannels::Attempt> email = channels.attempts(QStringLiteral("e-mail"));
    QCOMPARE(email.size(), 1);
    QCOMPARE(email.first().change.when, stopped);
    QCOMPARE(email.first().change.current, Current);
    QVERIFY(channels.attempts(QStringLiteral("program")).isEmpty());
    QVERIFY(channels.attempts(QStringLiteral("FTP page")).isEmpty());
}

QTEST_GUILESS_MAIN(TestServiceDispatcher)
#include "tst_service_dispatcher.moc"
