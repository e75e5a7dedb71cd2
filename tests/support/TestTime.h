#pragma once

#include <QTest>
#include <chrono>
#include <functional>

// Every time limit of the tests goes through here, so that one setting stretches
// them all: VELMORA_TEST_TIME_FACTOR (1 by default; 3 on a slow or busy
// machine) multiplies each limit on waiting for something to happen. A slow
// machine then makes the tests slower, not red. Durations that are the subject
// of a check (an interval the service is given, how long nothing may happen)
// are not limits and stay as they are.
namespace testtime {

// The factor from VELMORA_TEST_TIME_FACTOR; 1 when unset, not a number or below 1.
double factor();

// A limit of `milliseconds` on this machine.
int scaled(int milliseconds);
std::chrono::milliseconds scaled(std::chrono::milliseconds limit);

} // namespace testtime

// Polls the condition while the test's event loop runs, for at most the time
// given; true as soon as it holds.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = testtime::scaled(8000));

// QtTest's QTRY_* macros wait 5 s unless told; here they wait 5 s scaled. The
// *_WITH_TIMEOUT forms take testtime::scaled(...) at each use.
#undef QTRY_VERIFY
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, testtime::scaled(5000))
#undef QTRY_VERIFY2
#define QTRY_VERIFY2(expr, messageExpression)                                                      \
    QTRY_VERIFY2_WITH_TIMEOUT(expr, messageExpression, testtime::scaled(5000))
#undef QTRY_COMPARE
#define QTRY_COMPARE(expr, expected)                                                               \
    QTRY_COMPARE_WITH_TIMEOUT(expr, expected, testtime::scaled(5000))
