// velmora-echo-check: asks the echo services, one after the other, for this
// computer's public address until two of different operators agree, and ends.
// velmora-service runs it for every check, so that Qt Network and the TLS
// libraries stay out of the resident service.
//
//   velmora-echo-check [--timeout <seconds>] [--family 4|6] [--known <address>]
//                      [--set-aside <url>]... [--] "<url> [<operator>]"...
//
// --family 6 asks for the IPv6 address: the sources that fit IPv6, each over
// IPv6; answers in one /64 agree. Without connectivity over IPv6 the last line
// is "failed no IPv6 connectivity (...)".
//
// Standard output: a line "answer <url> <address>" for each answer and
// "problem <url> <reason>" for each source without one, then
// "found <address>" or "failed <reason>". Exit code 0 when an address was
// found, 1 when none was agreed on, 2 on a bad command line.
#include "common/TimeLimits.h"
#include "echo_check/PublicAddressChecker.h"
#include "helpers/EchoCheckReport.h"

#include <QCoreApplication>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <cstdio>
#include <optional>

namespace {

constexpr int Found = 0;
constexpr int Failed = 1;
constexpr int BadUsage = 2;

struct Request
{
    std::chrono::milliseconds timeoutPerUrl{timelimits::EchoAnswer};
    QString known;
    AddressFamily family = AddressFamily::Ipv4;
    QStringList setAside;
    QList<EchoSource> sources;
};

std::optional<Request> readArguments(const QStringList& arguments)
{
    Request request;
    bool optionsOver = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (!optionsOver && argument == QLatin1String("--")) {
            optionsOver = true;
        } else if (!optionsOver && argument == QLatin1String("--timeout")) {
            bool ok = false;
            const double seconds = arguments.value(++i).toDouble(&ok);
            if (!ok || seconds <= 0 || seconds > 3600)
                return std::nullopt;
            request.timeoutPerUrl = std::chrono::milliseconds(qint64(seconds * 1000.0 + 0.5));
        } else if (!optionsOver && argument == QLatin1String("--family")) {
            const QString family = arguments.value(++i);
            if (family == QLatin1String("4"))
                request.family = AddressFamily::Ipv4;
            else if (family == QLatin1String("6"))
                request.family = AddressFamily::Ipv6;
            else
                return std::nullopt;
        } else if (!optionsOver && argument == QLatin1String("--known")) {
            if (++i >= arguments.size())
                return std::nullopt;
            request.known = arguments.at(i);
        } else if (!optionsOver && argument == QLatin1String("--set-aside")) {
            if (++i >= arguments.size())
                return std::nullopt;
            request.setAside << arguments.at(i);
        } else {
            const std::optional<EchoSource> source = EchoSource::fromText(argument);
            if (!source)
                return std::nullopt;
            request.sources.append(*source);
        }
    }
    return request;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const std::optional<Request> request = readArguments(QCoreApplication::arguments());
    if (!request) {
        std::fputs("usage: velmora-echo-check [--timeout <seconds>] [--family 4|6] "
                   "[--known <address>] "
                   "[--set-aside <url>]... [--] \"<http(s) url> [<operator>]\"...\n",
                   stderr);
        return BadUsage;
    }

    PublicAddressChecker checker(request->sources, request->timeoutPerUrl, request->setAside,
                                 request->family);
    checker.setKnownAddress(request->known);
    QByteArray answers;
    QObject::connect(&checker, &PublicAddressChecker::answered, &app,
                     [&answers](const QString& source, const QString& address) {
                         answers += echoreport::answer(source, address);
                     });
    QObject::connect(&checker, &PublicAddressChecker::unanswered, &app,
                     [&answers](const QString& source, const QString& reason) {
                         answers += echoreport::problem(source, reason);
                     });
    QByteArray line;
    int code = -1;
    const auto answer = [&line, &code](const QByteArray& text, int exitCode) {
        line = text;
        code = exitCode;
        QCoreApplication::exit(exitCode);
    };
    QObject::connect(
        &checker, &PublicAddressSource::found, &app,
        [&answer](const QString& address) { answer(echoreport::found(address), Found); });
    QObject::connect(
        &checker, &PublicAddressSource::failed, &app,
        [&answer](const QString& reason) { answer(echoreport::failed(reason), Failed); });
    checker.start();
    // Without a URL the answer comes at once, before the event loop would run.
    if (code < 0)
        QCoreApplication::exec();
    std::fputs((answers + line).constData(), stdout);
    std::fflush(stdout);
    return code;
}
