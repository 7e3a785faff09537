#include "platform/local_addresses.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>

namespace {

bool isIPv4(const QHostAddress& address) {
    return address.protocol() == QAbstractSocket::IPv4Protocol;
}

} // namespace

QStringList GetLocalIPList() {
    QStringList addresses;
    const QHostInfo host = QHostInfo::fromName(QHostInfo::localHostName());
    if (host.error() == QHostInfo::NoError) {
        for (const QHostAddress& address : host.addresses()) {
            if (isIPv4(address))
                addresses.append(address.toString());
        }
    }
    if (!addresses.isEmpty())
        return addresses;

    // The host name need not resolve on every system; the interfaces' own addresses are what
    // such a lookup would have given.
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (isIPv4(address) && !address.isLoopback())
            addresses.append(address.toString());
    }
    return addresses;
}
