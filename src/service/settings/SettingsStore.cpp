#include "service/settings/SettingsStore.h"

#include "common/ErrorText.h"
#include "service/BackgroundWriter.h"
#include "service/ServiceError.h"
#include "service/ServiceLog.h"
#include "service/settings/SettingsFileFormat.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

} // namespace

SettingsStore::SettingsStore(const QString& configDir)
    : m_filePath(configDir + QStringLiteral("/settings.conf"))
{
}

void SettingsStore::load()
{
    m_settings = AlertSettings();
    m_keptAside.clear();
    const QFileInfo info(m_filePath);
    if (!info.exists() && !info.isSymLink())
        return;
    QFile file(m_filePath);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        keepAside(info.isFile() ? file.errorString() : QStringLiteral("it is not a file"));
        return;
    }
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        const QString reason = file.errorString();
        file.close();
        keepAside(reason);
        return;
    }
    file.close();
    try {
        m_settings = settingsfile::decode(text);
    } catch (const settingsfile::FormatError& e) {
        keepAside(errorText(e));
    }
}

void SettingsStore::keepAside(const QString& reason)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = m_filePath + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(aside) && n < 1000; ++n)
        aside = m_filePath + QStringLiteral(".damaged-%1-%2").arg(stamp).arg(n);
    if (!QFile::rename(m_filePath, aside)) {
        throw ServiceError(QStringLiteral("the settings file %1 cannot be read (%2) and cannot be "
                                          "moved aside; move or repair it, then start again")
                               .arg(m_filePath, reason)
                               .toStdString());
    }
    m_keptAside = aside;
    logLine(QStringLiteral("the settings file %1 cannot be read (%2); kept it as %3 and started "
                           "from the default settings")
                .arg(m_filePath, reason, aside));
}

void SettingsStore::save(const AlertSettings& settings)
{
    m_settings = settings;
    if (m_savedHandler)
        m_savedHandler(m_settings);
    if (!m_background) {
        writeFile(settings);
        return;
    }
    m_background->postLatest([this, settings] {
        try {
            writeFile(settings);
        } catch (const ServiceError& e) {
            logLine(LogLevel::Error,
                    QStringLiteral("%1; the new settings hold only until the service stops")
                        .arg(errorText(e)));
        }
    });
}

void SettingsStore::writeFile(const AlertSettings& settings) const
{
    const QString dir = QFileInfo(m_filePath).absolutePath();
    if (!QDir().mkpath(dir))
        throw ServiceError(
            QStringLiteral("cannot create the folder %1 for the settings").arg(dir).toStdString());
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly))
        throw ServiceError(QStringLiteral("cannot write the settings file %1: %2")
                               .arg(m_filePath, file.errorString())
                               .toStdString());
    // Restrict the new file before anything secret is written into it.
    file.setPermissions(OwnerOnly);
    file.write(settingsfile::encode(settings));
    if (!file.commit())
        throw ServiceError(QStringLiteral("cannot write the settings file %1: %2")
                               .arg(m_filePath, file.errorString())
                               .toStdString());
}
