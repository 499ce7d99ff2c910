#include "SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace {
const auto kServerFileName = QLatin1String("vantrelvpn-ui-single");
const auto kFallbackFolderName = QLatin1String("runtime");
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
    const QString runtimeDir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtimeDir.isEmpty())
        return runtimeDir;
    // Then a folder of our own in the user's cache: inside the home no other account can plant it.
    const QString cacheDir = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    return cacheDir.isEmpty() ? QString() : privateFolder(QDir(cacheDir).filePath(kFallbackFolderName));
}

QString SingleInstance::privateFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        return {};
    const QFileInfo folder(path);
    if (folder.isSymLink() || !folder.isDir() || folder.ownerId() != ::geteuid()
        || !QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        return {};
    return path;
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
