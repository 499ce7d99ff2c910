#include "Ui2Fixture.h"

#include "AppSettings.h"
#include "AppWiring.h"
#include "FakeService.h"
#include "PipeClient.h"

#include <QDir>
#include <QFile>
#include <QJSValue>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Commands the client sends on its own schedule, not in answer to a click.
bool isBackgroundCommand(const QString &name)
{
    return name == "status"_L1 || name == "ping"_L1;
}

} // namespace

QDateTime Ui2Fixture::now()
{
    return QDateTime(QDate(2026, 3, 4), QTime(15, 0));
}

Ui2Fixture::Ui2Fixture()
{
    if (!m_dir.isValid())
        return;
    m_config.socketPath = m_dir.filePath(u"daemon.sock"_s);
    m_config.tokenPath = m_dir.filePath(u"pipe.token"_s);
    m_config.statsDbPath = m_dir.filePath(u"stats.db"_s);
    m_config.desktopDir = m_dir.filePath(u"Desktop"_s);
    m_config.clock = [] { return now(); };
    QDir(m_dir.path()).mkpath(u"Desktop"_s);

    QFile token(m_config.tokenPath);
    if (!token.open(QIODevice::WriteOnly) || token.write("test-token\n") < 0)
        return;
    token.close();

    m_service = std::make_unique<FakeService>(m_config.socketPath);
    m_valid = m_service->listen();
}

Ui2Fixture::~Ui2Fixture()
{
    // The documents bind to the service objects: they go first.
    delete m_window.data();
    m_engine.reset();
    m_wiring.reset();
    m_service.reset();
}

void Ui2Fixture::seedDay(int daysFromToday, qint64 up, qint64 down, int protectedSeconds, double speedSum,
    int speedCount, qint64 pingSum, int pingCount)
{
    const QString connection = u"ui2-seed"_s;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, connection);
        db.setDatabaseName(m_config.statsDbPath);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(
            query.exec(u"CREATE TABLE IF NOT EXISTS days( date TEXT PRIMARY KEY, up INTEGER NOT NULL "
                       "DEFAULT 0, down INTEGER NOT NULL DEFAULT 0, protected_seconds INTEGER NOT NULL "
                       "DEFAULT 0, speed_sum REAL NOT NULL DEFAULT 0, speed_n INTEGER NOT NULL DEFAULT 0, "
                       "ping_sum INTEGER NOT NULL DEFAULT 0, ping_n INTEGER NOT NULL DEFAULT 0)"_s));
        QVERIFY(query.prepare(u"INSERT OR REPLACE INTO days VALUES (?, ?, ?, ?, ?, ?, ?, ?)"_s));
        query.addBindValue(now().date().addDays(daysFromToday).toString(Qt::ISODate));
        query.addBindValue(up);
        query.addBindValue(down);
        query.addBindValue(protectedSeconds);
        query.addBindValue(speedSum);
        query.addBindValue(speedCount);
        query.addBindValue(pingSum);
        query.addBindValue(pingCount);
        QVERIFY(query.exec());
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

bool Ui2Fixture::start()
{
    if (!m_valid)
        return false;
    m_wiring = std::make_unique<AppWiring>(m_config);

    // Preferences persist between tests of one process; each test starts
    // from the same ones.
    AppSettings *settings = m_wiring->appSettings();
    settings->setLanguage(u"en"_s);
    settings->setDarkTheme(false);
    settings->setTransport(u"tls"_s);
    settings->setWhitelist(false);
    settings->setGames(false);
    settings->setAutostart(false);

    m_engine = std::make_unique<QQmlApplicationEngine>();
    m_wiring->publish(m_engine->rootContext());

    m_wiring->pipeClient()->connectToPipe();
    if (!m_service->waitForClient() || !m_service->waitForReceived(1))
        return false;
    m_service->clearReceived();
    return true;
}

