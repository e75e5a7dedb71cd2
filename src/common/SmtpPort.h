#pragma once

#include <QString>

// The SMTP port as the settings keep it, a text, read the one way that both the
// window's test sends and the service's e-mail alerts use, so that a port the
// test accepts is the port the alerts go to: leading blanks, an optional sign,
// then decimal digits, or hexadecimal digits after "$", "x" or "0x". Anything
// else, trailing blanks included, throws ConvertError "'<text>' is not a valid
// integer value". Whether the number is a port at all (1 to 65535) is the mail
// engine's to tell.
int parseSmtpPort(const QString& text);
