#pragma once

#include "net/FtpError.h"

// The control connection could not be made (refused, unreachable) or broke off.
class FtpConnectionError : public FtpError
{
public:
    using FtpError::FtpError;
};
