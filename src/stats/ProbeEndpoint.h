#pragma once

#include <QString>

// Host and port a latency probe connects to, read from a "host:port" target.
struct ProbeEndpoint
{
    static constexpr quint16 kDefaultPort = 443;

    // Splits at the last colon; a missing, zero, non-numeric or out-of-range
    // port becomes 443. Brackets of an IPv6 literal stay part of the host.
    static ProbeEndpoint fromTarget(const QString &target);

    // The host as the socket layer accepts it: without IPv6 brackets.
    [[nodiscard]] QString connectHost() const;

    QString host;
    quint16 port = kDefaultPort;
};
