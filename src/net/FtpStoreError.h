#pragma once

#include "net/FtpServerError.h"

// The server refused to store the uploaded file, or did not keep it whole.
class FtpStoreError : public FtpServerError
{
public:
    using FtpServerError::FtpServerError;
};
