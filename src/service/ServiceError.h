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

// The command line asked for something the service does not know.
class UsageError : public ServiceError
{
public:
    using ServiceError::ServiceError;
};
