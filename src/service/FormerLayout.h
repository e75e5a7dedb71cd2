#pragma once

#include <QString>

struct ServiceOptions;

// Files that earlier versions kept elsewhere: the history log beside the
// programs (which the service cannot write once they are installed for every
// user), the addresses last seen and the alerts still to send in the config
// folder. The service moves them into the state folder when it starts, so they
// move once: afterwards nothing is left at the old places.
//
// Nothing is lost. Where the state folder already has a history log, the old
// lines are added at its end. Where it already has an addresses or alerts
// file, that one stays in use and the old one is kept beside it as
// "<name>.former-<date and time>". A file that cannot be moved (its folder is
// not writable, it is not a plain file) stays where it is. Each move, and each
// file left behind, is one line in the service's log.
namespace formerlayout {

// The lock an earlier version holds in the config folder while it runs.
QString lockFile(const QString& configDir);

// Moves every file of the old layout that is there.
void moveAll(const ServiceOptions& options);

void moveHistoryLog(const QString& from, const QString& to);
void moveStateFile(const QString& from, const QString& to);

} // namespace formerlayout
