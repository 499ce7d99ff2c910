#include "SimService.h"

#include "Protocol.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Protocol;

namespace {
constexpr int connectDelayMs = 900;
constexpr int failDelayMs = 700;
constexpr int updateStepMs = 250;
constexpr int updateStep = 10;
const char groupName[] = "vantrelvpn";

QString nowRfc3339()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

QJsonObject makeEvent(QLatin1StringView type)
{
    return QJsonObject {{Key::type, type}};
}

QJsonObject errorEvent(const QString &text)
{
    QJsonObject e = makeEvent(Event::error);
    e.insert(Key::error, text);
    return e;
}
} // namespace

SimService::SimService(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_signedIn(options.signedIn || options.connected)
{
    connect(&m_server, &QLocalServer::newConnection, this, &SimService::onNewConnection);
    connect(&m_pages, &LoginPages::confirmed, this, [this] {
        m_signedIn = true;
        emit log(QStringLiteral("sign-in confirmed"));
        broadcast(makeEvent(Event::loginComplete));
        broadcastStatus();
    });
    connect(&m_pages, &LoginPages::denied, this, [this] {
        emit log(QStringLiteral("sign-in denied"));
        QJsonObject e = makeEvent(Event::loginFailed);
        e.insert(Key::error, QStringLiteral("Sign-in was denied in the browser"));
        broadcast(e);
    });

    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, &SimService::finishConnect);
    m_reconnectTimer.setSingleShot(true);
    m_reconnectTimer.setInterval(2500);
    connect(&m_reconnectTimer, &QTimer::timeout, this, [this] {
        m_attempt = 0;
        setState(State::connected);
    });
    m_updateTimer.setInterval(updateStepMs);
    connect(&m_updateTimer, &QTimer::timeout, this, &SimService::stepUpdateDownload);
    if (m_options.pushIntervalMs > 0) {
        m_pushTimer.setInterval(m_options.pushIntervalMs);
        connect(&m_pushTimer, &QTimer::timeout, this, &SimService::broadcastStatus);
    }
}

SimService::~SimService()
{
    stop();
}

QString SimService::socketPath() const
{
    return m_options.directory + QStringLiteral("/daemon.sock");
}

QString SimService::tokenPath() const
{
    return m_options.directory + QStringLiteral("/pipe.token");
}

bool SimService::start()
{
    if (!QDir().mkpath(m_options.directory)) {
        m_error = QStringLiteral("cannot create %1").arg(m_options.directory);
        return false;
    }
    ::chmod(QFile::encodeName(m_options.directory).constData(), 0755);
    if (!m_pages.listen()) {
        m_error = QStringLiteral("cannot listen for sign-in pages on 127.0.0.1");
        return false;
    }
    if (!writeToken())
        return false;
    QLocalServer::removeServer(socketPath());
    if (!m_server.listen(socketPath())) {
        m_error = m_server.errorString();
        return false;
    }
    applySocketAccess();
    emit log(
        QStringLiteral("listening on %1 (sign-in pages on port %2)").arg(socketPath()).arg(m_pages.port()));
    if (m_options.connected && m_state == State::disconnected) {
        m_transport = QStringLiteral("tls");
        finishConnect();
    }
    return true;
}

void SimService::stop()
{
    dropClients();
    if (m_server.isListening()) {
        m_server.close();
        QFile::remove(socketPath());
    }
}

bool SimService::writeToken()
{
    m_token = QString::number(QRandomGenerator::system()->generate64(), 16)
        + QString::number(QRandomGenerator::system()->generate64(), 16);
    QFile file(tokenPath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("cannot write %1: %2").arg(tokenPath(), file.errorString());
        return false;
    }
    file.write(m_token.toUtf8() + '\n');
    file.close();
    const QByteArray path = QFile::encodeName(tokenPath());
    if (const group *g = ::getgrnam(groupName)) {
        if (::chown(path.constData(), static_cast<uid_t>(-1), g->gr_gid) == 0)
            ::chmod(path.constData(), 0640);
    } else {
        ::chmod(path.constData(), 0644);
    }
    return true;
}

