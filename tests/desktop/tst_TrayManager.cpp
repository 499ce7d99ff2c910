#include "TrayManager.h"

#include <QColor>
#include <QImage>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include <climits>

namespace {

const QColor Grey(0x99, 0xA0, 0xAC);
const QColor Green(0x34, 0xC9, 0x8E);
const QColor Amber(0xE8, 0xB3, 0x4B);
const QColor Red(0xE5, 0x54, 0x4B);

struct Message
{
    QString title;
    QString message;
    QSystemTrayIcon::MessageIcon icon;
    int msecs;
};

QSystemTrayIcon *trayIconOf(const TrayManager &manager)
{
    return manager.findChild<QSystemTrayIcon *>();
}

QImage iconImage(const TrayManager &manager)
{
    return trayIconOf(manager)->icon().pixmap(32, 32).toImage();
}

// The dot is inscribed in (19, 19, 11, 11); its centre pixel is fully covered.
QColor dotColour(const TrayManager &manager)
{
    return iconImage(manager).pixelColor(24, 24);
}

} // namespace

class TestTrayManager : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void startsGreyAndDisconnected();
    void stateShownInDotAndTooltip_data();
    void stateShownInDotAndTooltip();
    void versionInTooltip_data();
    void versionInTooltip();
    void versionChangedOnlyOnChange();
    void redrawsOnlyOnRealChange();
    void activation_data();
    void activation();
    void notifyShowsEveryCall();
    void requestSignalsCallableByName_data();
    void requestSignalsCallableByName();
};

void TestTrayManager::init()
{
    // Covers construction too: no tray host exists here, and that must stay quiet.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void TestTrayManager::startsGreyAndDisconnected()
{
    TrayManager manager;
    QSystemTrayIcon *tray = trayIconOf(manager);
    QVERIFY(tray);
    QCOMPARE(tray->toolTip(), QStringLiteral("VantrelVPN — disconnected"));
    QCOMPARE(manager.version(), QString());

    const QImage image = iconImage(manager);
    QCOMPARE(image.size(), QSize(32, 32));
    QCOMPARE(dotColour(manager), Grey);
    // The application icon is drawn under the dot (its shield is opaque in the
    // middle) and the corners stay transparent.
    QCOMPARE(image.pixelColor(16, 12).alpha(), 255);
    QVERIFY(image.pixelColor(16, 12) != Grey);
    QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    QCOMPARE(image.pixelColor(31, 31).alpha(), 0);
}

void TestTrayManager::stateShownInDotAndTooltip_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QColor>("colour");

    QTest::newRow("connected") << QStringLiteral("connected") << Green;
    QTest::newRow("connecting") << QStringLiteral("connecting") << Amber;
    QTest::newRow("reconnecting like connecting") << QStringLiteral("reconnecting") << Amber;
    QTest::newRow("failed") << QStringLiteral("failed") << Red;
    QTest::newRow("disconnected") << QStringLiteral("disconnected") << Grey;
    QTest::newRow("empty string") << QString() << Grey;
    QTest::newRow("unknown state") << QStringLiteral("paused") << Grey;
    QTest::newRow("case matters") << QStringLiteral("Connected") << Grey;
}

void TestTrayManager::stateShownInDotAndTooltip()
{
    QFETCH(QString, state);
    QFETCH(QColor, colour);

    TrayManager manager;
    // Start from a coloured dot so that a grey result means it was redrawn.
    manager.setVpnState(QStringLiteral("failed"));
    manager.setVpnState(state);

    QCOMPARE(dotColour(manager), colour);
    QCOMPARE(trayIconOf(manager)->toolTip(), QStringLiteral("VantrelVPN — ") + state);
}

void TestTrayManager::versionInTooltip_data()
{
    QTest::addColumn<QStringList>("versions");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("version") << QStringList {QStringLiteral("1.4.2")} << QStringLiteral("connected")
                             << QStringLiteral("VantrelVPN v1.4.2 — connected");
    QTest::newRow("version cleared") << QStringList {QStringLiteral("1.4.2"), QString()}
                                     << QStringLiteral("disconnected")
                                     << QStringLiteral("VantrelVPN — disconnected");
    QTest::newRow("version replaced")
        << QStringList {QStringLiteral("1.4.2"), QStringLiteral("1.5.0")} << QStringLiteral("failed")
        << QStringLiteral("VantrelVPN v1.5.0 — failed");
    QTest::newRow("placeholders shown as they are")
        << QStringList {QStringLiteral("%2")} << QStringLiteral("%1")
        << QStringLiteral("VantrelVPN v%2 — %1");
}

void TestTrayManager::versionInTooltip()
{
    QFETCH(QStringList, versions);
    QFETCH(QString, state);
    QFETCH(QString, toolTip);

    TrayManager manager;
    manager.setVpnState(state);
    for (const QString &version : versions)
        manager.setVersion(version);

    QCOMPARE(manager.version(), versions.constLast());
    QCOMPARE(trayIconOf(manager)->toolTip(), toolTip);
}

void TestTrayManager::versionChangedOnlyOnChange()
{
    TrayManager manager;
    QSignalSpy spy(&manager, &TrayManager::versionChanged);

    manager.setVersion(QString());
    QCOMPARE(spy.count(), 0);
    manager.setVersion(QStringLiteral("1.4.2"));
    QCOMPARE(spy.count(), 1);
    manager.setVersion(QStringLiteral("1.4.2"));
    QCOMPARE(spy.count(), 1);
    manager.setVersion(QString());
    QCOMPARE(spy.count(), 2);
    QCOMPARE(trayIconOf(manager)->toolTip(), QStringLiteral("VantrelVPN — disconnected"));
}

