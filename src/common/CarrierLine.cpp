#include "common/CarrierLine.h"

#include "common/SplitFields.h"

#include <QStringList>

std::optional<CarrierLine> CarrierLine::parse(const QString& line)
{
    QStringList fields;
    SplitFields(u'|', line, fields);
    if (fields.size() < 2)
        return std::nullopt;
    return CarrierLine{fields[0], fields[1]};
}
