// Time from adding an address to an interface until the service's alert e-mail
// has arrived at a real SMTP server (aiosmtpd) on loopback, and, in the same
// run, until its push notification has reached Debian's webhook server, in a
// network namespace of the benchmark's own (needs root).
//
//   bench_alert_delivery [rounds]      (default 10)
//
// Goal: under 1 s for each. Exits 1 when missed, 77 when it cannot run here.
#include "BenchNetwork.h"
#include "support/EchoHttpServer.h"
#include "support/PrivateNetwork.h"

#include "common/AlertSettings.h"
#include "common/SettingSpelling.h"
#include "servers/FreePort.h"
#include "servers/ServerProcess.h"
#include "servers/SmtpServer.h"
#include "servers/WebhookReceiver.h"
#include "service_link/ServiceCommands.h"
#include "service_link/ServiceTransaction.h"
#include "service_link/TcpClient.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>

namespace {

QList<QByteArray> status(quint16 port)
{
    try {
        TcpClient client(QStringLiteral("127.0.0.1"), port);
        ServiceTransaction transaction(client);
        return service::request(transaction, service::UpdateStatus);
    } catch (const std::exception&) {
        return {};
    }
}

bool save(quint16 port, const AlertSettings& settings)
{
    try {
        {
            TcpClient client(QStringLiteral("127.0.0.1"), port);
            ServiceTransaction transaction(client);
            service::sendSettings(transaction, settings.toSaveList({}));
        }
        QList<QByteArray> keyed;
        for (const SettingInfo& row : settingtable::all()) {
            if (row.isKeyed())
                keyed << spelling::keyedLine(row.fileKey, settings.linkValue(row.setting, {}));
        }
        TcpClient client(QStringLiteral("127.0.0.1"), port);
        ServiceTransaction transaction(client);
        service::sendKeyedSettings(transaction, keyed);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// Waits (polling every millisecond) until the e-mail server has `count`
// messages and the webhook server as many notifications; the time each
// arrived, in ms since `timer` started, or nothing.
bool waitForBoth(const testservers::SmtpServer& smtp, const testservers::WebhookReceiver& hook,
                 int count, const QElapsedTimer& timer, double* mailMs, double* pushMs,
                 int timeoutMs = 10000)
{
    const QDeadlineTimer deadline(timeoutMs);
    *mailMs = *pushMs = -1;
    while (*mailMs < 0 || *pushMs < 0) {
        if (deadline.hasExpired())
            return false;
        if (*mailMs < 0 && smtp.messages().size() >= count)
            *mailMs = double(timer.nsecsElapsed()) / 1e6;
        if (*pushMs < 0 && hook.kept().size() >= count)
            *pushMs = double(timer.nsecsElapsed()) / 1e6;
        QThread::usleep(1000);
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;

    QString error;
    if (const int failed = bench::enterPrivateNetwork(&error)) {
        std::fprintf(failed == 77 ? stdout : stderr, "%s%s\n", failed == 77 ? "skipped: " : "",
                     qPrintable(error));
        return failed;
    }
    const QString& routeLink = bench::RouteLink;
    EchoHttpServer echo;
    echo.setAddress("203.0.113.7");
    testservers::SmtpServer smtp;
    if (!smtp.start({})) {
        std::fprintf(stderr, "%s\n", qPrintable(smtp.errorText()));
        return 2;
    }

    testservers::WebhookReceiver hook;
    if (!hook.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(hook.errorText()));
        return 2;
    }

    QTemporaryDir folder;
    const quint16 port = testservers::freePort();
    testservers::ServerProcess service;
    if (!service.start(QStringLiteral(VELMORA_SERVICE_PROGRAM),
                       {"--port", QString::number(port), "--config-dir", folder.path() + "/config",
                        "--log-file", folder.path() + "/velmora.log", "--echo-url",
                        echo.url().toString(), "--echo-min-gap", "0", "--local-check-interval",
                        "3600"},
                       port, 30000, testfiles::userEnvironment(folder.path()))) {
        std::fprintf(stderr, "%s\n", qPrintable(service.errorText()));
        return 2;
    }
    const QDeadlineTimer ready(10000);
    while (status(port).mid(2) != QList<QByteArray>{"203.0.113.7", "198.51.100.10"}) {
        if (ready.hasExpired()) {
            std::fprintf(stderr, "the service did not learn its addresses\n");
            return 2;
        }
        QThread::msleep(10);
    }
    AlertSettings settings;
    settings.set(Setting::EmailAlerts, true);
    settings.set(Setting::Recipients, QByteArray("alerts@example.com"));
    settings.set(Setting::SmtpServer, QByteArray("127.0.0.1"));
    settings.set(Setting::SmtpPort, QByteArray::number(smtp.port()));
    settings.set(Setting::PushAlerts, true);
    settings.set(Setting::PushUrl, hook.url().toUtf8());
    if (!save(port, settings)) {
        std::fprintf(stderr, "cannot save the settings\n");
        return 2;
    }

    QList<double> mailed;
    QList<double> pushed;
    int messages = 0;
    for (int round = 0; round < rounds; ++round) {
        const QString address = QStringLiteral("192.0.2.%1/24").arg(10 + round);
        QElapsedTimer timer;
        timer.start();
        if (!privatenetwork::ip({"addr", "add", address, "dev", routeLink}, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 2;
        }
        double mailMs = 0;
        double pushMs = 0;
        if (!waitForBoth(smtp, hook, ++messages, timer, &mailMs, &pushMs)) {
            std::fprintf(stderr, "no e-mail or no push for %s\n", qPrintable(address));
            return 1;
        }
        mailed.append(mailMs);
        pushed.append(pushMs);
        // Taking it away again is a change back to the other address, with its own alerts.
        privatenetwork::ip({"addr", "del", address, "dev", routeLink});
        timer.restart();
        if (!waitForBoth(smtp, hook, ++messages, timer, &mailMs, &pushMs)) {
            std::fprintf(stderr, "no e-mail or no push after removing %s\n", qPrintable(address));
            return 1;
        }
        privatenetwork::ip({"route", "replace", "default", "dev", routeLink});
    }

    std::printf("address added -> alert stored by the receiving server, %d rounds (ms):\n", rounds);
    std::printf("  e-mail (aiosmtpd): median %.1f, 90%% %.1f, max %.1f\n",
                bench::percentile(mailed, 0.5), bench::percentile(mailed, 0.9),
                bench::percentile(mailed, 1.0));
    std::printf("  push (webhook):    median %.1f, 90%% %.1f, max %.1f\n",
                bench::percentile(pushed, 0.5), bench::percentile(pushed, 0.9),
                bench::percentile(pushed, 1.0));
    const double worst = std::max(bench::percentile(mailed, 1.0), bench::percentile(pushed, 1.0));
    std::printf("goal < 1000 ms (worst case of either): %s\n", worst < 1000 ? "met" : "MISSED");
    return worst < 1000 ? 0 : 1;
}
