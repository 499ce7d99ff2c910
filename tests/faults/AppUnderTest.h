#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The real vantrelvpn binary in a home of its own: runtime, data and
// configuration folders inside a temporary directory, so its stats.db,
// settings and single-instance socket never touch the machine's. Its
// standard error is kept for counting warnings.
class AppUnderTest : public QObject
{
    Q_OBJECT

public:
    explicit AppUnderTest(const QString &binary, QObject *parent = nullptr);
    ~AppUnderTest() override;

    // Runs the app as an unprivileged user (when the test runs as root), so
    // that file permissions apply to it. Call before start().
    void setUnprivileged(bool unprivileged);
    [[nodiscard]] bool isUnprivileged() const { return m_unprivileged; }

    [[nodiscard]] bool isValid() const { return m_home.isValid(); }
    // Where the app keeps stats.db, and its settings file.
    [[nodiscard]] QString dataDir() const;
    [[nodiscard]] QString settingsFile() const;
    // Hands the home over to the user the app runs as; call after writing
    // files into it.
    void handOverHome() const;

    bool start(const QStringList &arguments = {});
    // Ends the app (SIGTERM, then SIGKILL) and returns its exit code, or -1
    // when it did not exit normally.
    int stop();
    [[nodiscard]] bool isRunning() const;
    [[nodiscard]] qint64 pid() const;
    // Resident memory in KiB, from /proc; -1 when the process is gone.
    [[nodiscard]] qint64 residentKiB() const;

    [[nodiscard]] QString errorOutput() const { return QString::fromUtf8(m_errors); }
    [[nodiscard]] int countInErrors(const QString &text) const;

private:
    QString m_binary;
    QTemporaryDir m_home;
    QProcess m_process;
    QByteArray m_errors;
    bool m_unprivileged = false;
};
