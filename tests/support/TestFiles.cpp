#include "support/TestFiles.h"

#include <QFile>

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

} // namespace testfiles
