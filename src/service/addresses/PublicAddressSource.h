#pragma once

#include <QObject>
#include <QString>

// Something that finds this computer's public address when asked: the echo
// services themselves, or a helper process that asks them.
class PublicAddressSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts a check unless one is running. found() or failed() follows, at
    // once or later.
    virtual void start() = 0;
    virtual bool isRunning() const = 0;

signals:
    void found(const QString& address);
    // No service gave a usable answer; reason says what each did.
    void failed(const QString& reason);
};
