#pragma once

#include <QObject>
#include <functional>

namespace statusnotifier {

// Whether a StatusNotifier host (a panel's notification area) is registered
// with the watcher on the session bus now.
bool hostRegistered();

// Calls `ready` once, when a host is registered, for as long as `owner` lives;
// nothing is asked of the bus while it has no watcher. Without a session bus
// `ready` is never called.
void whenHostRegistered(QObject* owner, std::function<void()> ready);

// Calls `gone` each time the watcher leaves the bus and no host is registered
// graceMs later (a panel that restarts comes back within that time), for as
// long as `owner` lives.
void whenWatcherGone(QObject* owner, int graceMs, std::function<void()> gone);

} // namespace statusnotifier
