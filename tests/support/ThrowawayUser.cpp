#include "support/ThrowawayUser.h"
#include "support/TestTime.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QThread>
#include <pwd.h>
#include <unistd.h>

namespace {

int run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(testtime::scaled(30000))) {
        process.kill();
        process.waitForFinished(testtime::scaled(30000));
        return -1;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll()).trimmed();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

ThrowawayUser::ThrowawayUser()
{
    if (::geteuid() != 0) {
        m_error = QStringLiteral("only root can make a user");
        return;
    }
    m_name =
        QStringLiteral("velmoratest%1").arg(QRandomGenerator::global()->bounded(100000, 999999));
    QString output;
    if (run(QStringLiteral("/usr/sbin/useradd"),
            {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
             QStringLiteral("--user-group"), QStringLiteral("--shell"),
             QStringLiteral("/usr/sbin/nologin"), m_name},
            &output) != 0) {
        m_error = QStringLiteral("useradd failed: %1").arg(output);
        m_name.clear();
        return;
    }
    const passwd* entry = ::getpwnam(m_name.toLocal8Bit().constData());
    if (!entry) {
        m_error = QStringLiteral("the new user %1 cannot be found").arg(m_name);
        return;
    }
    m_uid = entry->pw_uid;
    m_gid = entry->pw_gid;
}

ThrowawayUser::~ThrowawayUser()
{
    if (m_name.isEmpty())
        return;
    // userdel refuses a user that still runs something: the test ends the
    // processes it started as this user, which may take a moment.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (run(QStringLiteral("/usr/sbin/userdel"), {m_name}) == 0)
            return;
        QThread::msleep(100);
    }
}

QStringList ThrowawayUser::runAs() const
{
    return {QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(m_uid),
            QStringLiteral("--regid=%1").arg(m_gid), QStringLiteral("--clear-groups")};
}
