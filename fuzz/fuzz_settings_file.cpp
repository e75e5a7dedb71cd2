// settings.conf in either form: whatever is read, written and read again,
// gives the same settings, and nothing of the kept lines is lost.
#include "service/settings/SettingsFileFormat.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const settingsfile::SettingsFile first = settingsfile::read(text);
    const settingsfile::SettingsFile second = settingsfile::read(settingsfile::write(first));
    if (second.settings != first.settings ||
        second.desktopNotifications != first.desktopNotifications)
        std::abort();
    // Written once more, the text stays as it was.
    if (settingsfile::write(second) != settingsfile::write(first))
        std::abort();
    return 0;
}
