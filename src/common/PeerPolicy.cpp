#include "common/PeerPolicy.h"

bool peerMayTalk(const std::optional<SocketOwnerLookup::Owner>& owner, uid_t user)
{
    if (!owner || owner->timeWait || owner->settingUp)
        return false;
    return owner->uid == user || owner->uid == 0;
}
