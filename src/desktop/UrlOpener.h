#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// Opens web addresses in the user's browser: through the desktop first and,
// inside WSL, through the Windows host's cmd.exe or PowerShell.
class UrlOpener : public QObject
{
    Q_OBJECT

public:
    // Starts a detached program; returns whether it started.
    using ProcessStarter = std::function<bool(const QString &program, const QStringList &arguments)>;

    explicit UrlOpener(QString versionPath = QStringLiteral("/proc/version"),
        ProcessStarter startProcess = {}, QObject *parent = nullptr);

    Q_INVOKABLE bool open(const QString &url);

    // Whether the kernel version file names a Linux running inside WSL on a Windows host.
    [[nodiscard]] static bool runsInsideWsl(const QString &versionPath);

private:
    [[nodiscard]] bool openOnWindowsHost(const QString &url) const;

    QString m_versionPath;
    ProcessStarter m_startProcess;
};
