#include "ProbeEndpoint.h"

using namespace Qt::StringLiterals;

ProbeEndpoint ProbeEndpoint::fromTarget(const QString &target)
{
    ProbeEndpoint endpoint;
    const qsizetype colon = target.lastIndexOf(u':');
    if (colon > 0) {
        endpoint.host = target.left(colon);
        endpoint.port = target.mid(colon + 1).toUShort(nullptr, 10);
    } else {
        endpoint.host = target;
        endpoint.port = kDefaultPort;
    }
    if (endpoint.port == 0)
        endpoint.port = kDefaultPort;
    return endpoint;
}

QString ProbeEndpoint::connectHost() const
{
    // The resolver refuses "[::1]"; the bare address is what it understands.
    if (host.size() > 2 && host.startsWith(u'[') && host.endsWith(u']'))
        return host.mid(1, host.size() - 2);
    return host;
}
