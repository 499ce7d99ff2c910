#include "UiFixture.h"

#include "AppSettings.h"
#include "AppWiring.h"
#include "FakeService.h"
#include "PipeClient.h"

#include <QDesktopServices>
#include <QFile>
#include <QJSValue>
#include <QQmlContext>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

QDateTime UiFixture::now()
{
    return QDateTime(QDate(2026, 3, 4), QTime(15, 0));
}

UiFixture::UiFixture()
{
    QStandardPaths::setTestModeEnabled(true);
    m_config.socketPath = m_dir.filePath(u"daemon.sock"_s);
    m_config.tokenPath = m_dir.filePath(u"pipe.token"_s);
    m_config.statsDbPath = m_dir.filePath(u"stats.db"_s);
    m_config.desktopDir = m_dir.path();
    m_config.autostartDir = m_dir.filePath(u"autostart"_s);
    m_config.tray.systemTrayAvailable = [this] { return m_trayAvailable; };
    m_config.clock = [] { return now(); };
    m_service = std::make_unique<FakeService>(m_config.socketPath);
    for (const QString &scheme : {u"http"_s, u"https"_s})
        QDesktopServices::setUrlHandler(scheme, this, "recordUrl");
}

UiFixture::~UiFixture()
{
    for (const QString &scheme : {u"http"_s, u"https"_s})
        QDesktopServices::unsetUrlHandler(scheme);
    // The documents bind to the service objects: they go first.
    delete m_window.data();
    m_engine.reset();
    m_wiring.reset();
}

bool UiFixture::start(bool mainWindow)
{
    QFile token(m_config.tokenPath);
    if (!token.open(QIODevice::WriteOnly) || token.write("test-token\n") < 0 || !m_service->listen())
        return false;
    token.close();
    m_wiring = std::make_unique<AppWiring>(m_config);
    // Preferences outlive the objects within one test process.
    AppSettings *settings = m_wiring->appSettings();
    settings->setLanguage(u"en"_s);
    settings->setDarkTheme(false);
    settings->setTransport(u"tls"_s);
    settings->setWhitelist(false);
    settings->setGames(false);
    settings->setAutostart(false);
    m_engine = std::make_unique<QQmlApplicationEngine>();
    m_wiring->publish(m_engine->rootContext());

    if (mainWindow) {
        if (!load(QUrl(u"qrc:/qml/main.qml"_s)))
            return false;
        m_wiring->attachWindow(m_window, nullptr);
        QMetaObject::invokeMethod(m_window, "showAndRaise");
        if (!QTest::qWaitForWindowExposed(m_window))
            return false;
    } else {
        m_wiring->pipeClient()->connectToPipe();
    }
    if (!m_service->waitForClient() || !m_service->waitForReceived(1))
        return false;
    m_service->clearReceived();
    return true;
}

QQuickWindow *UiFixture::load(const QUrl &url, const QByteArray &data)
{
    if (data.isEmpty())
        m_engine->load(url);
    else
        m_engine->loadData(data, url);
    const auto roots = m_engine->rootObjects();
    m_window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.constLast());
    return m_window;
}

QQuickWindow *UiFixture::loadScreen(const QString &document)
{
    const QString host = uR"(import QtQuick
Window {
    function reload() { loader.active = false; loader.active = true }
    width: 400; height: 1400; visible: true; color: appSettings.bg
    Loader { id: loader; anchors.fill: parent; source: "qrc:/qml/%1.qml" }
})"_s.arg(document);
    return load(QUrl(u"qrc:/uitest/Host.qml"_s), host.toUtf8()) && QTest::qWaitForWindowExposed(m_window)
        ? m_window.data()
        : nullptr;
}

QQuickWindow *UiFixture::loadPopup()
{
    return load(QUrl(u"qrc:/qml/TrayPopup.qml"_s));
}

void UiFixture::reloadScreen()
{
    QMetaObject::invokeMethod(m_window, "reload");
}

