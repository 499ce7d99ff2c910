#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>

// The simulated VPN service as a child process on the real socket paths. Its
// log lines ("command connect", "state connected", "handshake accepted", ...)
// are what the service saw of the app; lines written to its input inject
// faults ("restart 1000", "allow-access", ...).
class ServiceProcess : public QObject
{
    Q_OBJECT

public:
    explicit ServiceProcess(QString program, QObject *parent = nullptr);
    ~ServiceProcess() override;

    // Starts it and waits until its control socket listens.
    bool start(const QStringList &arguments);
    void control(const QString &line);
    // Ends it the way a user would (SIGTERM), so it removes its socket file.
    void stop();

    // Log lines without the "simservice: " prefix.
    [[nodiscard]] QStringList log() const;
    [[nodiscard]] int count(const QString &line) const;
    [[nodiscard]] int countStartingWith(const QString &prefix) const;
    // Waits until `line` has been logged `times` times in all.
    bool waitFor(const QString &line, int timeoutMs, int times = 1);

private:
    void onReadyRead();

    QString m_program;
    QProcess m_process;
    QByteArray m_partial;
    QStringList m_lines;
};
