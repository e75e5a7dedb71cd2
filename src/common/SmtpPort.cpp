#include "common/SmtpPort.h"

#include "common/TextConvert.h"

int parseSmtpPort(const QString& text)
{
    return parseInteger(text);
}