void Ui2Fixture::sendStatus(const QJsonObject &overrides)
{
    QJsonObject event {
        {u"type"_s, u"status"_s},
        {u"authenticated"_s, true},
        {u"status"_s, u"disconnected"_s},
        {u"username"_s, u"alice"_s},
        {u"kill_switch_mode"_s, u"never"_s},
    };
    for (auto it = overrides.begin(); it != overrides.end(); ++it)
        event.insert(it.key(), it.value());
    m_service->sendLine(event);
}

void Ui2Fixture::sendEvent(const QJsonObject &event)
{
    m_service->sendLine(event);
}

bool Ui2Fixture::sync()
{
    const QString marker = u"sync-%1"_s.arg(++m_syncCount);
    m_service->sendLine({{u"type"_s, u"pong"_s}, {u"version"_s, marker}});
    PipeClient *client = m_wiring->pipeClient();
    return QTest::qWaitFor([&] { return client->status() == u"pong v"_s + marker; });
}

QQuickWindow *Ui2Fixture::loadScreen(const QString &document, int width, int height)
{
    const QByteArray host = "import QtQuick\n"
                            "Window {\n"
                            "    id: host\n"
                            "    function reload() { loader.active = false; loader.active = true }\n"
                            "    color: appSettings.bg\n"
                            "    Loader {\n"
                            "        id: loader\n"
                            "        objectName: \"screenLoader\"\n"
                            "        anchors.fill: parent\n"
                            "        source: \"qrc:/qml/"
        + document.toUtf8()
        + ".qml\"\n"
          "    }\n"
          "}\n";
    m_engine->loadData(host, QUrl(u"qrc:/ui2/Host.qml"_s));
    if (m_engine->rootObjects().isEmpty())
        return nullptr;
    m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().constLast());
    if (!m_window)
        return nullptr;
    m_window->resize(width, height);
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window))
        return nullptr;
    return m_window;
}

void Ui2Fixture::reloadScreen()
{
    QMetaObject::invokeMethod(m_window, "reload");
}

QQuickWindow *Ui2Fixture::loadPopup()
{
    m_engine->load(QUrl(u"qrc:/qml/TrayPopup.qml"_s));
    if (m_engine->rootObjects().isEmpty())
        return nullptr;
    m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().constLast());
    return m_window;
}

QQuickWindow *Ui2Fixture::loadMain()
{
    m_engine->load(QUrl(u"qrc:/qml/main.qml"_s));
    if (m_engine->rootObjects().isEmpty())
        return nullptr;
    m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().constLast());
    return m_window;
}

QQuickItem *Ui2Fixture::item(const QString &objectName) const
{
    return m_window ? findItem(m_window->contentItem(), objectName) : nullptr;
}

QQuickItem *Ui2Fixture::findItem(QQuickItem *root, const QString &objectName)
{
    if (!root)
        return nullptr;
    if (root->objectName() == objectName)
        return root;
    const auto children = root->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = findItem(child, objectName))
            return found;
    }
    return nullptr;
}

QQuickItem *Ui2Fixture::segment(QQuickItem *control, const QString &value)
{
    if (!control)
        return nullptr;
    const auto children = control->childItems();
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

void Ui2Fixture::click(QQuickItem *target) const
{
    QVERIFY(target);
    QVERIFY(target->isVisible());
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(target->window(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
}

QList<QJsonObject> Ui2Fixture::commandObjects() const
{
    QList<QJsonObject> result;
    const auto received = m_service->received();
    for (const QJsonObject &object : received) {
        if (!isBackgroundCommand(object.value(u"cmd"_s).toString()))
            result.append(object);
    }
    return result;
}

QStringList Ui2Fixture::commands() const
{
    QStringList names;
    const auto objects = commandObjects();
    for (const QJsonObject &object : objects)
        names.append(object.value(u"cmd"_s).toString());
    return names;
}

bool Ui2Fixture::flushCommands()
{
    m_wiring->pipeClient()->sendPing();
    return m_service->waitForCommand(u"ping"_s);
}
