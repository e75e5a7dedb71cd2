#pragma once

#include "service/addresses/Addresses.h"

#include <QByteArray>
#include <QString>

// The last addresses the service knew, kept in the state folder, so that a
// change made while the service was not running (the computer was off, the
// session ended) is still noticed when it starts again.
//
// The file holds the lines "public <address>" and "local <address>", and
// "public-ipv6 <address>" and "local-ipv6 <address>" for the IPv6 addresses
// that are known (a file of a version before IPv6 has none: they are unknown).
// A line that is missing or does not hold a plain address of its kind counts
// as unknown; lines of other keys are passed over.
class RememberedAddresses
{
public:
    explicit RememberedAddresses(const QString& stateDir);

    QString filePath() const { return m_filePath; }

    // The addresses last saved; empty ones for what is not known. A file that
    // is not a regular file, or too large, is not read, and said so.
    Addresses load() const;

    // The addresses the text of such a file holds.
    static Addresses parse(const QByteArray& text);

    // Replaces the file atomically; on failure (a full disk) the old file stays
    // whole. A failure is logged, not thrown: the
    // service works on without it, only a restart would then miss a change.
    void save(const Addresses& addresses) const;

private:
    QString m_filePath;
};
