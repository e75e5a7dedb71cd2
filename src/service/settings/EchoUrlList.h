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
// The list of the config folder's file, or the built-in one; a file that is not
// a regular file, is too large or names no usable URL is reported and passed over.
QList<QUrl> load(const QString& configDir);
// The usable URLs of such a file's text; each unusable line is reported as of origin.
QList<QUrl> parse(const QByteArray& text, const QString& origin);

} // namespace echourls
