#pragma once

#include "support/TestTime.h"

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <functional>

class FakeService;

// What the tests of the real program share: a scripted service that answers as
// the service does when the window starts, and the program's environment on a
// private display.
namespace programundertest {

// The exchanges the window makes as it starts: the carriers, the settings, the
// extension's settings, the status and (IPv6 being watched) the extension's status.
inline constexpr int StartUpExchanges = 5;

// One carrier; e-mail settings filled (so switching e-mail alerts on asks
// nothing); the status "pc", 203.0.113.7, 10.0.0.2.
void answerAsTheService(FakeService& service);
// The velmora built beside the tests.
QString path();
// The display, a runtime folder of the test's own (the state folder, with the
// history log, inside it) and a session bus (none unless given).
QProcessEnvironment environment(const QString& display, const QString& runtimeFolder,
                                const QString& busAddress = QStringLiteral("disabled:"));
// Ends a helper the test started: asked first, then killed after 3 s.
void stop(QProcess& process);

} // namespace programundertest
