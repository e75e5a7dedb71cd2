#include "support/ThrowawayUser.h"
#include "support/ProgramRun.h"

#include <QRandomGenerator>
#include <QThread>
#include <pwd.h>
#include <unistd.h>

ThrowawayUser::ThrowawayUser()
{
    if (::geteuid() != 0) {
        m_error = QStringLiteral("only root can make a user");
        return;
    }
    m_name =
        QStringLiteral("velmoratest%1").arg(QRandomGenerator::global()->bounded(100000, 999999));
    QString output;
    if (runToEnd(QStringLiteral("/usr/sbin/useradd"),
                 {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                  QStringLiteral("--user-group"), QStringLiteral("--shell"),
                  QStringLiteral("/usr/sbin/nologin"), m_name},
                 &output) != 0) {
        m_error = QStringLiteral("useradd failed: %1").arg(output.trimmed());
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
        if (runToEnd(QStringLiteral("/usr/sbin/userdel"), {m_name}) == 0)
            return;
        QThread::msleep(100);
    }
}

QStringList ThrowawayUser::runAs() const
{
    return {QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(m_uid),
            QStringLiteral("--regid=%1").arg(m_gid), QStringLiteral("--clear-groups")};
}
