#include "send_push/AppriseRun.h"

#include "common/TimeLimits.h"
#include "send_push/PushMessage.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

// Time for the command to start, and to go once it has been killed.
constexpr int StartLimitMs = int(std::chrono::milliseconds(timelimits::HelperStart).count());
constexpr qsizetype QuotedOutput = 300;

// The last lines apprise wrote: where it says what failed.
QString lastLines(const QByteArray& output)
{
    QStringList lines;
    for (const QString& line : QString::fromUtf8(output).split(u'\n')) {
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    }
    QString text = lines.mid(qMax(0, int(lines.size()) - 3)).join(QStringLiteral(" / "));
    if (text.size() > QuotedOutput)
        text = QStringLiteral("…") + text.right(QuotedOutput);
    return text;
}

} // namespace

PushResult sendThroughApprise(const PushJob& job)
{
    const QString program =
        job.appriseProgram.contains(u'/')
            ? (QFileInfo(job.appriseProgram).isExecutable() ? job.appriseProgram : QString())
            : QStandardPaths::findExecutable(job.appriseProgram);
    if (program.isEmpty())
        return {false, QStringLiteral("the apprise command is not installed (install the "
                                      "package apprise: sudo apt install apprise)")};
    QProcess apprise;
    apprise.setProgram(program);
    QStringList arguments{QStringLiteral("--title"), job.title, QStringLiteral("--body"),
                          job.message, QStringLiteral("--")};
    arguments << job.appriseUrls;
    apprise.setArguments(arguments);
    apprise.setProcessChannelMode(QProcess::MergedChannels);
    apprise.setStandardInputFile(QProcess::nullDevice());
    apprise.start();
    if (!apprise.waitForStarted(StartLimitMs))
        return {false, QStringLiteral("cannot start %1: %2").arg(program, apprise.errorString())};
    // apprise sends to all its URLs at once, each with its own limit.
    if (!apprise.waitForFinished(job.timeoutSeconds * 1000 + StartLimitMs)) {
        apprise.kill();
        apprise.waitForFinished(StartLimitMs);
        return {false, QStringLiteral("apprise did not finish in %1 s").arg(job.timeoutSeconds)};
    }
    const QString said = pushmessage::redacted(lastLines(apprise.readAll()), job.secrets);
    if (apprise.exitStatus() != QProcess::NormalExit)
        return {false, QStringLiteral("apprise crashed")};
    if (apprise.exitCode() != 0)
        return {false, QStringLiteral("apprise failed (exit code %1)%2")
                           .arg(apprise.exitCode())
                           .arg(said.isEmpty() ? QString() : QStringLiteral(": ") + said)};
    return {true, QStringLiteral("sent through apprise to %1").arg(pushmessage::destination(job))};
}
