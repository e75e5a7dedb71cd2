#pragma once

#include "helpers/AddressFamily.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

// One service that answers with the asker's own address, and who runs it. Two
// answers count as agreeing only when they come from different operators: two
// names of one company may share one broken server.
struct EchoSource
{
    EchoSource() = default;
    // The operator is the one the URL's host suggests (see operatorOf).
    EchoSource(QUrl sourceUrl); // NOLINT(google-explicit-constructor): a URL is a source
    EchoSource(QUrl sourceUrl, QString operatorName);

    QUrl url;
    QString operatorName;

    // How the source is named in the log, in the helper's report and on its
    // command line.
    QString key() const { return url.toString(QUrl::FullyEncoded); }

    // "<url>" or "<url> <operator>": a line of the user's list, an argument of
    // the helper. The URL must be http, https or a DnsQuestion's.
    QString toText() const;
    static std::optional<EchoSource> fromText(const QString& text);

    bool isDns() const { return url.scheme() == QLatin1String("dns"); }
    // Whether the source can tell this computer's address in the family: an
    // HTTP service always (it is asked over that family), a DNS question when
    // it fits (DnsQuestion::fits). One list serves both families.
    bool fits(AddressFamily family) const;

    bool operator==(const EchoSource&) const = default;
};

// The operator a host belongs to when the list does not say: an address
// literal stands for itself, a name for its last two labels (three under a
// two-letter country code with a short second label, as in "co.uk").
QString operatorOf(const QUrl& url);

// The sources that fit the family, in their order.
QList<EchoSource> sourcesFor(const QList<EchoSource>& sources, AddressFamily family);

// Whether the sources name fewer than two operators: then an answer cannot be
// checked against another and is taken alone.
bool singleOperator(const QList<EchoSource>& sources);
