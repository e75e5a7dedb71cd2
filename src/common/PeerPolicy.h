#pragma once

#include "common/SocketOwnerLookup.h"

#include <optional>
#include <sys/types.h>

// The settings hold passwords and the program that runs on a change: the
// service talks only to its own user (and root), and the window only to a
// service of its own user (or root). A socket whose owner cannot be told is
// turned away too.
bool peerMayTalk(const std::optional<SocketOwnerLookup::Owner>& owner, uid_t user);
