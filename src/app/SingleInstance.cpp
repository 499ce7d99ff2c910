#include "SingleInstance.h"

#include <QDeadlineTimer>
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
constexpr int kConnectWaitMs = 200;
// With the connection, well within the two seconds a script or a shortcut may wait.
constexpr int kAnswerWaitMs = 1500;
constexpr qint64 kMaxAnswerBytes = 256;
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

SingleInstance::Answer SingleInstance::ask(const QString &name, const QByteArray &request)
{
    Answer answer;
    if (name.isEmpty())
        return answer;
    QLocalSocket socket;
    socket.connectToServer(name, QIODevice::ReadWrite);
    if (!socket.waitForConnected(kConnectWaitMs))
        return answer;
    answer.reached = true;
    socket.write(request + '\n');
    socket.flush();
    // The first instance answers as soon as it has the line. A hung one must not hang this process
    // too; an older one closes without a word.
    const QDeadlineTimer deadline(kAnswerWaitMs);
    while (!socket.canReadLine() && socket.bytesAvailable() < kMaxAnswerBytes
        && socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired())
        socket.waitForReadyRead(int(deadline.remainingTime()));
    if (socket.canReadLine())
        answer.line = socket.readLine(kMaxAnswerBytes).trimmed();
    return answer;
}

bool SingleInstance::listen(QLocalServer &server, const QString &name)
{
    if (name.isEmpty())
        return false;
    // Only reached after ask() found nobody answering, so whatever is left under the name is stale (with
    // the option set, Qt renames the socket into place, which would also replace a live server's). The
    // folder already keeps other accounts out; the option closes the socket itself to them too.
    QLocalServer::removeServer(name);
    server.setSocketOptions(QLocalServer::UserAccessOption);
    return server.listen(name);
}
