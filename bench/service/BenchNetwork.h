#pragma once

// Shared by the address-change benchmarks: a private network namespace whose
// default route runs over one end of a link pair, and percentiles of timings.
#include "support/PrivateNetwork.h"

#include <QList>
#include <QString>
#include <algorithm>

namespace bench {

// The link that carries the default route; addresses added to it are changes.
inline const QString RouteLink = QStringLiteral("velm0");

// Enters a private network with a default route over RouteLink. Returns 77 when
// the run may not (no rights), 2 on a failure, 0 when ready; error says why.
inline int enterPrivateNetwork(QString* error)
{
    if (!privatenetwork::enter(error))
        return 77;
    if (!privatenetwork::addDefaultRoute(RouteLink, QStringLiteral("velm1"), error))
        return 2;
    return 0;
}

inline double percentile(QList<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.at(qMin(values.size() - 1, qsizetype(p * double(values.size() - 1) + 0.5)));
}

} // namespace bench
