#include "PipeClient.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
namespace Text {
const auto disconnected = u"disconnected"_s;
const auto connecting = u"connecting..."_s;
const auto sendingHandshake = u"connected \u2014 sending handshake"_s;
const auto errorPrefix = u"error: "_s;
const auto readyPrefix = u"ready \u2014 daemon v"_s;
const auto pongPrefix = u"pong v"_s;
const auto authenticated = u"authenticated"_s;
const auto loggedOut = u"logged out"_s;
const auto notConnected = u"not connected"_s;
const auto diagCopyFailed = u"diag copy failed"_s;
} // namespace Text

// An "error" event whose text starts with this refers to the update procedure.
const auto updateErrorPrefix = u"update "_s;

bool copyReplacing(const QString &source, const QString &destination)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    // QSaveFile writes through a link to its target and refuses a read-only
    // file; whatever stands under the report's name is replaced instead.
    const QFileInfo existing(destination);
    if (existing.isSymLink() || (existing.exists() && !existing.isWritable()))
        QFile::remove(destination);
    // Written beside the destination and renamed over it only when complete,
    // so a failed copy leaves an older report in place. The report may hold
    // private details: the copy keeps its mode rather than the umask's.
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly) || !out.setPermissions(in.permissions()))
        return false;
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = in.read(buffer, sizeof buffer);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (out.write(buffer, n) != n)
            return false;
    }
    return out.commit();
}
} // namespace

PipeClient::PipeClient(QObject *parent, const QString &socketPath, const QString &tokenPath,
    const QString &desktopDir, Clock clock)
    : QObject(parent)
    , m_socketPath(socketPath)
    , m_tokenPath(tokenPath)
    , m_desktopDir(desktopDir)
    , m_clock(clock ? std::move(clock) : Clock(&QDateTime::currentMSecsSinceEpoch))
    , m_socket(new QLocalSocket(this))
    , m_reconnectTimer(new QTimer(this))
    , m_statusPollTimer(new QTimer(this))
{
    m_reconnectTimer->setSingleShot(true);
    m_reconnectTimer->setInterval(reconnectDelayMs);
    m_statusPollTimer->setInterval(statusPollIntervalMs);

    connect(m_socket, &QLocalSocket::connected, this, &PipeClient::onConnected);
    connect(m_socket, &QLocalSocket::disconnected, this, &PipeClient::onDisconnected);
    connect(m_socket, &QLocalSocket::readyRead, this, &PipeClient::onReadyRead);
    connect(m_socket, &QLocalSocket::errorOccurred, this, &PipeClient::onError);
    connect(m_reconnectTimer, &QTimer::timeout, this, &PipeClient::tryReconnect);
    connect(m_statusPollTimer, &QTimer::timeout, this, &PipeClient::sendStatusQuery);
}

void PipeClient::connectToPipe()
{
    if (m_socket->state() != QLocalSocket::UnconnectedState) {
        m_socket->disconnectFromServer();
        // With unwritten bytes the socket lingers in the closing state, in
        // which it refuses to connect anew.
        if (m_socket->state() != QLocalSocket::UnconnectedState)
            m_socket->abort();
    }
    // After the close above, which may have counted itself as a failure.
    m_retryCount = 0;
    // A retry still pending (also the one the close above schedules) would
    // only race the attempt made here.
    m_reconnectTimer->stop();
    setStatus(Text::connecting);
    setLinkState(LinkState::connecting);
    m_socket->connectToServer(m_socketPath, QIODevice::ReadWrite);
}

void PipeClient::onConnected()
{
    setStatus(Text::sendingHandshake);
    m_accepted = false;
    // After failed attempts only "ready" shows that the service takes this
    // link, so one it keeps closing does not flicker as up.
    if (m_retryCount == 0)
        setLinkState(LinkState::up);
    // A partial line left by the previous connection must not be glued to
    // the first line of this one.
    m_reader.reset();
    m_socket->write(Protocol::handshake(Protocol::readToken(m_tokenPath)));
    m_socket->flush();
}

