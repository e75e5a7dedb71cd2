#pragma once

#include "net/FtpServerError.h"

// The server refused the user name or the password.
class FtpLoginError : public FtpServerError
{
public:
    using FtpServerError::FtpServerError;
};
