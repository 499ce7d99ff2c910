#pragma once

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

class AppWiring;
class FakeService;

// The whole interface as the app runs it: the real service objects, the
// real main.qml, and a fake VPN service on a private socket. Browser
// requests are caught instead of reaching the desktop.
class UiFixture : public QObject
{
    Q_OBJECT

public:
    UiFixture();
    ~UiFixture() override;

    // Loads main.qml, shows the window and waits for the client's handshake
    // and first status query.
    bool start();

    [[nodiscard]] AppWiring *wiring() const { return m_wiring.get(); }
    [[nodiscard]] FakeService *service() const { return m_service.get(); }
    [[nodiscard]] QQuickWindow *window() const { return m_window; }
    [[nodiscard]] QList<QUrl> openedUrls() const { return m_openedUrls; }

    // A "status" event; `extra` members override the defaults of a signed-in
    // user with the tunnel down.
    void sendStatus(const QString &state, const QJsonObject &extra = {});
    // Sends a status event and waits until the client reports that state.
    bool setState(const QString &state, const QJsonObject &extra = {});
    bool signIn();
    bool signOut();

    // The item with this objectName in the window's visual tree, or null.
    [[nodiscard]] QQuickItem *item(const QString &objectName) const;
    // Waits until such an item exists and is visible.
    QQuickItem *waitForItem(const QString &objectName, int timeoutMs = 3000) const;
    // Left click in the item's centre, as a user would.
    bool click(const QString &objectName);
    [[nodiscard]] QString text(const QString &objectName) const;

    // The commands the client sent since the last clear, by name.
    [[nodiscard]] QList<QJsonObject> commands(const QString &name) const;
    bool waitForCommand(const QString &name, int timeoutMs = 3000);
    void clearCommands();

public slots:
    // QDesktopServices URL handler.
    void recordUrl(const QUrl &url);

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FakeService> m_service;
    std::unique_ptr<AppWiring> m_wiring;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QPointer<QQuickWindow> m_window;
    QList<QUrl> m_openedUrls;
};
