#pragma once

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

    // Asks a running first instance to show its window. True when one took the request: this process
    // is then the second one and must end.
    static bool handOver(const QString &name);
    // Makes this process the first instance. A leftover socket file from a crashed process, or anything
    // else lying under the name, is removed first; a failure leaves the process without the guard.
    static bool listen(QLocalServer &server, const QString &name);
};
