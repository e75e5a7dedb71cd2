#pragma once

#include <QByteArray>
#include <QString>
#include <stdexcept>

// A text that does not read as the value it should hold.
class ConvertError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Reads a boolean as the settings store writes it: a number other than zero
// (locale decimal separator, optional sign and exponent) or "True" in any case is
// true; zero or "False" in any case is false. Anything else throws ConvertError.
bool parseBoolean(const QString& text);

// Reads a 32-bit integer: leading blanks, an optional sign, then decimal digits, or
// hexadecimal digits after "$", "x" or "0x" (either case). Anything else throws
// ConvertError "'<text>' is not a valid integer value".
int parseInteger(const QString& text);

// The text an error box shows: a full stop is added unless the text is empty or
// ends in a full stop or a character coded below it (a blank, "!", ")" ...).
QString withFullStop(const QString& text);

// Settings are bytes; the window shows them as text. These two turn UTF-8 bytes
// into text and back without losing a byte: a byte that is not part of valid
// UTF-8 becomes one of the unpaired characters U+DC80 to U+DCFF, which valid
// UTF-8 never yields, and turns back into that byte. A password the user never
// touched goes back exactly as it came.
QString textKeepingBytes(const QByteArray& bytes);
QByteArray bytesKeptInText(const QString& text);
