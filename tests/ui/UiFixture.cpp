#include "UiFixture.h"

#include "AppConfig.h"
#include "AppWiring.h"
#include "FakeService.h"
#include "PipeClient.h"

#include <QDesktopServices>
#include <QFile>
#include <QFontDatabase>
#include <QJsonArray>
#include <QQmlContext>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QQuickItem *findItem(QQuickItem *root, const QString &name)
{
    if (!root)
        return nullptr;
    if (root->objectName() == name)
        return root;
    const auto children = root->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = findItem(child, name))
            return found;
    }
    return nullptr;
}

bool effectivelyVisible(const QQuickItem *item)
{
    return item && item->isVisible() && item->window() && item->window()->isVisible();
}

} // namespace

UiFixture::UiFixture()
{
    QStandardPaths::setTestModeEnabled(true);
    m_service = std::make_unique<FakeService>(m_dir.filePath(u"daemon.sock"_s));
    for (const QString &scheme : {u"http"_s, u"https"_s})
        QDesktopServices::setUrlHandler(scheme, this, "recordUrl");
}

UiFixture::~UiFixture()
{
    for (const QString &scheme : {u"http"_s, u"https"_s})
        QDesktopServices::unsetUrlHandler(scheme);
    if (m_window)
        m_window->hide();
    m_engine.reset();
    m_wiring.reset();
    m_service.reset();
}

bool UiFixture::start()
{
    static const bool fontsLoaded = [] {
        for (const char *face : {"Regular", "Medium", "Semibold", "Bold"})
            QFontDatabase::addApplicationFont(u":/fonts/SF-Pro-Text-"_s + QLatin1String(face) + u".otf"_s);
        return true;
    }();
    Q_UNUSED(fontsLoaded)

    QFile token(m_dir.filePath(u"pipe.token"_s));
    if (!token.open(QIODevice::WriteOnly) || token.write("test-token\n") < 0)
        return false;
    token.close();
    if (!m_service->listen())
        return false;

    AppConfig config;
    config.socketPath = m_service->socketPath();
    config.tokenPath = token.fileName();
    config.statsDbPath = m_dir.filePath(u"stats.db"_s);
    config.desktopDir = m_dir.filePath(u"desktop"_s);
    m_wiring = std::make_unique<AppWiring>(config);
    m_engine = std::make_unique<QQmlApplicationEngine>();
    m_wiring->publish(m_engine->rootContext());
    m_engine->load(QUrl(u"qrc:/qml/main.qml"_s));
    if (m_engine->rootObjects().isEmpty())
        return false;
    m_window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().constFirst());
    if (!m_window)
        return false;
    m_wiring->attachWindow(m_window, nullptr);
    QMetaObject::invokeMethod(m_window, "showAndRaise");
    if (!QTest::qWaitForWindowExposed(m_window))
        return false;

    if (!m_service->waitForClient() || !m_service->waitForReceived(1))
        return false;
    m_service->sendLine({{u"type"_s, u"ready"_s}, {u"version"_s, u"9.9.9"_s}});
    return m_service->waitForCommand(u"status"_s);
}

void UiFixture::sendStatus(const QString &state, const QJsonObject &extra)
{
    QJsonObject event {{u"type"_s, u"status"_s}, {u"status"_s, state}, {u"authenticated"_s, true},
        {u"username"_s, u"tester"_s}, {u"up"_s, 0}, {u"down"_s, 0}, {u"connected_since"_s, u""_s}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        event.insert(it.key(), it.value());
    m_service->sendLine(event);
}

bool UiFixture::setState(const QString &state, const QJsonObject &extra)
{
    sendStatus(state, extra);
    PipeClient *client = m_wiring->pipeClient();
    const bool auth = extra.value(u"authenticated"_s).toBool(true);
    return QTest::qWaitFor(
        [&] { return client->vpnState() == state && client->authenticated() == auth; }, 3000);
}

bool UiFixture::signIn()
{
    return setState(u"disconnected"_s);
}

bool UiFixture::signOut()
{
    return setState(u"disconnected"_s, {{u"authenticated"_s, false}});
}

QQuickItem *UiFixture::item(const QString &objectName) const
{
    return m_window ? findItem(m_window->contentItem(), objectName) : nullptr;
}

QQuickItem *UiFixture::waitForItem(const QString &objectName, int timeoutMs) const
{
    QQuickItem *found = nullptr;
    const bool shown = QTest::qWaitFor(
        [&] {
            found = item(objectName);
            return effectivelyVisible(found);
        },
        timeoutMs);
    return shown ? found : nullptr;
}

bool UiFixture::click(const QString &objectName)
{
    QQuickItem *target = waitForItem(objectName);
    if (!target)
        return false;
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(m_window, Qt::LeftButton, {}, centre.toPoint());
    return true;
}

QString UiFixture::text(const QString &objectName) const
{
    const QQuickItem *found = item(objectName);
    return found ? found->property("text").toString() : QString();
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

bool UiFixture::waitForCommand(const QString &name, int timeoutMs)
{
    return QTest::qWaitFor([&] { return !commands(name).isEmpty(); }, timeoutMs);
}

void UiFixture::clearCommands()
{
    m_service->clearReceived();
}

void UiFixture::recordUrl(const QUrl &url)
{
    m_openedUrls.append(url);
}
