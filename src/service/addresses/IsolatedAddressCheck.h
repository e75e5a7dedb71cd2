#pragma once

#include "service/addresses/EchoSource.h"
#include "service/addresses/PublicAddressSource.h"
#include "service/addresses/SourceStandings.h"

#include <QList>
#include <QProcess>
#include <QTimer>
#include <chrono>

// The public-address check run in a short-lived helper process,
// velmora-echo-check. The service itself then never loads Qt Network and the
// TLS and Kerberos libraries under it, which would grow its resident memory
// for a check made every few minutes, and never parses what the internet
// sends back.
class IsolatedAddressCheck : public PublicAddressSource
{
    Q_OBJECT
public:
    // helper: the velmora-echo-check program. standings: which sources keep
    // disagreeing with the others (the service's own when not given).
    IsolatedAddressCheck(QString helper, QList<EchoSource> sources,
                         std::chrono::milliseconds timeoutPerSource,
                         SourceStandings standings = SourceStandings(), QObject* parent = nullptr);
    ~IsolatedAddressCheck() override;

    void start() override;
    bool isRunning() const override { return m_process != nullptr; }

private:
    void onFinished();
    void onErrorOccurred(QProcess::ProcessError error);
    void onTooLong();
    void finish(const QString& address, const QString& reason);

    QString m_helper;
    QList<EchoSource> m_sources;
    SourceStandings m_standings;
    std::chrono::milliseconds m_timeout;
    QProcess* m_process = nullptr;
    QTimer m_deadline;
    bool m_tooLong = false;
};
