#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>

// The application's tray icon: the app icon with a dot in the VPN state's
// colour, a tooltip with the service version and state, click requests for
// the main window and the tray popup, and desktop notifications.
class TrayManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString version READ version NOTIFY versionChanged)

public:
    // What the desktop provides; an empty function means the real thing (the
    // tray icon's geometry, the mouse position, the tray's own message, whether
    // a tray host is there).
    struct Environment
    {
        std::function<QRect()> iconGeometry;
        std::function<QPoint()> cursorPos;
        std::function<void(const QString &title, const QString &message, QSystemTrayIcon::MessageIcon icon,
            int millisecondsTimeoutHint)>
            showMessage;
        std::function<bool()> systemTrayAvailable;
    };

    explicit TrayManager(Environment environment = {}, QObject *parent = nullptr);

    [[nodiscard]] QString version() const { return m_version; }
    // Asked afresh each time: a tray host can come and go while the app runs.
    Q_INVOKABLE bool isTrayAvailable() const { return m_environment.systemTrayAvailable(); }

signals:
    void versionChanged();
    void quitRequested();
    void showRequested();
    void toggleWindowRequested();
    void connectRequested();
    void disconnectRequested();
    void popupRequested(int anchorX, int anchorY);

public slots:
    void setVersion(const QString &v);
    void setVpnState(const QString &state);
    // While not empty the tooltip shows this in place of the VPN state,
    // which is stale while the service cannot be reached.
    void setServiceNote(const QString &note);
    void notify(const QString &title, const QString &message);

private slots:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

private:
    void redraw();

    Environment m_environment;
    QSystemTrayIcon *m_tray = nullptr;
    QString m_version;
    QString m_state = QStringLiteral("disconnected");
    QString m_serviceNote;
};
