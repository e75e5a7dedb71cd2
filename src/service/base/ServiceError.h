#pragma once

#include <stdexcept>

// A failure of the service that ends what it was doing: start-up, a file it
// could not write, a socket it could not open.
class ServiceError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Another copy of the service already runs for this user.
class AlreadyRunningError : public ServiceError
{
public:
    using ServiceError::ServiceError;
};

// The port is held by another program (most often the service of another user
// of this computer): restarting does not help until that one ends.
class PortHeldError : public ServiceError
{
public:
    using ServiceError::ServiceError;
};

// A folder or file the service needs cannot be made or used as it is (a
// read-only folder, a lock file that is a link or cannot be removed): it takes
// the user's hand, so restarting does not help.
class SetupError : public ServiceError
{
public:
    using ServiceError::ServiceError;
};

// The command line asked for something the service does not know.
class UsageError : public ServiceError
{
public:
    using ServiceError::ServiceError;
};
