#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <optional>

class QSocketNotifier;

// Listens for the router's announcement of a new external address: NAT-PMP
// (RFC 6886, 3.2.1) and PCP ANNOUNCE (RFC 6887) datagrams sent to 224.0.0.1,
// port 5350. Nothing is sent and nothing runs while none comes. The address a
// router announces is only a reason to check at once: behind carrier-grade
// NAT the router's address is not the public one.
class RouterAnnouncements : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 Port = 5350;
    // A router repeats its announcement (ten times over about a minute): one
    // check answers them all.
    static constexpr int QuietMs = 10000;

    explicit RouterAnnouncements(QObject* parent = nullptr);
    ~RouterAnnouncements() override;

    // False where the port cannot be had (said once in the log).
    bool isListening() const { return m_socket >= 0; }

    // What a datagram announces: the external address (NAT-PMP), "PCP" for a
    // PCP ANNOUNCE, nothing for anything else.
    static std::optional<QString> read(const QByteArray& datagram);

signals:
    void announced(const QString& what);

private:
    void onReadable();

    int m_socket = -1;
    QSocketNotifier* m_notifier = nullptr;
    QElapsedTimer m_sinceLast;
};
