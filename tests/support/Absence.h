#pragma once

#include <functional>

// For what must not happen: it is given the time it would take to come, were it
// coming, while the event loop runs; true when it stayed away all that time.
// Usage: QVERIFY(neverWithin(200, [&] { return saves() > 0; }));
[[nodiscard]] bool neverWithin(int milliseconds, const std::function<bool()>& happened);