void TestTrayManager::redrawsOnlyOnRealChange()
{
    TrayManager manager;
    QSystemTrayIcon *tray = trayIconOf(manager);

    // Every drawing sets a new icon, and a new icon has a new cache key.
    const qint64 initial = tray->icon().cacheKey();
    manager.setVpnState(QStringLiteral("disconnected"));
    QCOMPARE(tray->icon().cacheKey(), initial);

    manager.setVpnState(QStringLiteral("connected"));
    const qint64 connected = tray->icon().cacheKey();
    QVERIFY(connected != initial);
    manager.setVpnState(QStringLiteral("connected"));
    QCOMPARE(tray->icon().cacheKey(), connected);

    manager.setVersion(QStringLiteral("1.4.2"));
    const qint64 versioned = tray->icon().cacheKey();
    QVERIFY(versioned != connected);
    manager.setVersion(QStringLiteral("1.4.2"));
    QCOMPARE(tray->icon().cacheKey(), versioned);
}

void TestTrayManager::activation_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<int>("toggles");
    QTest::addColumn<QList<int>>("anchor");

    const QRect icon(1880, 1048, 32, 32);
    const QList<int> none;
    const QList<int> cursor {640, 480};

    QTest::newRow("primary click toggles") << QSystemTrayIcon::Trigger << icon << 1 << none;
    QTest::newRow("context click at icon centre and top")
        << QSystemTrayIcon::Context << icon << 0 << QList<int> {1895, 1048};
    QTest::newRow("context click on a one-pixel icon")
        << QSystemTrayIcon::Context << QRect(5, 6, 1, 1) << 0 << QList<int> {5, 6};
    // Left -33, right -2: the centre -17.5 is truncated toward zero.
    QTest::newRow("context click left of the primary screen")
        << QSystemTrayIcon::Context << QRect(-33, -40, 32, 32) << 0 << QList<int> {-17, -40};
    QTest::newRow("context click at the coordinate limit")
        << QSystemTrayIcon::Context << QRect(QPoint(INT_MAX - 10, 0), QPoint(INT_MAX, 31)) << 0
        << QList<int> {INT_MAX - 5, 0};
    QTest::newRow("context click without geometry uses the cursor")
        << QSystemTrayIcon::Context << QRect() << 0 << cursor;
    QTest::newRow("context click with inverted geometry uses the cursor")
        << QSystemTrayIcon::Context << QRect(QPoint(40, 10), QPoint(20, 30)) << 0 << cursor;
    QTest::newRow("double click") << QSystemTrayIcon::DoubleClick << icon << 0 << none;
    QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick << icon << 0 << none;
    QTest::newRow("unknown reason") << QSystemTrayIcon::Unknown << icon << 0 << none;
}

void TestTrayManager::activation()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QFETCH(QRect, geometry);
    QFETCH(int, toggles);
    QFETCH(QList<int>, anchor);

    TrayManager::Environment environment;
    environment.iconGeometry = [geometry] { return geometry; };
    environment.cursorPos = [] { return QPoint(640, 480); };
    TrayManager manager(environment);
    QSignalSpy toggleSpy(&manager, &TrayManager::toggleWindowRequested);
    QSignalSpy popupSpy(&manager, &TrayManager::popupRequested);

    emit trayIconOf(manager)->activated(reason);

    QCOMPARE(toggleSpy.count(), toggles);
    if (anchor.isEmpty()) {
        QCOMPARE(popupSpy.count(), 0);
    } else {
        QCOMPARE(popupSpy.count(), 1);
        QCOMPARE(popupSpy.at(0).at(0).toInt(), anchor.at(0));
        QCOMPARE(popupSpy.at(0).at(1).toInt(), anchor.at(1));
    }
}

void TestTrayManager::notifyShowsEveryCall()
{
    QList<Message> shown;
    TrayManager::Environment environment;
    environment.showMessage = [&shown](const QString &title, const QString &message,
                                  QSystemTrayIcon::MessageIcon icon, int msecs) {
        shown.append({title, message, icon, msecs});
    };
    TrayManager manager(environment);

    manager.notify(QStringLiteral("VantrelVPN"), QStringLiteral("Connected"));
    manager.notify(QStringLiteral("VantrelVPN"), QStringLiteral("Connected"));
    manager.notify(QStringLiteral("Title"), QString());

    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown.at(1).title, QStringLiteral("VantrelVPN"));
    QCOMPARE(shown.at(1).message, QStringLiteral("Connected"));
    QCOMPARE(shown.at(2).title, QStringLiteral("Title"));
    QCOMPARE(shown.at(2).message, QString());
    for (const Message &message : shown) {
        QCOMPARE(message.icon, QSystemTrayIcon::Information);
        QCOMPARE(message.msecs, 4000);
    }

    // The real tray takes the message quietly even with no tray to show it in.
    TrayManager real;
    real.notify(QStringLiteral("VantrelVPN"), QStringLiteral("Connected"));
}

void TestTrayManager::requestSignalsCallableByName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("quit") << QByteArray("quitRequested");
    QTest::newRow("show") << QByteArray("showRequested");
    QTest::newRow("connect") << QByteArray("connectRequested");
    QTest::newRow("disconnect") << QByteArray("disconnectRequested");
}

void TestTrayManager::requestSignalsCallableByName()
{
    QFETCH(QByteArray, name);

    // QML raises these through the meta-object system, by name.
    TrayManager manager;
    const int index = manager.metaObject()->indexOfSignal(name + "()");
    QVERIFY(index >= 0);
    QSignalSpy spy(&manager, manager.metaObject()->method(index));
    QVERIFY(QMetaObject::invokeMethod(&manager, name.constData()));
    QCOMPARE(spy.count(), 1);
}

QTEST_MAIN(TestTrayManager)
#include "tst_TrayManager.moc"
