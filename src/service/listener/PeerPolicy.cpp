#include "service/listener/PeerPolicy.h"

bool peerMayTalk(const std::optional<SocketOwnerLookup::Owner>& owner, uid_t serviceUser)
{
    if (!owner || owner->timeWait)
        return false;
    return owner->uid == serviceUser || owner->uid == 0;
}
