#include "service_link/TextMessage.h"

#include "common/SplitFields.h"
#include "service_link/ServiceLinkError.h"

TCellularProvider parseCellularProvider(const QString& line)
{
    QStringList fields;
    SplitFields(QLatin1Char('|'), line, fields);
    if (fields.size() < 2)
        throw ServiceLinkError(
            QStringLiteral("carrier line '%1' has no gateway").arg(line).toStdString());
    return TCellularProvider{fields[0], fields[1]};
}