void PipeClient::onDisconnected()
{
    m_statusPollTimer->stop();
    setAuthenticated(false);
    updateVpnState(Protocol::State::disconnected, QString(), QString());
    if (m_shutdownRequested) {
        setLinkState(LinkState::unreachable);
    } else if (m_accepted) {
        m_retryCount = 0;
        m_reconnectTimer->start(reconnectDelayMs);
        setLinkState(LinkState::connecting);
    } else {
        // Closed before "ready": the service turned the link down (a token
        // it refuses), so this is a failed attempt, not a fresh start.
        scheduleRetry(LinkState::closed);
    }
    m_accepted = false;
    m_shutdownRequested = false;
    setStatus(Text::disconnected);
}

void PipeClient::onReadyRead()
{
    const QList<QJsonObject> messages = m_reader.feed(m_socket->readAll());
    for (const QJsonObject &message : messages)
        handleMessage(message);
}

void PipeClient::onError(QLocalSocket::LocalSocketError err)
{
    setStatus(Text::errorPrefix + m_socket->errorString());
    if (err == QLocalSocket::SocketAccessError) {
        setLinkState(LinkState::refused);
        emit accessDenied();
        return;
    }
    // An error on an established link is followed by its close, whose
    // handler decides what comes next (or by nothing, after a timed-out
    // write, and the link stays).
    if (!isConnected())
        scheduleRetry(LinkState::unreachable);
}

// One failed attempt: the next comes after the short delay while the fast
// attempts last, then slowly, as the service may start well after the app or
// take long to restart.
void PipeClient::scheduleRetry(QLatin1StringView stateWhenSpent)
{
    const bool fast = m_retryCount < maxRetries;
    if (fast)
        ++m_retryCount;
    m_reconnectTimer->start(fast ? reconnectDelayMs : m_slowRetryIntervalMs);
    setLinkState(fast ? LinkState::connecting : stateWhenSpent);
}

void PipeClient::tryReconnect()
{
    if (m_socket->state() == QLocalSocket::UnconnectedState)
        m_socket->connectToServer(m_socketPath, QIODevice::ReadWrite);
}

void PipeClient::handleMessage(const QJsonObject &message)
{
    using namespace Protocol;
    const QString type = readString(message, Key::type);

    if (type == Event::ready) {
        const QString version = readString(message, Key::version);
        m_accepted = true;
        m_retryCount = 0;
        setLinkState(LinkState::up);
        setStatus(Text::readyPrefix + version);
        emit versionReceived(version);
        sendStatusQuery();
    } else if (type == Event::pong) {
        const QString version = readString(message, Key::version);
        setStatus(Text::pongPrefix + version);
        emit versionReceived(version);
    } else if (type == Event::browserOpened) {
        emit browserOpened(readString(message, Key::loginUrl), readString(message, Key::expiresAt));
    } else if (type == Event::loginComplete) {
        setAuthenticated(true);
        setStatus(Text::authenticated);
        emit loginComplete();
    } else if (type == Event::loginFailed) {
        emit loginFailed(readString(message, Key::error));
    } else if (type == Event::loggedOut) {
        setAuthenticated(false);
        updateVpnState(State::disconnected, QString(), QString());
        setStatus(Text::loggedOut);
        emit loggedOut();
    } else if (type == Event::status) {
        handleStatus(message);
    } else if (type == Event::diagReady) {
        handleDiagReady(message);
    } else if (type == Event::updateAvailable) {
        m_updateAvailable = true;
        m_updateVersion = readString(message, Key::updateVersion);
        m_isUpdating = false;
        m_updateProgress = 0;
        m_updateReady = false;
        emit updateAvailableChanged();
        emit updating();
        emit updateReadyChanged();
    } else if (type == Event::updateProgress) {
        m_isUpdating = true;
        m_updateProgress = readInt(message, Key::updateProgress);
        emit updating();
    } else if (type == Event::updateReady) {
        m_isUpdating = false;
        m_updateProgress = 100;
        m_updateReady = true;
        emit updating();
        emit updateReadyChanged();
    } else if (type == Event::updating) {
        m_isUpdating = true;
        m_updateProgress = 100;
        emit updating();
        if (m_applyRequested)
            emit restartConfirmed();
    } else if (type == Event::error) {
        const QString error = readString(message, Key::error);
        setStatus(Text::errorPrefix + error);
        if (error != m_errorText) {
            m_errorText = error;
            emit vpnStateChanged();
        }
        if ((m_isUpdating || m_applyRequested) && error.startsWith(updateErrorPrefix)) {
            m_isUpdating = false;
            m_updateProgress = 0;
            m_applyRequested = false;
            emit updating();
        }
    }
}

