#pragma once

#include "service/addresses/PublicAddressSource.h"

#include <QList>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <chrono>

// The public-address check run in a short-lived helper process (this program
// with --check-public-address). The service itself then never loads the TLS
// libraries, which would double its resident memory for a check made every
// few minutes, and never parses what the internet sends back.
class IsolatedAddressCheck : public PublicAddressSource
{
    Q_OBJECT
public:
    IsolatedAddressCheck(QList<QUrl> urls, std::chrono::milliseconds timeoutPerUrl,
                         QObject* parent = nullptr);
    ~IsolatedAddressCheck() override;

    void start() override;
    bool isRunning() const override { return m_process != nullptr; }

    // The helper's side: asks the echo services in this process, prints one
    // result line and returns the exit code.
    static int runHelper(const QList<QUrl>& urls, std::chrono::milliseconds timeoutPerUrl);

private:
    void onFinished();
    void onErrorOccurred(QProcess::ProcessError error);
    void onTooLong();
    void finish(const QString& address, const QString& reason);

    QList<QUrl> m_urls;
    std::chrono::milliseconds m_timeout;
    QProcess* m_process = nullptr;
    QTimer m_deadline;
    bool m_tooLong = false;
};
