#pragma once

#include <QObject>
#include <functional>

namespace statusnotifier {

// Whether a StatusNotifier host (a panel's notification area) is registered
// with the watcher on the session bus now.
bool hostRegistered();

// Where the only tray there can be is a StatusNotifier one (Wayland) and no
// host is registered yet: calls `ready` once, when one is, for as long as
// `owner` lives, and returns true. Elsewhere returns false and calls nothing.
bool iconMustWaitForHost(QObject* owner, std::function<void()> ready);

} // namespace statusnotifier
