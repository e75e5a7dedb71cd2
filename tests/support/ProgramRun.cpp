#include "support/ProgramRun.h"

#include "support/TestTime.h"

#include <QProcess>

int runToEnd(const QString& program, const QStringList& arguments, QString* output,
             const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(testtime::scaled(30000))) {
        process.kill();
        process.waitForFinished(testtime::scaled(30000));
        return -1;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
