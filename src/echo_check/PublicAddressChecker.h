#pragma once

#include "service/addresses/PublicAddressSource.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <chrono>

class QNetworkReply;

// Asks the echo services, one after the other, for this computer's public
// address, until one answers with a plain public IPv4 address. Runs on the
// event loop; nothing waits for it.
class PublicAddressChecker : public PublicAddressSource
{
    Q_OBJECT
public:
    PublicAddressChecker(QList<QUrl> urls, std::chrono::milliseconds timeoutPerUrl,
                         QObject* parent = nullptr);
    ~PublicAddressChecker() override;

    void start() override;
    bool isRunning() const override { return !m_reply.isNull(); }

private:
    void askNext();
    void onReadyRead();
    void onFinished();
    void giveUpOnCurrent(const QString& reason);

    QNetworkAccessManager m_network;
    QList<QUrl> m_urls;
    std::chrono::milliseconds m_timeout;
    qsizetype m_next = 0;
    QPointer<QNetworkReply> m_reply;
    bool m_tooLong = false;
    QStringList m_failures;
};
