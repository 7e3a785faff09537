#pragma once

#include <QStringList>
#include <functional>

// The local host's IPv4 addresses in dotted-decimal form, in the order the host lookup gives
// them: the addresses the system resolves for its own host name. When that yields no IPv4
// address (the host name does not resolve, or only to IPv6), the IPv4 addresses of the network
// interfaces other than loopback stand in, in interface order. Empty when both yield nothing.
// The lookup may block on the system's resolver.
QStringList GetLocalIPList();

// How request building gets the local addresses; tests hand in a fake.
using LocalAddressLookup = std::function<QStringList()>;
