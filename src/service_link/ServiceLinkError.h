#pragma once

#include <stdexcept>

// Any failure of an exchange with the service: refused connect, a connection
// closed early, an over-long line, a reply too short for what it must carry.
class ServiceLinkError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
