#pragma once

#include <QString>
#include <QStringList>
#include <sys/types.h>

// A user account made for one test (useradd, no home, no login) and removed
// again when the object goes, whatever the test's outcome. Only root can make
// one: isValid() is false otherwise, and errorText() says why.
class ThrowawayUser
{
public:
    ThrowawayUser();
    ~ThrowawayUser();
    ThrowawayUser(const ThrowawayUser&) = delete;
    ThrowawayUser& operator=(const ThrowawayUser&) = delete;

    bool isValid() const { return m_uid != uid_t(-1); }
    QString errorText() const { return m_error; }
    QString name() const { return m_name; }
    uid_t uid() const { return m_uid; }
    gid_t gid() const { return m_gid; }

    // The command (setpriv) that runs a program as this user, its arguments after it.
    QStringList runAs() const;

private:
    QString m_name;
    uid_t m_uid = uid_t(-1);
    gid_t m_gid = gid_t(-1);
    QString m_error;
};
