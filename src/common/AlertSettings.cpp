#include "common/AlertSettings.h"

#include "common/TextConvert.h"

#include <QtGlobal>

AlertSettings::AlertSettings()
{
    for (const SettingInfo& row : settingtable::all())
        m_values[size_t(row.setting)] = defaultValue(row.setting);
}

SettingValue AlertSettings::defaultValue(Setting setting)
{
    const SettingInfo& row = settingtable::info(setting);
    QString why;
    const std::optional<SettingValue> value =
        spelling::fromFile(row.kind, QByteArray(row.defaultValue), &why);
    Q_ASSERT_X(value, row.fileKey, "the table's default is not of its kind");
    return *value;
}

void AlertSettings::set(Setting setting, SettingValue value)
{
    Q_ASSERT(value.index() == defaultValue(setting).index());
    m_values[size_t(setting)] = std::move(value);
}

void AlertSettings::set(const SettingValues& values)
{
    for (const auto& [setting, value] : values)
        set(setting, value);
}

QByteArray AlertSettings::linkValue(Setting setting, const QList<QByteArray>& carrierNames) const
{
    switch (settingtable::info(setting).kind) {
    case SettingKind::Switch:
        return spelling::switchOnLink(isOn(setting));
    case SettingKind::Number:
        return spelling::numberOnLink(number(setting));
    case SettingKind::Carrier: {
        const QByteArray& name = text(setting);
        return spelling::numberOnLink(name.isEmpty() ? -1 : int(carrierNames.indexOf(name)));
    }
    case SettingKind::Text:
    case SettingKind::Port:
        break;
    }
    return text(setting);
}

SettingValue AlertSettings::fromLink(Setting setting, const QByteArray& text,
                                     const QList<QByteArray>& carrierNames)
{
    switch (settingtable::info(setting).kind) {
    case SettingKind::Switch:
        return spelling::switchFromLink(text);
    case SettingKind::Number:
        return spelling::numberFromLink(text);
    case SettingKind::Carrier: {
        if (text.isEmpty())
            return QByteArray();
        const int position = spelling::numberFromLink(text);
        return position >= 0 && position < carrierNames.size() ? carrierNames.at(position)
                                                               : QByteArray();
    }
    case SettingKind::Text:
    case SettingKind::Port:
        break;
    }
    return text;
}

QList<QByteArray> AlertSettings::toValues(const QList<QByteArray>& carrierNames) const
{
    QList<QByteArray> values;
    for (int position = 1; position <= settingtable::WireValueCount; ++position)
        values.append(linkValue(settingtable::atWirePosition(position), carrierNames));
    return values;
}

QList<QByteArray> AlertSettings::toSaveList(const QList<QByteArray>& carrierNames) const
{
    return QList<QByteArray>{QByteArray::number(settingtable::WireValueCount)} +
           toValues(carrierNames);
}

SettingValues AlertSettings::fromSaveList(const QList<QByteArray>& list,
                                          const QList<QByteArray>& carrierNames)
{
    if (list.size() != settingtable::WireValueCount + 1 ||
        list.first() != QByteArray::number(settingtable::WireValueCount))
        throw ConvertError("a settings list must be \"18\" and 18 values");
    SettingValues values;
    for (int position = 1; position <= settingtable::WireValueCount; ++position) {
        const Setting setting = settingtable::atWirePosition(position);
        values[setting] = fromLink(setting, list.at(position), carrierNames);
    }
    return values;
}