// The socket belongs to the group "vantrelvpn" when that group exists, as
// with the real service; without it any local user may connect. Refusing
// access leaves the socket to its owner alone.
void SimService::applySocketAccess()
{
    const QByteArray path = QFile::encodeName(socketPath());
    if (m_options.refuseAccess) {
        ::chmod(path.constData(), 0600);
        return;
    }
    if (const group *g = ::getgrnam(groupName)) {
        if (::chown(path.constData(), static_cast<uid_t>(-1), g->gr_gid) == 0) {
            ::chmod(path.constData(), 0660);
            return;
        }
    }
    ::chmod(path.constData(), 0666);
}

void SimService::onNewConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        m_clients.try_emplace(socket);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            m_clients.erase(socket);
            socket->deleteLater();
            emit log(QStringLiteral("client left"));
        });
        emit log(QStringLiteral("client connected"));
    }
}

void SimService::onReadyRead(QLocalSocket *socket)
{
    auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    const QList<QJsonObject> messages = it->second.reader.feed(socket->readAll());
    for (const QJsonObject &message : messages) {
        it = m_clients.find(socket);
        if (it == m_clients.end())
            return;
        if (!it->second.handshaken) {
            const bool ok = readString(message, Key::magic) == magic
                && readNumber(message, Key::version) == Protocol::version
                && readString(message, Key::token) == m_token;
            if (!ok) {
                emit log(QStringLiteral("handshake refused"));
                socket->disconnectFromServer();
                return;
            }
            it->second.handshaken = true;
            emit log(QStringLiteral("handshake accepted"));
            QJsonObject ready = makeEvent(Event::ready);
            ready.insert(Key::version, m_options.version);
            send(socket, ready);
            if (!m_options.offeredUpdate.isEmpty()) {
                QJsonObject offer = makeEvent(Event::updateAvailable);
                offer.insert(Key::updateVersion, m_options.offeredUpdate);
                offer.insert(Key::updateUrl,
                    QStringLiteral("https://updates.invalid/vantrelvpn-%1.deb").arg(m_options.offeredUpdate));
                send(socket, offer);
            }
            continue;
        }
        handleCommand(socket, message);
    }
}

void SimService::send(QLocalSocket *socket, const QJsonObject &message)
{
    socket->write(encode(message));
    socket->flush();
}

void SimService::broadcast(const QJsonObject &message)
{
    const QByteArray bytes = encode(message);
    for (auto &[socket, client] : m_clients) {
        if (client.handshaken) {
            socket->write(bytes);
            socket->flush();
        }
    }
}

QJsonObject SimService::statusEvent()
{
    if (m_state == State::connected)
        m_traffic.advance(QDateTime::currentMSecsSinceEpoch());
    QJsonObject e = makeEvent(Event::status);
    e.insert(Key::authenticated, m_signedIn);
    e.insert(Key::killSwitchMode, m_killSwitch);
    if (m_signedIn)
        e.insert(Key::username, m_options.username);
    e.insert(Key::status, m_state);
    e.insert(Key::ip, m_vpnIp);
    e.insert(Key::transport, m_transport);
    if (m_state == State::connected || m_state == State::reconnecting || m_state == State::connecting)
        e.insert(Key::endpoint, QStringLiteral("127.0.0.1:%1").arg(m_pages.port()));
    e.insert(Key::attempt, m_attempt);
    e.insert(Key::error, m_tunnelError);
    e.insert(Key::up, static_cast<double>(m_traffic.up()));
    e.insert(Key::down, static_cast<double>(m_traffic.down()));
    e.insert(Key::connectedSince, m_connectedSince);
    return e;
}

void SimService::broadcastStatus()
{
    broadcast(statusEvent());
}

void SimService::setState(const QString &state)
{
    m_state = state;
    if (state == State::connected && m_options.pushIntervalMs > 0)
        m_pushTimer.start();
    else if (state != State::connected)
        m_pushTimer.stop();
    emit log(QStringLiteral("state %1").arg(state));
    broadcastStatus();
}

