#pragma once

#include "common/AlertSettings.h"

#include <QByteArray>
#include <stdexcept>

// The settings file: a header line, then one "name=value" line per setting with
// the value percent-encoded, so that any byte (CR, "|", ",", bytes above 127,
// leading blanks) comes back exactly as the window sent it.
namespace settingsfile {

inline constexpr char Header[] = "velmora-service settings 1";

class FormatError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

QByteArray encode(const AlertSettings& settings);

// Throws FormatError unless the text is a complete, well-formed settings file.
AlertSettings decode(const QByteArray& text);

} // namespace settingsfile
