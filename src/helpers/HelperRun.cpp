#include "helpers/HelperRun.h"

#include "common/TimeLimits.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <algorithm>
#include <csignal>
#include <limits>

void restoreDefaultSignals()
{
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &byDefault, nullptr); // fails harmlessly for KILL and STOP
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

namespace {

void prepare(QProcess& process, const HelperRun::Setup& setup)
{
    process.setProgram(setup.program);
    process.setArguments(setup.arguments);
    switch (setup.errors) {
    case HelperRun::Errors::Forwarded:
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        break;
    case HelperRun::Errors::Discarded:
        process.setStandardErrorFile(QProcess::nullDevice());
        break;
    case HelperRun::Errors::InReport:
        process.setProcessChannelMode(QProcess::MergedChannels);
        break;
    }
    // In the child, between fork and exec: async-signal-safe calls only.
    process.setChildProcessModifier(restoreDefaultSignals);
}

// How a helper that has finished ended.
HelperEnd finished(QProcess& process)
{
    HelperEnd end;
    end.kind =
        process.exitStatus() == QProcess::NormalExit ? HelperEnd::Exited : HelperEnd::Crashed;
    end.exitCode = process.exitCode();
    end.report = process.readAllStandardOutput();
    return end;
}

// As QProcess's waits take it.
int milliseconds(qint64 time)
{
    return int(std::clamp<qint64>(time, 0, std::numeric_limits<int>::max()));
}

int milliseconds(std::chrono::milliseconds time)
{
    return milliseconds(time.count());
}

} // namespace

HelperRun::HelperRun(Setup setup, QObject* parent) : QObject(parent), m_setup(std::move(setup))
{
    m_deadline.setSingleShot(true);
    // Never before the limit (a coarse timer may fire 5 % early).
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, &HelperRun::onTooLong);
}

HelperRun::~HelperRun()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(milliseconds(timelimits::HelperStart));
    }
}

void HelperRun::start()
{
    if (isRunning())
        return;
    m_tooLong = false;
    m_process = new QProcess(this);
    prepare(*m_process, m_setup);
    connect(m_process, &QProcess::started, this, &HelperRun::onStarted);
    connect(m_process, &QProcess::finished, this, &HelperRun::onFinished);
    // Other errors end in finished() as well.
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            onFailedToStart();
    });
    m_deadline.start(m_setup.limit);
    m_process->start();
}

void HelperRun::onStarted()
{
    m_process->write(m_setup.job);
    m_process->closeWriteChannel();
}

void HelperRun::onFailedToStart()
{
    if (!m_process)
        return;
    HelperEnd how;
    how.error = m_process->errorString();
    end(how);
}

void HelperRun::onTooLong()
{
    if (!m_process)
        return;
    m_tooLong = true;
    m_process->kill(); // finished() follows
}

void HelperRun::onFinished()
{
    if (!m_process)
        return;
    HelperEnd how = finished(*m_process);
    if (m_tooLong)
        how.kind = HelperEnd::TooLong;
    end(how);
}

void HelperRun::end(HelperEnd how)
{
    m_deadline.stop();
    m_process->disconnect(this);
    m_process->deleteLater();
    m_process = nullptr;
    emit ended(how);
}

HelperEnd HelperRun::run(const Setup& setup)
{
    const QDeadlineTimer deadline(setup.limit);
    QProcess process;
    prepare(process, setup);
    process.start();
    const int startLimit =
        std::min(milliseconds(timelimits::HelperStart), milliseconds(deadline.remainingTime()));
    if (!process.waitForStarted(startLimit)) {
        process.kill();
        process.waitForFinished(milliseconds(timelimits::HelperStart));
        HelperEnd how;
        how.error = process.errorString();
        return how;
    }
    process.write(setup.job);
    process.closeWriteChannel();
    if (!process.waitForFinished(milliseconds(deadline.remainingTime()))) {
        process.kill();
        process.waitForFinished(milliseconds(timelimits::HelperStart));
        HelperEnd how = finished(process);
        how.kind = HelperEnd::TooLong;
        return how;
    }
    return finished(process);
}
