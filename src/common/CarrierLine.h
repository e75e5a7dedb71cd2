#pragma once

#include <QByteArray>
#include <QList>
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

    // The names of the carriers of such lines (as bytes, in the lines' order):
    // the settings keep the chosen carrier by its name. A line without a
    // gateway has an empty name.
    static QList<QByteArray> namesOf(const QList<QByteArray>& lines);
};
