#include "ServiceLogCapture.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

ServiceLogCapture::ServiceLogCapture()
{
    char name[] = "/tmp/velmora-log-XXXXXX";
    m_file = ::mkstemp(name);
    if (m_file < 0)
        return;
    ::unlink(name);
    std::fflush(stderr);
    m_savedStderr = ::dup(STDERR_FILENO);
    ::dup2(m_file, STDERR_FILENO);
    struct stat info = {};
    ::fstat(STDERR_FILENO, &info);
    const std::string stream = std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino);
    ::setenv("JOURNAL_STREAM", stream.c_str(), 1);
}

ServiceLogCapture::~ServiceLogCapture()
{
    if (m_file < 0)
        return;
    std::fflush(stderr);
    ::dup2(m_savedStderr, STDERR_FILENO);
    ::close(m_savedStderr);
    ::unsetenv("JOURNAL_STREAM");
    m_taken = 0;
    const QByteArray all = take();
    ::close(m_file);
    if (::write(STDERR_FILENO, all.constData(), size_t(all.size())) < 0)
        return; // nowhere to show them
}

QByteArray ServiceLogCapture::take()
{
    QByteArray lines;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::pread(m_file, buffer, sizeof buffer, m_taken);
        if (n <= 0)
            break;
        lines.append(buffer, n);
        m_taken += n;
    }
    return lines;
}
