#pragma once

#include <QString>

// Where Velmora's files live, for both programs. The base folders follow the XDG
// Base Directory rules: a variable that is unset, empty or not an absolute path
// counts as unset.
//
// The config folder holds what the user chose (settings, carriers, echo URLs, the
// FTP page template); the state folder what the service keeps for itself (the
// history log, the addresses last seen, the alerts still to send), since a
// service of the user cannot write beside programs installed for everyone.
namespace velmorapaths {

// The files of the state folder.
inline constexpr char HistoryLogName[] = "velmora.log";
inline constexpr char RememberedAddressesName[] = "addresses";
inline constexpr char PendingAlertsName[] = "pending-alerts";

QString configHome(); // $XDG_CONFIG_HOME, else ~/.config
QString stateHome();  // $XDG_STATE_HOME, else ~/.local/state
QString runtimeDir(); // $XDG_RUNTIME_DIR, else empty: there is no stand-in to guess

QString configDir(); // <configHome>/velmora
QString stateDir();  // <stateHome>/velmora
// The history log: the service appends to it, the window reads and clears it.
QString historyLog();
// Whether `folder` is one the user alone can use: the user's own folder (not a
// link to one), closed to everyone else. Others could put what they like in
// any other.
bool isPrivateFolder(const QString& folder);

// The lock a running service holds: in the runtime folder, which lives as long as
// the user's session, when it is the user's private folder (one that others can
// write to would let them forge the lock); in the state folder otherwise.
QString serviceLock();

} // namespace velmorapaths
