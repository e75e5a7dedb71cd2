#include "support/Absence.h"

#include <QDeadlineTimer>
#include <QTest>

bool neverWithin(int milliseconds, const std::function<bool()>& happened)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        if (happened())
            return false;
        QTest::qWait(10);
    }
    return !happened();
}
