#include "service/settings/CarrierList.h"

#include "common/CarrierLine.h"
#include "common/PrivateFile.h"
#include "service/base/ServiceLog.h"

#include <QFile>

static void initCarrierResource()
{
    // The list is compiled into a static library; this keeps it linked in.
    Q_INIT_RESOURCE(service_carriers);
}

namespace carriers {

namespace {

// A list of a few thousand carriers; anything larger is not a carrier list.
constexpr qint64 MaxFileSize = 1024 * 1024;

} // namespace

QList<QByteArray> parse(const QByteArray& text, const QString& origin)
{
    QList<QByteArray> lines;
    int number = 0;
    for (QByteArray line : text.split('\n')) {
        ++number;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        if (!CarrierLine::parse(QString::fromLocal8Bit(line))) {
            logLine(LogLevel::Warning,
                    QStringLiteral("%1, line %2: a carrier line needs \"name|gateway\"; left out")
                        .arg(origin)
                        .arg(number));
            continue;
        }
        lines.append(line);
    }
    return lines;
}

QList<QByteArray> load(const QString& configDir)
{
    const QString userList = configDir + QStringLiteral("/carriers.txt");
    const privatefile::ReadResult file =
        privatefile::read(userList, MaxFileSize, privatefile::Links::Followed);
    if (file.isRead())
        return parse(file.contents, userList);
    if (file.status != privatefile::ReadResult::Status::Missing)
        logLine(LogLevel::Warning,
                QStringLiteral("cannot read %1 (%2); using the built-in carrier list")
                    .arg(userList, file.reason));
    initCarrierResource();
    QFile builtIn(QStringLiteral(":/service/carriers.txt"));
    if (!builtIn.open(QIODevice::ReadOnly))
        return {};
    return parse(builtIn.readAll(), builtIn.fileName());
}

} // namespace carriers