void PipeClient::handleStatus(const QJsonObject &message)
{
    using namespace Protocol;

    // Each member is looked up once, through the iterator as the readers
    // do: the lookups are most of what a status event costs. The reference's
    // conversions read as readBool and readString do.
    const auto authenticated = message.constFind(Key::authenticated);
    if (authenticated != message.constEnd())
        setAuthenticated(authenticated->toBool());
    const auto killSwitchMode = message.constFind(Key::killSwitchMode);
    if (killSwitchMode != message.constEnd()) {
        const QString mode = killSwitchMode->toString();
        if (mode != m_killSwitchMode) {
            m_killSwitchMode = mode;
            emit killSwitchChanged();
        }
    }
    const QString username = readString(message, Key::username);
    if (username != m_username) {
        m_username = username;
        emit usernameChanged();
    }

    updateVpnState(
        readString(message, Key::status), readString(message, Key::ip), readString(message, Key::transport));

    const QString endpoint = readString(message, Key::endpoint);
    const int attempt = readInt(message, Key::attempt);
    const QString error = readString(message, Key::error);
    bool linkChanged = false;
    if (endpoint != m_endpoint) {
        m_endpoint = endpoint;
        linkChanged = true;
    }
    if (attempt != m_attempt) {
        m_attempt = attempt;
        linkChanged = true;
    }
    if (error != m_errorText) {
        m_errorText = error;
        linkChanged = true;
    }
    if (linkChanged)
        emit vpnStateChanged();

    // Byte counts are never negative; a service that says otherwise gets 0,
    // which also keeps the differences below from overflowing.
    const qint64 up = std::max<qint64>(0, readNumber(message, Key::up));
    const qint64 down = std::max<qint64>(0, readNumber(message, Key::down));
    const QString since = readString(message, Key::connectedSince);
    if (up == m_up && down == m_down && since == m_connectedSince)
        return;
    const qint64 now = m_clock();
    if (m_lastSampleMs > 0 && since == m_connectedSince && up >= m_up && down >= m_down) {
        const double dt = static_cast<double>(now - m_lastSampleMs) / 1000.0;
        // Samples closer than this would give wildly noisy speeds.
        if (dt > 0.2) {
            m_upSpeed = static_cast<double>(up - m_up) / dt;
            m_downSpeed = static_cast<double>(down - m_down) / dt;
        }
    } else {
        m_upSpeed = 0;
        m_downSpeed = 0;
    }
    m_lastSampleMs = now;
    m_up = up;
    m_down = down;
    m_connectedSince = since;
    emit trafficChanged();
}

void PipeClient::handleDiagReady(const QJsonObject &message)
{
    const QString source = Protocol::readString(message, Protocol::Key::diagPath);
    const QString fileName = QFileInfo(source).fileName();
    const QString destination = m_desktopDir + u'/' + fileName;
    // Without a desktop folder the destination would land in the root folder.
    if (!m_desktopDir.isEmpty() && !fileName.isEmpty() && copyReplacing(source, destination))
        emit diagReady(destination);
    else
        setStatus(Text::diagCopyFailed);
}

