#include "service/ServiceLog.h"

#include <unistd.h>

void logLine(const QString& text)
{
    QByteArray line = "velmora-service: " + text.toLocal8Bit();
    line.replace('\n', ' ');
    line += '\n';
    // One write per line keeps lines from different moments apart.
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t n =
            ::write(STDERR_FILENO, line.constData() + written, size_t(line.size() - written));
        if (n <= 0)
            return;
        written += n;
    }
}
