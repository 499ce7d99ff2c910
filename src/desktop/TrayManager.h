#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

class QAction;
class QMenu;

// The application's tray icon: the app icon with a dot in the VPN state's
// colour, a tooltip with the service version and state, a menu with the
// status, the main action, open and quit, click requests for the main window
// and the tray popup, and desktop notifications. The status line and the main
// action, which the popup shows too, are set from outside.
class TrayManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString version READ version NOTIFY versionChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusTextChanged)
    Q_PROPERTY(QString mainActionText READ mainActionText NOTIFY mainActionChanged)
    Q_PROPERTY(bool mainActionEnabled READ mainActionEnabled NOTIFY mainActionChanged)

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
    ~TrayManager() override;

    [[nodiscard]] QString version() const { return m_version; }
    [[nodiscard]] QString statusText() const { return m_statusText; }
    [[nodiscard]] QString mainActionText() const { return m_mainActionText; }
    [[nodiscard]] bool mainActionEnabled() const { return m_mainActionEnabled; }
    // Asked afresh each time: a tray host can come and go while the app runs.
    Q_INVOKABLE bool isTrayAvailable() const { return m_environment.systemTrayAvailable(); }

signals:
    void versionChanged();
    void statusTextChanged();
    void mainActionChanged();
    void quitRequested();
    void showRequested();
    // A middle click on the icon.
    void toggleWindowRequested();
    void connectRequested();
    void disconnectRequested();
    // A primary click on the icon, or a secondary one where no menu showed.
    void popupRequested(int anchorX, int anchorY);
    // Connect, disconnect or cancel, as the main action's text says.
    void mainActionRequested();

public slots:
    void setVersion(const QString &v);
    void setVpnState(const QString &state);
    // While not empty the tooltip shows this in place of the VPN state,
    // which is stale while the service cannot be reached.
    void setServiceNote(const QString &note);
    // The VPN state in words, as the popup and the menu show it.
    void setStatusText(const QString &text);
    void setMainAction(const QString &text, bool enabled);
    void setMenuTexts(const QString &openText, const QString &quitText);
    void notify(const QString &title, const QString &message);

private slots:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

private:
    void redraw();
    void updateStatusLine();

    Environment m_environment;
    QSystemTrayIcon *m_tray = nullptr;
    std::unique_ptr<QMenu> m_menu;
    QAction *m_statusLine = nullptr;
    QAction *m_mainAction = nullptr;
    QAction *m_openAction = nullptr;
    QAction *m_quitAction = nullptr;
    QString m_version;
    QString m_state = QStringLiteral("disconnected");
    QString m_serviceNote;
    QString m_statusText;
    QString m_mainActionText;
    bool m_mainActionEnabled = false;
};
