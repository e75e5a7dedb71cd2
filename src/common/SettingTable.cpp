#include "common/SettingTable.h"

#include <array>
#include <stdexcept>
#include <string_view>

namespace {

constexpr int Keyed = 0;
constexpr int Wire(int position)
{
    return position;
}

constexpr std::array Table = {
#define VELMORA_SETTING_ROW(code, fileKey, formerKey, kind, defaultValue, link, control)           \
    SettingInfo{Setting::code,     #code,        fileKey, formerKey,                               \
                SettingKind::kind, defaultValue, link,    control},
    VELMORA_SETTINGS(VELMORA_SETTING_ROW)
#undef VELMORA_SETTING_ROW
};

// Each wire position once, and the keys unique: checked as the table compiles.
constexpr bool wirePositionsAreWhole()
{
    for (int position = 1; position <= settingtable::WireValueCount; ++position) {
        int holders = 0;
        for (const SettingInfo& row : Table)
            holders += row.wirePosition == position ? 1 : 0;
        if (holders != 1)
            return false;
    }
    for (const SettingInfo& row : Table) {
        if (row.wirePosition < 0 || row.wirePosition > settingtable::WireValueCount)
            return false;
    }
    return true;
}

constexpr bool keysAreUnique()
{
    for (size_t i = 0; i < Table.size(); ++i) {
        for (size_t j = i + 1; j < Table.size(); ++j) {
            if (std::string_view(Table[i].fileKey) == Table[j].fileKey)
                return false;
        }
    }
    return true;
}

constexpr bool rowsFollowTheCodeNames()
{
    for (size_t i = 0; i < Table.size(); ++i) {
        if (size_t(Table[i].setting) != i)
            return false;
    }
    return true;
}

static_assert(wirePositionsAreWhole(), "each of the 18 wire positions needs exactly one setting");
static_assert(keysAreUnique(), "two settings share a file key");
static_assert(rowsFollowTheCodeNames());

} // namespace

namespace settingtable {

std::span<const SettingInfo> all()
{
    return Table;
}

const SettingInfo& info(Setting setting)
{
    return Table[size_t(setting)];
}

Setting atWirePosition(int position)
{
    for (const SettingInfo& row : Table) {
        if (row.wirePosition == position && position > 0)
            return row.setting;
    }
    throw std::out_of_range("no setting has this wire position");
}

qsizetype wireIndex(Setting setting)
{
    const int position = info(setting).wirePosition;
    if (position == 0)
        throw std::out_of_range("a setting of the extension has no wire position");
    return position - 1;
}

std::optional<Setting> withFileKey(QByteArrayView key)
{
    for (const SettingInfo& row : Table) {
        if (key == row.fileKey)
            return row.setting;
    }
    return std::nullopt;
}

std::optional<Setting> withFormerFileKey(QByteArrayView key)
{
    for (const SettingInfo& row : Table) {
        if (row.formerFileKey && key == row.formerFileKey)
            return row.setting;
    }
    return std::nullopt;
}

} // namespace settingtable
