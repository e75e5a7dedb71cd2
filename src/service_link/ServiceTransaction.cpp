#include "service_link/ServiceTransaction.h"

ServiceTransaction::ServiceTransaction(TcpClient& client) : m_client(client)
{
    if (!m_client.isOpen())
        m_client.open();
}

ServiceTransaction::~ServiceTransaction()
{
    m_client.close();
}
