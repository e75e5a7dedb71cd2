#pragma once

#include "service/addresses/Addresses.h"

#include <QString>

// The last addresses the service knew, kept in the state folder, so that a
// change made while the service was not running (the computer was off, the
// session ended) is still noticed when it starts again.
//
// The file holds two lines, "public <address>" and "local <address>"; a line
// that is missing or does not hold a plain IPv4 address counts as unknown.
class RememberedAddresses
{
public:
    explicit RememberedAddresses(const QString& stateDir);

    QString filePath() const { return m_filePath; }

    // The addresses last saved; empty ones for what is not known.
    Addresses load() const;

    // Replaces the file atomically. A failure is logged, not thrown: the
    // service works on without it, only a restart would then miss a change.
    void save(const Addresses& addresses) const;

private:
    QString m_filePath;
};
