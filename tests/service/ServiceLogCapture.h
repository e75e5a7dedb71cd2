#pragma once

#include <QByteArray>

// The service's log lines as the journal gets them, for tests that run service
// code in-process: stderr goes to a file, and JOURNAL_STREAM names that file,
// so that each line starts with its level ("<3>" for an error, "<4>" a warning).
// Make one before anything is logged: the service decides once per process.
class ServiceLogCapture
{
public:
    ServiceLogCapture();
    // stderr comes back, and gets the lines logged meanwhile.
    ~ServiceLogCapture();
    ServiceLogCapture(const ServiceLogCapture&) = delete;
    ServiceLogCapture& operator=(const ServiceLogCapture&) = delete;

    // The lines logged since the last take().
    QByteArray take();

private:
    int m_file = -1;
    int m_savedStderr = -1;
    qint64 m_taken = 0;
};