void SimService::handleCommand(QLocalSocket *socket, const QJsonObject &command)
{
    const QString name = readString(command, Key::cmd);
    const QJsonObject payload = command.value(Key::payload).toObject();
    if (name != Cmd::status)
        emit log(QStringLiteral("command %1").arg(name));

    if (name == Cmd::ping) {
        QJsonObject pong = makeEvent(Event::pong);
        pong.insert(Key::version, m_options.version);
        send(socket, pong);
    } else if (name == Cmd::status) {
        send(socket, statusEvent());
    } else if (name == Cmd::loginStart) {
        QJsonObject opened = makeEvent(Event::browserOpened);
        opened.insert(Key::loginUrl, m_pages.begin());
        opened.insert(Key::expiresAt, QDateTime::currentDateTimeUtc().addSecs(600).toString(Qt::ISODate));
        send(socket, opened);
    } else if (name == Cmd::loginCancel) {
        m_pages.cancelAll();
    } else if (name == Cmd::logout) {
        disconnectTunnel();
        m_signedIn = false;
        broadcast(makeEvent(Event::loggedOut));
    } else if (name == Cmd::connect) {
        if (!m_signedIn) {
            send(socket, errorEvent(QStringLiteral("sign in first")));
            return;
        }
        startConnect(readString(payload, Key::transport));
    } else if (name == Cmd::disconnect) {
        disconnectTunnel();
    } else if (name == Cmd::setKillSwitch) {
        const QString mode = readString(payload, Key::mode);
        if (mode == KillSwitch::never || mode == KillSwitch::onConnect || mode == KillSwitch::always)
            m_killSwitch = mode;
        else
            send(socket, errorEvent(QStringLiteral("unknown kill switch mode %1").arg(mode)));
    } else if (name == Cmd::shutdown) {
        socket->disconnectFromServer();
    } else if (name == Cmd::getDiag) {
        const QString path = makeDiagnostics();
        if (path.isEmpty()) {
            send(socket, errorEvent(QStringLiteral("diagnostics could not be written")));
        } else {
            QJsonObject ready = makeEvent(Event::diagReady);
            ready.insert(Key::diagPath, path);
            send(socket, ready);
        }
    } else if (name == Cmd::installUpdate) {
        startUpdateDownload(socket);
    } else if (name == Cmd::applyUpdate) {
        if (!m_updateReady) {
            send(socket, errorEvent(QStringLiteral("update is not downloaded")));
            return;
        }
        broadcast(makeEvent(Event::updating));
        m_options.version = m_options.offeredUpdate;
        m_options.offeredUpdate.clear();
        m_updateReady = false;
    } else {
        send(socket, errorEvent(QStringLiteral("unknown command %1").arg(name)));
    }
}

void SimService::startConnect(const QString &transport)
{
    if (m_state == State::connected || m_state == State::connecting)
        return;
    m_transport = transport.isEmpty() ? QStringLiteral("tls") : transport;
    m_tunnelError.clear();
    m_attempt = 0;
    setState(State::connecting);
    m_connectTimer.start(m_options.failNextConnect.isEmpty() ? connectDelayMs : failDelayMs);
}

void SimService::finishConnect()
{
    if (!m_options.failNextConnect.isEmpty()) {
        m_tunnelError = m_options.failNextConnect;
        m_options.failNextConnect.clear();
        setState(State::failed);
        return;
    }
    m_vpnIp = QStringLiteral("10.66.0.%1").arg(QRandomGenerator::global()->bounded(2, 250));
    m_connectedSince = nowRfc3339();
    m_traffic.reset(QDateTime::currentMSecsSinceEpoch());
    setState(State::connected);
}

void SimService::disconnectTunnel()
{
    m_connectTimer.stop();
    m_reconnectTimer.stop();
    m_attempt = 0;
    m_tunnelError.clear();
    if (m_state != State::disconnected)
        setState(State::disconnected);
}

void SimService::dropClients()
{
    const auto clients = m_clients;
    for (const auto &entry : clients)
        entry.first->abort();
    m_clients.clear();
}

void SimService::startUpdateDownload(QLocalSocket *socket)
{
    if (m_options.offeredUpdate.isEmpty()) {
        send(socket, errorEvent(QStringLiteral("update not available")));
        return;
    }
    if (m_updateProgress >= 0)
        return;
    m_updateProgress = 0;
    stepUpdateDownload();
    m_updateTimer.start();
}

void SimService::stepUpdateDownload()
{
    QJsonObject progress = makeEvent(Event::updateProgress);
    progress.insert(Key::updateProgress, m_updateProgress);
    broadcast(progress);
    if (m_updateProgress >= 100) {
        m_updateTimer.stop();
        m_updateProgress = -1;
        m_updateReady = true;
        broadcast(makeEvent(Event::updateReady));
        return;
    }
    m_updateProgress += updateStep;
}

