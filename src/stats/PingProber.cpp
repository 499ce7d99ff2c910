#include "PingProber.h"

#include "ProbeEndpoint.h"

#include <QTcpSocket>

PingProber::PingProber(QObject *parent, std::chrono::milliseconds interval)
    : QObject(parent)
{
    m_timer.setInterval(interval);
    m_timer.setSingleShot(false);
    connect(&m_timer, &QTimer::timeout, this, &PingProber::probeNow);
}

void PingProber::setTarget(const QString &target)
{
    if (target == m_target)
        return;
    m_target = target;
    m_pingMs = -1;
    // A value measured for the previous server must not linger, so the reset
    // is announced even when there was no value.
    emit pingChanged();
    emit targetChanged();
    if (m_active && !m_target.isEmpty())
        probeNow();
}

void PingProber::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    emit activeChanged();
    if (m_active) {
        m_timer.start();
        if (!m_target.isEmpty())
            probeNow();
    } else {
        // A probe in flight is left to finish and publish its result.
        m_timer.stop();
    }
}

void PingProber::probeNow()
{
    if (m_target.isEmpty() || m_socket)
        return;

    const ProbeEndpoint endpoint = ProbeEndpoint::fromTarget(m_target);
    auto *socket = new QTcpSocket(this);
    m_socket = socket;
    m_elapsed.start();
    connect(socket, &QTcpSocket::connected, this, &PingProber::onProbeConnected);
    connect(socket, &QTcpSocket::errorOccurred, this, &PingProber::onProbeError);
    // The socket may report an error before this call returns, which ends
    // the probe already; nothing may touch it afterwards.
    socket->connectToHost(
        endpoint.connectHost(), endpoint.port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
}

void PingProber::onProbeConnected()
{
    m_pingMs = int(m_elapsed.elapsed());
    finishProbe(true);
    emit pingChanged();
}

void PingProber::onProbeError()
{
    m_pingMs = -1;
    finishProbe(false);
    emit pingChanged();
}

void PingProber::finishProbe(bool abort)
{
    // Detached before aborting, so an error the socket raises while closing
    // cannot overwrite the time just measured; and before the result is
    // announced, so a listener may start the next probe at once.
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    if (abort)
        socket->abort();
    socket->deleteLater();
}
