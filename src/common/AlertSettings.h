#pragma once

#include "common/SettingSpelling.h"
#include "common/SettingTable.h"

#include <QByteArray>
#include <QList>
#include <array>
#include <map>

// Some settings with their values: what a save brings.
using SettingValues = std::map<Setting, SettingValue>;

// The value of every setting of the table: what the service keeps, and acts on.
// Texts are kept as the bytes the window sent; the carrier as its name in the
// carrier list (empty for none), whatever position the list gives it.
class AlertSettings
{
public:
    // Every setting at its default.
    AlertSettings();

    static SettingValue defaultValue(Setting setting);

    const SettingValue& value(Setting setting) const { return m_values[size_t(setting)]; }
    bool isOn(Setting setting) const { return std::get<bool>(value(setting)); }
    int number(Setting setting) const { return std::get<int>(value(setting)); }
    // A Text, Port or Carrier.
    const QByteArray& text(Setting setting) const { return std::get<QByteArray>(value(setting)); }

    // The value must be of the setting's kind.
    void set(Setting setting, SettingValue value);
    void set(const SettingValues& values);

    // The link. `carrierNames` is the carrier list the window is given, in its
    // order: the link carries the carrier's position in it, -1 for none.
    QByteArray linkValue(Setting setting, const QList<QByteArray>& carrierNames) const;
    // Throws ConvertError when the text is not of the setting's kind. A
    // carrier position outside the list is no carrier.
    static SettingValue fromLink(Setting setting, const QByteArray& text,
                                 const QList<QByteArray>& carrierNames);

    // The 18 wire values in their order.
    QList<QByteArray> toValues(const QList<QByteArray>& carrierNames) const;
    // The list that follows the "SaveSettings" command: "18" and the 18
    // values, so value n is line n.
    QList<QByteArray> toSaveList(const QList<QByteArray>& carrierNames) const;
    // The 18 settings of such a list; throws ConvertError unless it is 19 lines
    // whose first is "18" and whose values are well formed. An empty carrier
    // line is no carrier.
    static SettingValues fromSaveList(const QList<QByteArray>& list,
                                      const QList<QByteArray>& carrierNames);

    bool operator==(const AlertSettings&) const = default;

private:
    std::array<SettingValue, SettingCount> m_values;
};
