#include "SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {
const auto kServerFileName = QLatin1String("vantrelvpn-ui-single");
const QByteArray kShowRequest = QByteArrayLiteral("show");
constexpr int kConnectWaitMs = 200;
constexpr int kWriteWaitMs = 200;
} // namespace

QString SingleInstance::serverName(const QString &runtimeDir)
{
    if (runtimeDir.isEmpty())
        return {};
    return QDir(runtimeDir).filePath(kServerFileName);
}

QString SingleInstance::userRuntimeDir()
{
    // Qt checks ownership and 0700 access of XDG_RUNTIME_DIR, falls back to a per-user folder it creates
    // with 0700, and answers empty when that folder belongs to someone else or is open to others.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

bool SingleInstance::handOver(const QString &name)
{
    if (name.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(name, QIODevice::ReadWrite);
    if (!socket.waitForConnected(kConnectWaitMs))
        return false;
    socket.write(kShowRequest);
    socket.flush();
    socket.waitForBytesWritten(kWriteWaitMs);
    return true;
}

bool SingleInstance::listen(QLocalServer &server, const QString &name)
{
    if (name.isEmpty())
        return false;
    // Only reached after handOver() found nobody answering, so whatever is left under the name is stale.
    // No socket options: with any of them set, listen() would also succeed over a live server.
    QLocalServer::removeServer(name);
    return server.listen(name);
}
