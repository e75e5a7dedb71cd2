#pragma once

#include "helpers/EchoSource.h"

#include <QList>
#include <QString>

// The sources asked for this computer's public address, in the order they are
// tried: first the DNS servers that answer with the asker's address
// (dns-sources.txt in the config folder, dns:// URLs), cheap enough to ask
// every minute, then the HTTP echo services (echo-urls.txt, http or https
// URLs) for networks that keep DNS inside. In both files a line is a URL,
// optionally followed by a blank and the name of its operator; "#" starts a
// comment. A file that is missing or names no usable URL leaves its part of
// the built-in list.
namespace echourls {

// The built-in DNS sources, then the built-in echo services.
QList<EchoSource> builtIn();
QList<EchoSource> builtInDns();
QList<EchoSource> builtInHttp();
// The lists of the config folder's two files, each one or its built-in part;
// a file that is not a regular file, is too large or names no usable URL is
// reported and passed over.
QList<EchoSource> load(const QString& configDir);

enum class Kind
{
    Dns,
    Http,
};
// The usable URLs of such a file's text; each unusable line is reported as of origin.
QList<EchoSource> parse(const QByteArray& text, const QString& origin, Kind kind = Kind::Http);

} // namespace echourls
