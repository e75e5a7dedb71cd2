#include "service_link/ServiceTransaction.h"

ServiceTransaction::ServiceTransaction(TcpClient& client, TcpClient::Attempt attempt)
    : m_client(client)
{
    if (!m_client.isOpen())
        m_client.open(attempt);
}

ServiceTransaction::~ServiceTransaction()
{
    m_client.close();
}
