#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The carriers the window offers for text messages, as "name|gateway" lines in
// a fixed order: the settings store the chosen carrier's position.
namespace carriers {

// The lines of carriers.txt in the config folder when there is one, otherwise
// the built-in list. A carriers.txt that is not a regular file, or is too large,
// is reported and passed over.
QList<QByteArray> load(const QString& configDir);

// The carrier lines of a list file: blank lines and "#" comments are left out,
// a line without a gateway is left out and reported (the window would reject
// the whole list for it), everything else is kept byte for byte.
QList<QByteArray> parse(const QByteArray& text, const QString& origin);

} // namespace carriers
