#include "Tour.h"

#include "AppSettings.h"
#include "AppWiring.h"
#include "PipeClient.h"
#include "TrayManager.h"

#include <QNetworkReply>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QTest>
#include <QTextStream>
#include <QTimer>

namespace {
constexpr int pollMs = 50;

// Screens come and go through loaders, so walk the visual tree rather than
// the object tree.
QQuickItem *findItem(QQuickItem *root, const QString &objectName)
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
} // namespace

Tour::Tour(AppWiring &wiring, QQmlApplicationEngine &engine, const QDir &outDir, QObject *parent)
    : QObject(parent)
    , m_wiring(wiring)
    , m_engine(engine)
    , m_outDir(outDir)
{ }

void Tour::start()
{
    m_window = qobject_cast<QQuickWindow *>(m_engine.rootObjects().value(0));
    if (!m_window)
        return fail(QStringLiteral("the main document has no window"));
    step();
}

void Tour::fail(const QString &why)
{
    QTextStream(stderr) << "tour: " << why << Qt::endl;
    emit finished(1);
}

void Tour::waitFor(Condition condition, int timeoutMs, const QString &what)
{
    if (condition())
        return step();
    if (timeoutMs <= 0)
        return fail(QStringLiteral("timed out waiting for %1").arg(what));
    QTimer::singleShot(pollMs, this, [this, condition = std::move(condition), timeoutMs, what] {
        waitFor(condition, timeoutMs - pollMs, what);
    });
}

void Tour::settle(int ms)
{
    QTimer::singleShot(ms, this, &Tour::step);
}

void Tour::shoot(const QString &name, QQuickWindow *window)
{
    QQuickWindow *target = window ? window : m_window;
    const QString path = m_outDir.filePath(name + QStringLiteral(".png"));
    if (!target->grabWindow().save(path))
        return fail(QStringLiteral("cannot write %1").arg(path));
    ++m_shots;
    QTextStream(stdout) << path << Qt::endl;
    step();
}

QQuickWindow *Tour::popupWindow() const
{
    return m_window->findChild<QQuickWindow *>(QStringLiteral("trayPopup"));
}

void Tour::clickItem(const QString &objectName)
{
    QQuickItem *item = findItem(m_window->contentItem(), objectName);
    if (!item)
        return fail(QStringLiteral("no item named %1").arg(objectName));
    const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(m_window, Qt::LeftButton, {}, centre.toPoint());
}

// Stands in for the user pressing "Confirm" on the sign-in page.
void Tour::confirmSignIn(const QString &loginUrl)
{
    QNetworkReply *reply
        = m_network.post(QNetworkRequest(QUrl(loginUrl + QStringLiteral("/confirm"))), QByteArray());
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
}

void Tour::step()
{
    PipeClient *client = m_wiring.pipeClient();
    AppSettings *settings = m_wiring.appSettings();
    switch (m_step++) {
    case 0:
        return waitFor([client] { return client->status().startsWith(QLatin1String("ready")); }, 15000,
            QStringLiteral("the service"));
    case 1:
        return settle(800);
    case 2:
        if (client->authenticated()) {
            m_step = 5;
            return step();
        }
        return shoot(QStringLiteral("01-sign-in"));
    case 3:
        connect(
            client, &PipeClient::browserOpened, this, [this](const QString &url) { confirmSignIn(url); },
            Qt::SingleShotConnection);
        clickItem(QStringLiteral("signInButton"));
        return settle(600);
    case 4:
        return waitFor([client] { return client->authenticated(); }, 15000, QStringLiteral("sign-in"));
    case 5:
        return settle(1000);
    case 6:
        return shoot(QStringLiteral("02-home-disconnected"));
    case 7:
        clickItem(QStringLiteral("dial"));
        return waitFor([client] { return client->vpnState() == QLatin1String("connected"); }, 15000,
            QStringLiteral("the tunnel"));
    case 8:
        return waitFor([client] { return client->downSpeed() > 0; }, 15000, QStringLiteral("traffic"));
    case 9:
        return settle(1500);
    case 10:
        return shoot(QStringLiteral("03-home-connected"));
    case 11:
        clickItem(QStringLiteral("tab_stats"));
        return settle(900);
    case 12:
        return shoot(QStringLiteral("04-statistics"));
    case 13:
        clickItem(QStringLiteral("tab_settings"));
        return settle(900);
    case 14:
        return shoot(QStringLiteral("05-settings"));
    case 15: {
        const QRect screen = m_window->screen()->geometry();
        emit m_wiring.trayManager()->popupRequested(screen.right() - 40, screen.bottom() - 30);
        return waitFor([this] { return popupWindow() && popupWindow()->isVisible(); }, 5000,
            QStringLiteral("the tray popup"));
    }
    case 16:
        return settle(600);
    case 17:
        return shoot(QStringLiteral("06-tray-popup"), popupWindow());
    case 18:
        emit m_wiring.trayManager()->showRequested();
        settings->setDarkTheme(false);
        settings->setLanguage(QStringLiteral("ru"));
        clickItem(QStringLiteral("tab_main"));
        return settle(900);
    case 19:
        return shoot(QStringLiteral("07-home-light-russian"));
    case 20:
        clickItem(QStringLiteral("tab_stats"));
        return settle(900);
    case 21:
        return shoot(QStringLiteral("08-statistics-light-russian"));
    default:
        QTextStream(stderr) << "tour: " << m_shots << " screenshots in " << m_outDir.absolutePath()
                            << Qt::endl;
        emit finished(0);
    }
}
