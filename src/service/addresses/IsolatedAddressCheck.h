#pragma once

#include "service/addresses/PublicAddressSource.h"

#include <QList>
#include <QProcess>
#include <QTimer>
#include <QUrl>
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
    // helper: the velmora-echo-check program.
    IsolatedAddressCheck(QString helper, QList<QUrl> urls, std::chrono::milliseconds timeoutPerUrl,
                         QObject* parent = nullptr);
    ~IsolatedAddressCheck() override;

    void start() override;
    bool isRunning() const override { return m_process != nullptr; }

private:
    void onFinished();
    void onErrorOccurred(QProcess::ProcessError error);
    void onTooLong();
    void finish(const QString& address, const QString& reason);

    QString m_helper;
    QList<QUrl> m_urls;
    std::chrono::milliseconds m_timeout;
    QProcess* m_process = nullptr;
    QTimer m_deadline;
    bool m_tooLong = false;
};
