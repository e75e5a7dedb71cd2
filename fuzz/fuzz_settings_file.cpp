// settings.conf in either form: whatever is read, written and read again,
// gives the same settings, and nothing of the kept lines is lost.
#include "FuzzTarget.h"
#include "service/settings/SettingsFileFormat.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Carriers given by name and by position both come back as the same name.
    static const QList<QByteArray> carriers{"First", "Second", "3", "Fourth|Quoted"};
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const settingsfile::SettingsFile first = settingsfile::read(text, carriers);
    const settingsfile::SettingsFile second =
        settingsfile::read(settingsfile::write(first), carriers);
    if (second.settings != first.settings)
        std::abort();
    // Written once more, the text stays as it was.
    if (settingsfile::write(second) != settingsfile::write(first))
        std::abort();
    return 0;
}