// A zip archive the user can read: a service log and the current status.
QString SimService::makeDiagnostics()
{
    const QString dir = m_options.directory + QStringLiteral("/diag");
    QDir().mkpath(dir);
    ::chmod(QFile::encodeName(dir).constData(), 0755);
    QTemporaryDir work;
    if (!work.isValid())
        return {};
    QFile logFile(work.filePath(QStringLiteral("service.log")));
    QFile statusFile(work.filePath(QStringLiteral("status.json")));
    if (!logFile.open(QIODevice::WriteOnly) || !statusFile.open(QIODevice::WriteOnly))
        return {};
    logFile.write(QStringLiteral("%1 simulated service %2, state %3\n")
                      .arg(nowRfc3339(), m_options.version, m_state)
                      .toUtf8());
    statusFile.write(QJsonDocument(statusEvent()).toJson());
    logFile.close();
    statusFile.close();

    const QString name = QStringLiteral("vantrelvpn-diag-%1.zip")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString archive = dir + QLatin1Char('/') + name;
    QFile::remove(archive);
    QProcess zip;
    zip.setWorkingDirectory(work.path());
    zip.start(QStringLiteral("zip"),
        {QStringLiteral("-q"), archive, QStringLiteral("service.log"), QStringLiteral("status.json")});
    if (!zip.waitForFinished(10000) || zip.exitStatus() != QProcess::NormalExit || zip.exitCode() != 0)
        return {};
    ::chmod(QFile::encodeName(archive).constData(), 0644);
    return archive;
}

QString SimService::control(const QString &line)
{
    const QString command = line.section(QLatin1Char(' '), 0, 0).trimmed();
    const QString argument = line.section(QLatin1Char(' '), 1).trimmed();
    if (command == QLatin1String("fail-next-connect")) {
        m_options.failNextConnect
            = argument.isEmpty() ? QStringLiteral("handshake with the server timed out") : argument;
        return QStringLiteral("the next connect fails with: %1").arg(m_options.failNextConnect);
    }
    if (command == QLatin1String("drop")) {
        dropClients();
        return QStringLiteral("dropped every client");
    }
    if (command == QLatin1String("reconnecting")) {
        if (m_state != State::connected)
            return QStringLiteral("not connected");
        m_attempt = qMax(1, argument.toInt());
        setState(State::reconnecting);
        m_reconnectTimer.start();
        return QStringLiteral("reconnecting, attempt %1").arg(m_attempt);
    }
    if (command == QLatin1String("refuse-access") || command == QLatin1String("allow-access")) {
        m_options.refuseAccess = command == QLatin1String("refuse-access");
        applySocketAccess();
        return m_options.refuseAccess ? QStringLiteral("socket limited to its owner")
                                      : QStringLiteral("socket open");
    }
    if (command == QLatin1String("restart")) {
        stop();
        disconnectTunnel();
        QTimer::singleShot(argument.isEmpty() ? 1000 : argument.toInt(), this, [this] {
            if (!start())
                emit log(QStringLiteral("restart failed: %1").arg(m_error));
        });
        return QStringLiteral("restarting");
    }
    if (command == QLatin1String("offer-update")) {
        m_options.offeredUpdate = argument.isEmpty() ? QStringLiteral("9.9.9") : argument;
        QJsonObject offer = makeEvent(Event::updateAvailable);
        offer.insert(Key::updateVersion, m_options.offeredUpdate);
        offer.insert(Key::updateUrl, QStringLiteral("https://updates.invalid/vantrelvpn.deb"));
        broadcast(offer);
        return QStringLiteral("offered update %1").arg(m_options.offeredUpdate);
    }
    if (command == QLatin1String("raw")) {
        const QByteArray bytes = argument.toUtf8() + '\n';
        for (auto &entry : m_clients)
            entry.first->write(bytes);
        return QStringLiteral("sent raw line");
    }
    return QStringLiteral(
        "commands: fail-next-connect [text], drop, reconnecting N, refuse-access, allow-access, "
        "restart [ms], offer-update [version], raw <line>");
}
