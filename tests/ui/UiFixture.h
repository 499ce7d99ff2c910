#pragma once

#include "AppConfig.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

class AppWiring;
class FakeService;

// The interface as the app runs it: the real service objects against a fake
// VPN service on a private socket, a statistics database the test seeds and a
// fixed clock, with either the real main window or one document on its own.
// Browser requests are recorded instead of reaching the desktop.
class UiFixture : public QObject
{
    Q_OBJECT

public:
    // The fixed "now" of the statistics store: a Wednesday afternoon, local time.
    static QDateTime now();

    UiFixture();
    ~UiFixture() override;

    // Creates and publishes the service objects with English, light theme and
    // every switch off, and links the client to the fake service. With
    // `mainWindow` the real main.qml is loaded, shown and attached first, as
    // start-up does.
    bool start(bool mainWindow = false);
    // A screen document inside a plain host window, or the tray popup.
    QQuickWindow *loadScreen(const QString &document);
    QQuickWindow *loadPopup();
    // Destroys and re-creates the loaded screen, as leaving its tab does.
    void reloadScreen();
    // Adds a day row; it shows once a screen refreshes the store.
    void seedDay(int daysFromToday, qint64 up, qint64 down, int protectedSeconds = 0, double speedSum = 0,
        int speedCount = 0, qint64 pingSum = 0, int pingCount = 0);

    [[nodiscard]] AppWiring *wiring() const { return m_wiring.get(); }
    [[nodiscard]] FakeService *service() const { return m_service.get(); }
    [[nodiscard]] QQuickWindow *window() const { return m_window; }
    [[nodiscard]] QList<QUrl> openedUrls() const { return m_openedUrls; }
    // Whether the desktop has a tray host (it has one until told otherwise).
    void setTrayAvailable(bool available) { m_trayAvailable = available; }

    // A "status" event of user "alice", signed in, disconnected, kill switch
    // "never", with the members of `overrides` on top.
    void sendStatus(const QJsonObject &overrides = {});
    // Sends a status event in this state and waits until the client has read it.
    bool setState(const QString &state, const QJsonObject &extra = {});
    bool signOut()
    {
        return setState(QStringLiteral("disconnected"), {{QStringLiteral("authenticated"), false}});
    }
    void sendEvent(const QJsonObject &event);
    // Waits until the client has handled every event sent before. It rides
    // on a "pong", whose marker then stands as the service's version.
    bool sync();

    // Depth-first search of the visual tree (of the window without `root`),
    // which also reaches delegates that QObject::findChild does not.
    [[nodiscard]] QQuickItem *item(const QString &objectName, QQuickItem *root = nullptr) const;
    // The segment of a segmented control whose entry carries this value.
    [[nodiscard]] static QQuickItem *segment(QQuickItem *control, const QString &value);
    // Waits until such an item exists and shows.
    QQuickItem *waitForItem(const QString &objectName) const;
    // A left click in the item's centre, as a user's.
    bool click(QQuickItem *target) const;
    bool click(const QString &objectName) const { return click(waitForItem(objectName)); }
    [[nodiscard]] QString text(const QString &objectName, const char *property = "text") const;

    // The commands sent since the last clear, by name, or all but the status
    // polls and pings the client sends by itself. Flushing round-trips a ping
    // so that every command written before it has arrived.
    [[nodiscard]] QList<QJsonObject> commands(const QString &name) const;
    [[nodiscard]] QStringList commands() const;
    bool flushCommands();
    void clearCommands();

public slots:
    // QDesktopServices URL handler.
    void recordUrl(const QUrl &url) { m_openedUrls.append(url); }

private:
    QQuickWindow *load(const QUrl &url, const QByteArray &data = {});

    QTemporaryDir m_dir;
    AppConfig m_config;
    std::unique_ptr<FakeService> m_service;
    std::unique_ptr<AppWiring> m_wiring;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QPointer<QQuickWindow> m_window;
    QList<QUrl> m_openedUrls;
    int m_syncCount = 0;
    bool m_trayAvailable = true;
};