void UiFixture::seedDay(int daysFromToday, qint64 up, qint64 down, int protectedSeconds, double speedSum,
    int speedCount, qint64 pingSum, int pingCount)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"ui-seed"_s);
        db.setDatabaseName(m_config.statsDbPath);
        QSqlQuery query(db);
        QVERIFY(db.open() && query.prepare(u"INSERT OR REPLACE INTO days VALUES (?, ?, ?, ?, ?, ?, ?, ?)"_s));
        for (const QVariant &value : {QVariant(now().date().addDays(daysFromToday).toString(Qt::ISODate)),
                 QVariant(up), QVariant(down), QVariant(protectedSeconds), QVariant(speedSum),
                 QVariant(speedCount), QVariant(pingSum), QVariant(pingCount)})
            query.addBindValue(value);
        QVERIFY(query.exec());
    }
    QSqlDatabase::removeDatabase(u"ui-seed"_s);
}

void UiFixture::sendStatus(const QJsonObject &overrides)
{
    QJsonObject event {{u"type"_s, u"status"_s}, {u"status"_s, u"disconnected"_s}, {u"authenticated"_s, true},
        {u"username"_s, u"alice"_s}, {u"kill_switch_mode"_s, u"never"_s}, {u"up"_s, 0}, {u"down"_s, 0},
        {u"connected_since"_s, u""_s}};
    for (auto it = overrides.begin(); it != overrides.end(); ++it)
        event.insert(it.key(), it.value());
    m_service->sendLine(event);
}

bool UiFixture::setState(const QString &state, const QJsonObject &extra)
{
    QJsonObject overrides = extra;
    overrides.insert(u"status"_s, state);
    sendStatus(overrides);
    return sync() && m_wiring->pipeClient()->vpnState() == state;
}

void UiFixture::sendEvent(const QJsonObject &event)
{
    m_service->sendLine(event);
}

bool UiFixture::sync()
{
    // Events are read in order, and a "pong" shows in the client's status text.
    const QString marker = u"sync-%1"_s.arg(++m_syncCount);
    m_service->sendLine({{u"type"_s, u"pong"_s}, {u"version"_s, marker}});
    return QTest::qWaitFor([&] { return m_wiring->pipeClient()->status() == u"pong v"_s + marker; });
}

QQuickItem *UiFixture::item(const QString &objectName, QQuickItem *root) const
{
    if (!root)
        root = m_window ? m_window->contentItem() : nullptr;
    if (!root || root->objectName() == objectName)
        return root;
    const auto children = root->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = item(objectName, child))
            return found;
    }
    return nullptr;
}

QQuickItem *UiFixture::segment(QQuickItem *control, const QString &value)
{
    const auto children = control ? control->childItems() : QList<QQuickItem *>();
    for (QQuickItem *child : children) {
        QVariant entry = child->property("modelData");
        if (entry.metaType() == QMetaType::fromType<QJSValue>())
            entry = entry.value<QJSValue>().toVariant();
        if (entry.toMap().value(u"value"_s).toString() == value)
            return child;
        if (QQuickItem *found = segment(child, value))
            return found;
    }
    return nullptr;
}

QQuickItem *UiFixture::waitForItem(const QString &objectName) const
{
    QQuickItem *found = nullptr;
    return QTest::qWaitFor(
               [&] { return (found = item(objectName)) && found->isVisible() && m_window->isVisible(); })
        ? found
        : nullptr;
}

bool UiFixture::click(QQuickItem *target) const
{
    if (!target || !target->isVisible())
        return false;
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(target->window(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    return true;
}

QString UiFixture::text(const QString &objectName, const char *property) const
{
    const QQuickItem *found = item(objectName);
    return found ? found->property(property).toString() : u"<missing>"_s;
}

QList<QJsonObject> UiFixture::commands(const QString &name) const
{
    QList<QJsonObject> result;
    const auto received = m_service->received();
    for (const QJsonObject &message : received) {
        if (message.value(u"cmd"_s).toString() == name)
            result.append(message);
    }
    return result;
}

QStringList UiFixture::commands() const
{
    QStringList names;
    const auto received = m_service->received();
    for (const QJsonObject &message : received)
        names.append(message.value(u"cmd"_s).toString());
    names.removeAll(u"status"_s);
    names.removeAll(u"ping"_s);
    return names;
}

bool UiFixture::flushCommands()
{
    m_wiring->pipeClient()->sendPing();
    return m_service->waitForCommand(u"ping"_s);
}

void UiFixture::clearCommands()
{
    m_service->clearReceived();
}
