#pragma once

#include "service_link/TcpClient.h"

// One exchange with the service on a connection of its own: opened when the
// transaction starts (if not open already), closed when it ends, also after a
// failure. A failure handler that runs inside the transaction's scope sees the
// connection still open.
class ServiceTransaction
{
public:
    // Throws ServiceLinkError.
    explicit ServiceTransaction(TcpClient& client,
                                TcpClient::Attempt attempt = TcpClient::Attempt::Always);
    ~ServiceTransaction();
    ServiceTransaction(const ServiceTransaction&) = delete;
    ServiceTransaction& operator=(const ServiceTransaction&) = delete;

    TcpClient& client() { return m_client; }
    // Closes the connection before the transaction ends.
    void close() { m_client.close(); }

private:
    TcpClient& m_client;
};
