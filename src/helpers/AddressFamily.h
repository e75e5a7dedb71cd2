#pragma once

// Which kind of address a check or a source is about.
enum class AddressFamily
{
    Ipv4,
    Ipv6,
};
