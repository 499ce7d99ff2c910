#pragma once

#include <QByteArray>
#include <QString>

class QLocalServer;

// One user-interface process per user. The server lives in the user's runtime directory, which only the
// user can enter, so no other account can occupy the name or receive this user's requests.
class SingleInstance
{
public:
    // Full server path inside runtimeDir; empty when there is no user-only directory to put it in.
    [[nodiscard]] static QString serverName(const QString &runtimeDir);
    // The user's runtime directory (XDG_RUNTIME_DIR, else a per-user 0700 folder); when neither is owned
    // by the user with user-only access, a 0700 folder in the user's cache; empty when that fails too.
    [[nodiscard]] static QString userRuntimeDir();
    // The folder at path, created if missing and closed to others; empty unless it is a real folder
    // owned by this user.
    [[nodiscard]] static QString privateFolder(const QString &path);

    // What a start learns from the first instance.
    struct Answer
    {
        // A first instance listens under the name: this process is a second one and must end.
        bool reached = false;
        // Its answer without the line feed; empty when none came in time.
        QByteArray line;
    };
    // Sends one request line to a running first instance and waits a bounded time for its answer line.
    [[nodiscard]] static Answer ask(const QString &name, const QByteArray &request);
    // Makes this process the first instance, with a socket only the user may open. A leftover socket
    // file from a crashed process, or anything else lying under the name, is removed first; a failure
    // leaves the process without the guard.
    static bool listen(QLocalServer &server, const QString &name);
};
