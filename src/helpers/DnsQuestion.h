#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

enum class AddressFamily;

// A DNS question whose answer is the asker's own address, as a source URL
// names it: dns://<server>[:<port>]/<name>[?type=A|AAAA|TXT][&class=IN|CH].
// The server is asked directly (it answers for the name itself), so the
// answer is the address the question came from: an A answer for IPv4, AAAA
// for IPv6, and TXT for the family the question travels over. The server is
// an address ("[2620:119:35::35]" for IPv6) or a name.
struct DnsQuestion
{
    enum class Type
    {
        A = 1,
        Txt = 16,
        Aaaa = 28,
    };
    enum class Class
    {
        In = 1,
        Chaos = 3,
    };

    QString server; // an address or a host name
    quint16 port = 53;
    QByteArray name;
    Type type = Type::A;
    Class dnsClass = Class::In;

    // Nothing when the URL is not such a question.
    static std::optional<DnsQuestion> fromUrl(const QUrl& url);
    // "TXT CH whoami.cloudflare at 1.1.1.1", for the log.
    QString describe() const;
    // Whether the question can tell this computer's address in the family:
    // its type fits, and its server, when given by address, is of the family.
    bool fits(AddressFamily family) const;
};
