#pragma once

#include "service/addresses/Addresses.h"

#include <QString>
#include <QStringList>

// The notifications of one recorded change: one line for each address that
// changed, such as "Public IP changed: 203.0.113.5 → 203.0.113.6".
QStringList changeNotices(const Addresses& previous, const Addresses& current);
