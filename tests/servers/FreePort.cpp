#include "servers/FreePort.h"

#include <QTcpServer>
#include <unistd.h>

namespace testservers {

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        qFatal("no free port on 127.0.0.1: %s", qPrintable(probe.errorString()));
    return probe.serverPort();
}

bool canBindLowPorts()
{
    return geteuid() == 0;
}

} // namespace testservers
