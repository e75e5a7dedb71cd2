#include "service/base/ChildSignals.h"

#include <QProcess>
#include <csignal>

void startsWithDefaultSignals(QProcess& process)
{
    process.setChildProcessModifier([] {
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr); // async-signal-safe, as the child needs
    });
}
