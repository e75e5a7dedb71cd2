#include "main_form/ServiceNotices.h"

#include "common/ErrorText.h"
#include "common/WrapMessage.h"
#include "service_link/ServiceLinkError.h"

namespace servicenotices {

QString couldNotConnect()
{
    return WrapMessage(QStringLiteral(
        "Could not connect to the Velmora Service component.  Please try to restart your "
        "computer.  If the problem persists reinstall the software or contact support."));
}

namespace {

QString causeOf(const std::exception& failure)
{
    const auto* linkError = dynamic_cast<const ServiceLinkError*>(&failure);
    const ServiceLinkError::Cause cause =
        linkError ? linkError->cause() : ServiceLinkError::Cause::Failed;
    switch (cause) {
    case ServiceLinkError::Cause::NotRunning:
        return QStringLiteral("the Velmora service is not running");
    case ServiceLinkError::Cause::HeldByAnotherUser:
        // Names the port: "127.0.0.1:9522 is held by a program of another user".
        return errorText(failure);
    case ServiceLinkError::Cause::NoAnswerInTime:
        return QStringLiteral("the Velmora service did not answer in time");
    case ServiceLinkError::Cause::Failed:
        break;
    }
    return QStringLiteral("the exchange with the Velmora service failed (%1)")
        .arg(errorText(failure));
}

} // namespace

QString settingsNotSaved(const std::exception& failure)
{
    return WrapMessage(QStringLiteral("The settings could not be saved: ") + causeOf(failure) +
                       u'.');
}

} // namespace servicenotices
