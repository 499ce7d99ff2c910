#pragma once

#include "AppConfig.h"

#include <QDateTime>
#include <QJsonObject>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QTemporaryDir>

#include <memory>

class AppWiring;
class FakeService;
class QQuickItem;
class QQuickWindow;

// One application's worth of real service objects against a fake VPN
// service, a seeded statistics database and a fixed clock, with helpers to
// load a single document and drive it by object name. Fresh per test.
class Ui2Fixture
{
public:
    // The fixed "now" of every fixture: a Wednesday afternoon, local time.
    static QDateTime now();

    Ui2Fixture();
    ~Ui2Fixture();

    [[nodiscard]] bool isValid() const { return m_valid; }
    [[nodiscard]] FakeService &service() const { return *m_service; }
    [[nodiscard]] AppWiring &wiring() const { return *m_wiring; }
    [[nodiscard]] QString dirPath() const { return m_dir.path(); }

    // Adds a row to the day table; call before start() or before the screen
    // is (re)created, which refreshes the store.
    void seedDay(int daysFromToday, qint64 up, qint64 down, int protectedSeconds = 0, double speedSum = 0,
        int speedCount = 0, qint64 pingSum = 0, int pingCount = 0);

    // Creates and publishes the service objects with English, light theme and
    // all switches off, and links the client to the fake service.
    bool start();

    // Sends a "status" event: signed in, disconnected, user "alice", kill
    // switch "never", with the members of `overrides` on top.
    void sendStatus(const QJsonObject &overrides = {});
    void sendEvent(const QJsonObject &event);
    // Waits until the client has handled every event sent before: a "pong"
    // behind them shows up in the client's status text once read.
    bool sync();

    // Loads a screen document inside a plain host window of the given size.
    QQuickWindow *loadScreen(const QString &document, int width = 400, int height = 1400);
    // Destroys and re-creates the loaded screen, as the main window does on
    // leaving a tab and coming back.
    void reloadScreen();
    QQuickWindow *loadPopup();
    // The real main window, left hidden; its tray popup is a child window.
    QQuickWindow *loadMain();

    [[nodiscard]] QQuickWindow *window() const { return m_window; }
    // Depth-first search of the visual tree, which also reaches delegates
    // and inline-component instances that QObject::findChild does not.
    [[nodiscard]] QQuickItem *item(const QString &objectName) const;
    [[nodiscard]] static QQuickItem *findItem(QQuickItem *root, const QString &objectName);
    // The segment of a segmented control whose entry carries this value.
    [[nodiscard]] static QQuickItem *segment(QQuickItem *control, const QString &value);

    void click(QQuickItem *target) const;

    // Names of the commands the client wrote since the last clear, without
    // the status polls and pings the client sends by itself.
    [[nodiscard]] QStringList commands() const;
    [[nodiscard]] QList<QJsonObject> commandObjects() const;
    // Round-trips a ping so that every command written before it has arrived.
    bool flushCommands();

private:
    QTemporaryDir m_dir;
    AppConfig m_config;
    std::unique_ptr<FakeService> m_service;
    std::unique_ptr<AppWiring> m_wiring;
    std::unique_ptr<QQmlApplicationEngine> m_engine;
    QPointer<QQuickWindow> m_window;
    bool m_valid = false;
    int m_syncCount = 0;
};
