#pragma once

#include "service/addresses/DnsQuestion.h"

#include <QString>
#include <chrono>

// Asks one DnsQuestion through c-ares and waits for the answer, at most the
// time limit (for the server's name too, when it is not an address). One
// question of a few dozen bytes over UDP, one answer.
namespace dnsecho {

struct Answer
{
    QString address; // a public IPv4 address; empty when there is none
    QString problem; // why not, when there is none
};

Answer ask(const DnsQuestion& question, std::chrono::milliseconds timeLimit);

} // namespace dnsecho
