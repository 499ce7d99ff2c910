#pragma once

#include <QDir>
#include <QNetworkAccessManager>
#include <QObject>
#include <QQmlApplicationEngine>

#include <functional>

class AppWiring;
class QQuickItem;
class QQuickWindow;

// Steps the real main window through sign-in, home (disconnected and
// connected), statistics, settings and the tray popup, saving one screenshot
// per step.
class Tour : public QObject
{
    Q_OBJECT
public:
    Tour(AppWiring &wiring, QQmlApplicationEngine &engine, const QDir &outDir, QObject *parent = nullptr);

    void start();

signals:
    void finished(int exitCode);

private:
    using Condition = std::function<bool()>;

    void step();
    void waitFor(Condition condition, int timeoutMs, const QString &what);
    void settle(int ms);
    void shoot(const QString &name, QQuickWindow *window = nullptr);
    void clickItem(const QString &objectName);
    QQuickWindow *popupWindow() const;
    void confirmSignIn(const QString &loginUrl);
    void fail(const QString &why);

    AppWiring &m_wiring;
    QQmlApplicationEngine &m_engine;
    QDir m_outDir;
    QQuickWindow *m_window = nullptr;
    QNetworkAccessManager m_network;
    int m_step = 0;
    int m_shots = 0;
};
