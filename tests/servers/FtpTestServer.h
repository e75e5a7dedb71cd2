#pragma once

#include <QString>

namespace testservers {

// A real FTP server on 127.0.0.1 for one test run, with one account that may
// write to its login folder.
class FtpTestServer
{
public:
    virtual ~FtpTestServer() = default;

    virtual QString name() const = 0;
    virtual quint16 port() const = 0;
    virtual QString userName() const = 0;
    virtual QString password() const = 0;
    // The login folder: uploads land here.
    virtual QString homePath() const = 0;
    // Why start() failed, with the server's output.
    virtual QString errorText() const = 0;
};

} // namespace testservers
