#include "support/TestTime.h"

#include <QDeadlineTimer>
#include <QtGlobal>
#include <cmath>

namespace testtime {

double factor()
{
    static const double value = [] {
        bool ok = false;
        const double read = qEnvironmentVariable("VELMORA_TEST_TIME_FACTOR").toDouble(&ok);
        return ok && read >= 1 ? read : 1.0;
    }();
    return value;
}

int scaled(int milliseconds)
{
    return int(std::lround(milliseconds * factor()));
}

std::chrono::milliseconds scaled(std::chrono::milliseconds limit)
{
    return std::chrono::milliseconds(std::llround(double(limit.count()) * factor()));
}

} // namespace testtime

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (condition())
            return true;
        QTest::qWait(20);
    }
    return condition();
}
