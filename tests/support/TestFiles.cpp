#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>

namespace testfiles {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<cannot read ") + path.toLocal8Bit() + '>';
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& contents, bool executable)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(contents) != contents.size())
        return false;
    file.close();
    return !executable ||
           file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

int modeOf(const QString& path)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

QProcessEnvironment userEnvironment(const QString& folder)
{
    const QString runtime = folder + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), folder + QStringLiteral("/state"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    return env;
}

} // namespace testfiles
