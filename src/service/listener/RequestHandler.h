#pragma once

#include "common/AlertSettings.h"
#include "service/addresses/Addresses.h"
#include "service/listener/RequestReader.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <functional>
#include <optional>

class SettingsStore;

// Answers the window's commands, the four original ones and the extension's,
// from what the service knows.
class RequestHandler
{
public:
    RequestHandler(SettingsStore& store, QList<QByteArray> carrierLines,
                   std::function<Addresses()> addresses);

    // The reply's bytes, or nothing for "SaveSettings" and "SaveKeyedSettings".
    // Throws ConvertError for a malformed settings list (nothing is stored then). Settings that
    // cannot be written to disk are reported and kept in memory.
    std::optional<QByteArray> handle(const ServiceRequest& request);

    // Line 0 of every reply.
    static QByteArray greeting();

private:
    QList<QByteArray> statusLines();
    QList<QByteArray> keyedSettingLines();
    QList<QByteArray> keyedStatusLines();
    SettingValues keyedValues(const QList<QByteArray>& lines) const;
    QByteArray hostName();

    SettingsStore& m_store;
    QList<QByteArray> m_carrierLines;
    std::function<Addresses()> m_addresses;
    QByteArray m_hostName;
    QDeadlineTimer m_hostNameAge;
};
