#include "UiFixture.h"

#include "AppSettings.h"
#include "AppWiring.h"
#include "FakeService.h"
#include "PipeClient.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QJSValue>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
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
    m_config.desktopDir = m_dir.filePath(u"Desktop"_s);
    m_config.clock = [] { return now(); };
    QDir(m_dir.path()).mkpath(u"Desktop"_s);
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
    m_service.reset();
}

void UiFixture::seedDay(int daysFromToday, qint64 up, qint64 down, int protectedSeconds, double speedSum,
    int speedCount, qint64 pingSum, int pingCount)
{
    const QString connection = u"ui-seed"_s;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection);
        db.setDatabaseName(m_config.statsDbPath);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(
            query.exec(u"CREATE TABLE IF NOT EXISTS days(date TEXT PRIMARY KEY, up INTEGER NOT NULL "
                       "DEFAULT 0, down INTEGER NOT NULL DEFAULT 0, protected_seconds INTEGER NOT NULL "
                       "DEFAULT 0, speed_sum REAL NOT NULL DEFAULT 0, speed_n INTEGER NOT NULL DEFAULT 0, "
                       "ping_sum INTEGER NOT NULL DEFAULT 0, ping_n INTEGER NOT NULL DEFAULT 0)"_s));
        QVERIFY(query.prepare(u"INSERT OR REPLACE INTO days VALUES (?, ?, ?, ?, ?, ?, ?, ?)"_s));
        for (const QVariant &value : {QVariant(now().date().addDays(daysFromToday).toString(Qt::ISODate)),
                 QVariant(up), QVariant(down), QVariant(protectedSeconds), QVariant(speedSum),
                 QVariant(speedCount), QVariant(pingSum), QVariant(pingCount)})
            query.addBindValue(value);
        QVERIFY(query.exec());
    }
    QSqlDatabase::removeDatabase(connection);
}

bool UiFixture::start(bool mainWindow)
{
    static const bool fontsLoaded = [] {
        for (const char *face : {"Regular", "Medium", "Semibold", "Bold"})
            QFontDatabase::addApplicationFont(u":/fonts/SF-Pro-Text-%1.otf"_s.arg(QLatin1String(face)));
        return true;
    }();
    Q_UNUSED(fontsLoaded)

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
    if (mainWindow) {
        m_service->sendLine({{u"type"_s, u"ready"_s}, {u"version"_s, u"9.9.9"_s}});
        if (!m_service->waitForCommand(u"status"_s))
            return false;
    }
    m_service->clearReceived();
    return true;
}

QQuickWindow *UiFixture::load(const QUrl &url, const QByteArray &data)
{
    if (data.isEmpty())
        m_engine->load(url);
    else
        m_engine->loadData(data, url);
    if (m_engine->rootObjects().isEmpty())
        return nullptr;
    m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().constLast());
    return m_window;
}

QQuickWindow *UiFixture::loadScreen(const QString &document, QSize size)
{
    const QString host = uR"(import QtQuick
Window {
    function reload() { loader.active = false; loader.active = true }
    color: appSettings.bg
    Loader { id: loader; anchors.fill: parent; source: "qrc:/qml/%1.qml" }
})"_s.arg(document);
    if (!load(QUrl(u"qrc:/uitest/Host.qml"_s), host.toUtf8()))
        return nullptr;
    m_window->resize(size);
    m_window->show();
    return QTest::qWaitForWindowExposed(m_window) ? m_window.data() : nullptr;
}

void UiFixture::reloadScreen()
{
    QMetaObject::invokeMethod(m_window, "reload");
}

QQuickWindow *UiFixture::loadPopup()
{
    return load(QUrl(u"qrc:/qml/TrayPopup.qml"_s));
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

bool UiFixture::signOut()
{
    return setState(u"disconnected"_s, {{u"authenticated"_s, false}});
}

void UiFixture::sendEvent(const QJsonObject &event)
{
    m_service->sendLine(event);
}

bool UiFixture::sync()
{
    // A "pong" shows in the client's status text once read, and events are
    // read in order.
    const QString marker = u"sync-%1"_s.arg(++m_syncCount);
    m_service->sendLine({{u"type"_s, u"pong"_s}, {u"version"_s, marker}});
    PipeClient *client = m_wiring->pipeClient();
    return QTest::qWaitFor([&] { return client->status() == u"pong v"_s + marker; });
}

QQuickItem *UiFixture::item(const QString &objectName) const
{
    return m_window ? findItem(m_window->contentItem(), objectName) : nullptr;
}

QQuickItem *UiFixture::findItem(QQuickItem *root, const QString &objectName)
{
    if (!root || root->objectName() == objectName)
        return root;
    const auto children = root->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = findItem(child, objectName))
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
        if (entry.isValid() && entry.toMap().value(u"value"_s).toString() == value)
            return child;
        if (QQuickItem *found = segment(child, value))
            return found;
    }
    return nullptr;
}

QQuickItem *UiFixture::waitForItem(const QString &objectName) const
{
    QQuickItem *found = nullptr;
    const bool shown = QTest::qWaitFor([&] {
        found = item(objectName);
        return found && found->isVisible() && m_window->isVisible();
    });
    return shown ? found : nullptr;
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

QStringList UiFixture::commands() const
{
    QStringList names;
    const auto received = m_service->received();
    for (const QJsonObject &message : received) {
        const QString name = message.value(u"cmd"_s).toString();
        if (name != "status"_L1 && name != "ping"_L1)
            names.append(name);
    }
    return names;
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

bool UiFixture::waitForCommand(const QString &name)
{
    return QTest::qWaitFor([&] { return !commands(name).isEmpty(); });
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

void UiFixture::recordUrl(const QUrl &url)
{
    m_openedUrls.append(url);
}