void PipeClient::updateVpnState(const QString &state, const QString &ip, const QString &transport)
{
    bool changed = false;
    if (state != m_vpnState) {
        m_vpnState = state;
        changed = true;
    }
    if (!ip.isEmpty() && ip != m_vpnIp) {
        m_vpnIp = ip;
        changed = true;
    }
    if (!transport.isEmpty() && transport != m_transport) {
        m_transport = transport;
        changed = true;
    }
    if (changed)
        emit vpnStateChanged();

    if (Protocol::isActiveState(state)) {
        if (!m_statusPollTimer->isActive())
            m_statusPollTimer->start();
        return;
    }
    m_statusPollTimer->stop();
    if (m_upSpeed != 0 || m_downSpeed != 0 || m_lastSampleMs != 0) {
        m_upSpeed = 0;
        m_downSpeed = 0;
        m_lastSampleMs = 0;
        emit trafficChanged();
    }
}

void PipeClient::setStatus(const QString &text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged();
}

void PipeClient::setLinkState(QLatin1StringView state)
{
    if (state == m_linkState)
        return;
    m_linkState = state;
    emit linkStateChanged();
}

void PipeClient::setAuthenticated(bool authenticated)
{
    if (authenticated == m_authenticated)
        return;
    m_authenticated = authenticated;
    emit authenticatedChanged();
}

bool PipeClient::isConnected() const
{
    return m_socket->state() == QLocalSocket::ConnectedState;
}

void PipeClient::sendCommand(const QByteArray &line)
{
    if (!isConnected()) {
        setStatus(Text::notConnected);
        return;
    }
    m_socket->write(line);
    m_socket->flush();
}

void PipeClient::writeAndWait(const QByteArray &line)
{
    m_socket->write(line);
    m_socket->flush();
    // The process may be about to quit; make sure the command leaves it.
    if (m_socket->bytesToWrite() > 0)
        m_socket->waitForBytesWritten(blockingWriteTimeoutMs);
}

void PipeClient::sendPing()
{
    sendCommand(Protocol::command(Protocol::Cmd::ping));
}

void PipeClient::sendLoginStart()
{
    sendCommand(Protocol::command(Protocol::Cmd::loginStart));
}

void PipeClient::sendLoginCancel()
{
    sendCommand(Protocol::command(Protocol::Cmd::loginCancel));
}

void PipeClient::sendLogout()
{
    sendCommand(Protocol::command(Protocol::Cmd::logout));
}

void PipeClient::sendConnect(bool whitelist, bool games, const QString &transport)
{
    sendCommand(
        Protocol::command(Protocol::Cmd::connect, Protocol::connectPayload(whitelist, games, transport)));
}

void PipeClient::sendDisconnect()
{
    sendCommand(Protocol::command(Protocol::Cmd::disconnect));
}

void PipeClient::sendStatusQuery()
{
    sendCommand(Protocol::command(Protocol::Cmd::status));
}

void PipeClient::sendSetKillSwitchMode(const QString &mode)
{
    if (!isConnected()) {
        setStatus(Text::notConnected);
        return;
    }
    sendCommand(Protocol::command(Protocol::Cmd::setKillSwitch, Protocol::killSwitchPayload(mode)));
    // The mode shows once the service reports it back.
    sendStatusQuery();
}

void PipeClient::sendShutdown()
{
    if (!isConnected())
        return;
    m_shutdownRequested = true;
    writeAndWait(Protocol::command(Protocol::Cmd::shutdown));
}

void PipeClient::sendGetDiag()
{
    sendCommand(Protocol::command(Protocol::Cmd::getDiag));
}

void PipeClient::sendInstallUpdate()
{
    sendCommand(Protocol::command(Protocol::Cmd::installUpdate));
}

void PipeClient::sendApplyUpdate()
{
    if (!isConnected())
        return;
    m_applyRequested = true;
    writeAndWait(Protocol::command(Protocol::Cmd::applyUpdate));
}
