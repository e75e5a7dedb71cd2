#pragma once

#include "service/addresses/Addresses.h"

#include <QString>
#include <QStringList>

// The notifications of one recorded change: one line for each address that
// changed, such as "Public IP changed: 203.0.113.5 → 203.0.113.6" or "Local
// IPv6 changed: 2001:db8:1::5 → 2001:db8:2::5". A public IPv6 address counts
// when its /64 network changed; one that went away or was first learned
// gives no line.
QStringList changeNotices(const Addresses& previous, const Addresses& current);
