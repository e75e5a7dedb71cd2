#pragma once

#include "service/listener/SocketOwnerLookup.h"

#include <optional>
#include <sys/types.h>

// Only the service's own user (and root) may talk to it: the settings hold
// passwords and the program that runs on a change. A peer whose owner cannot be
// told is turned away too.
bool peerMayTalk(const std::optional<SocketOwnerLookup::Owner>& owner, uid_t serviceUser);
