#pragma once

#include <stdexcept>

// Any failure of an exchange with the service: refused connect, a connection
// closed early, an over-long line, a reply too short for what it must carry, a
// service that did not answer in time. The cause is what the user is told.
class ServiceLinkError : public std::runtime_error
{
public:
    enum class Cause
    {
        NotRunning,        // nothing listens on the service's port
        HeldByAnotherUser, // a program of another user listens there
        NoAnswerInTime,    // the service did not answer within the exchange's time limit
        Failed             // anything else: what() says what
    };

    explicit ServiceLinkError(const std::string& what, Cause cause = Cause::Failed)
        : std::runtime_error(what), m_cause(cause)
    {
    }

    Cause cause() const { return m_cause; }

private:
    Cause m_cause;
};
