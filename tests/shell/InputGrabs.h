#pragma once

#include <QString>

// Whether another client on the display holds the pointer or the keyboard
// (a window manager in the middle of something, a menu still open). A click
// or a key sent by the test meanwhile goes to the holder, not where aimed.
namespace inputgrabs {

// Waits up to timeoutMs for the pointer and the keyboard to be free; the time
// waited goes to *waitedMs. False when they stayed held or the display could
// not be reached.
bool waitUntilFree(const QString& display, int timeoutMs, qint64* waitedMs = nullptr);

} // namespace inputgrabs
