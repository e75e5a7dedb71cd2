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

    // The address known before the next check: a first answer that repeats it
    // needs no second source to confirm it.
    void setKnownAddress(const QString& address) { m_known = address; }
    QString knownAddress() const { return m_known; }

signals:
    void found(const QString& address);
    // No address could be agreed on; reason says what each source did.
    void failed(const QString& reason);

private:
    QString m_known;
};
