#include "send_push/AppriseRun.h"

#include "common/TimeLimits.h"
#include "helpers/HelperRun.h"
#include "send_push/PushMessage.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace {

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
    QStringList arguments{QStringLiteral("--title"), job.title, QStringLiteral("--body"),
                          job.message, QStringLiteral("--")};
    arguments << job.appriseUrls;
    // apprise sends to all its URLs at once, each with its own limit.
    const HelperEnd end =
        HelperRun::run({program,
                        arguments,
                        {},
                        std::chrono::seconds(job.timeoutSeconds) + timelimits::HelperStart,
                        HelperRun::Errors::InReport});
    const QString said = pushmessage::redacted(lastLines(end.report), job.secrets);
    switch (end.kind) {
    case HelperEnd::NotStarted:
        return {false, QStringLiteral("cannot start %1: %2").arg(program, end.error)};
    case HelperEnd::TooLong:
        return {false, QStringLiteral("apprise did not finish in %1 s").arg(job.timeoutSeconds)};
    case HelperEnd::Crashed:
        return {false, QStringLiteral("apprise crashed")};
    case HelperEnd::Exited:
        break;
    }
    if (end.exitCode != 0)
        return {false, QStringLiteral("apprise failed (exit code %1)%2")
                           .arg(end.exitCode)
                           .arg(said.isEmpty() ? QString() : QStringLiteral(": ") + said)};
    return {true, QStringLiteral("sent through apprise to %1").arg(pushmessage::destination(job))};
}
