#pragma once

#include "helpers/AddressFamily.h"
#include "helpers/DnsQuestion.h"

#include <QByteArrayView>
#include <QString>
#include <chrono>

// Asks one DnsQuestion through c-ares and waits for the answer, at most the
// time limit (for the server's name too, when it is not an address). One
// question of a few dozen bytes over UDP, one answer. For IPv6 the question
// travels over IPv6, so that the answer is the computer's IPv6 address.
namespace dnsecho {

struct Answer
{
    QString address;      // a public address of the family; empty when there is none
    QString problem;      // why not, when there is none
    bool noRoute = false; // the server cannot be reached from here at all
};

// What a server's reply (a whole DNS message) to a question of the type says.
Answer read(QByteArrayView reply, DnsQuestion::Type type, AddressFamily family);

Answer ask(const DnsQuestion& question, std::chrono::milliseconds timeLimit,
           AddressFamily family = AddressFamily::Ipv4);

} // namespace dnsecho
