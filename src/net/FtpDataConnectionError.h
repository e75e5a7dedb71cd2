#pragma once

#include "net/FtpError.h"

// The data connection for a transfer could not be made or broke off. In active
// mode the server connects back to this computer, which routers and firewalls
// often block.
class FtpDataConnectionError : public FtpError
{
public:
    using FtpError::FtpError;
};
