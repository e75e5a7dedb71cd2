#pragma once

#include <QList>
#include <QString>
#include <QUrl>

// The services asked for this computer's public address, in the order they are
// tried: echo-urls.txt in the config folder (one http or https URL a line,
// "#" comments) or, without a usable one, the built-in list of plain-text
// echo services.
namespace echourls {

QList<QUrl> builtIn();
QList<QUrl> load(const QString& configDir);

} // namespace echourls
