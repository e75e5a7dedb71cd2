#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// What a desktop's notification server is asked to show.
class NotificationReceiver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown
    {
        QString application;
        QString icon;
        QString desktopEntry;
        QString summary;
        QString body;
    };
    QList<Shown> shown;

public slots:
    uint Notify(const QString& application, uint replaces, const QString& icon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int timeout)
    {
        Q_UNUSED(replaces)
        Q_UNUSED(actions)
        Q_UNUSED(timeout)
        shown.append({application, icon, hints.value(QStringLiteral("desktop-entry")).toString(),
                      summary, body});
        return uint(shown.size());
    }
};
