#pragma once

#include "net/FtpError.h"

// The server's host name could not be resolved to an IPv4 address.
class FtpHostNotFoundError : public FtpError
{
public:
    using FtpError::FtpError;
};
