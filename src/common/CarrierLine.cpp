#include "common/CarrierLine.h"

#include "common/SplitFields.h"
#include "common/TextConvert.h"

#include <QStringList>

std::optional<CarrierLine> CarrierLine::parse(const QString& line)
{
    QStringList fields;
    SplitFields(u'|', line, fields);
    if (fields.size() < 2)
        return std::nullopt;
    return CarrierLine{fields[0], fields[1]};
}

QList<QByteArray> CarrierLine::namesOf(const QList<QByteArray>& lines)
{
    QList<QByteArray> names;
    for (const QByteArray& line : lines) {
        const std::optional<CarrierLine> carrier = parse(textKeepingBytes(line));
        names.append(carrier ? bytesKeptInText(carrier->name) : QByteArray());
    }
    return names;
}
