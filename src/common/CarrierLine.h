#pragma once

#include <QString>
#include <optional>

// One line of the carrier list: "name|gateway", a mobile carrier and the domain
// of its e-mail-to-SMS gateway. Further fields are ignored; a field in double
// quotes may hold "|".
struct CarrierLine
{
    QString name;
    QString gateway;

    // Nothing when the line has fewer than two fields.
    static std::optional<CarrierLine> parse(const QString& line);
};
