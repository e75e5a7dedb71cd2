#pragma once

#include "common/AlertSettings.h"
#include "service/addresses/Addresses.h"

#include <QDateTime>
#include <QString>

// The change an alert tells of.
struct AddressChange
{
    Addresses previous;
    Addresses current;
    QDateTime when;
};

// How one attempt at an alert ended.
struct AlertOutcome
{
    enum Status
    {
        Sent,
        Failed,  // worth another attempt
        Skipped, // the settings do not allow it; no retry
    };
    Status status;
    QString text; // what was done, what failed, or why it was skipped
};

// The five ways the service tells of a change. Each call is one attempt with
// the settings as they stand; the dispatcher decides whether and when to try
// again. Attempts run on threads of their own, several at once.
class AlertChannels
{
public:
    virtual ~AlertChannels() = default;
    virtual AlertOutcome sendEmail(const AddressChange& change,
                                   const AlertSettings& settings) const = 0;
    virtual AlertOutcome sendTextMessage(const AddressChange& change,
                                         const AlertSettings& settings) const = 0;
    virtual AlertOutcome runProgram(const AddressChange& change,
                                    const AlertSettings& settings) const = 0;
    virtual AlertOutcome uploadPage(const AddressChange& change,
                                    const AlertSettings& settings) const = 0;
    virtual AlertOutcome sendPush(const AddressChange& change,
                                  const AlertSettings& settings) const = 0;
};
