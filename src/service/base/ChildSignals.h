#pragma once

class QProcess;

// The service blocks SIGTERM and SIGINT in every thread to read them itself, and
// a child inherits that mask across exec. Every program the service starts with
// QProcess goes through this, so that it takes the signals as any program does:
// the mask is emptied in the child, after the fork and before the exec.
void startsWithDefaultSignals(QProcess& process);
