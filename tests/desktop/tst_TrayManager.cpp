#include "TrayManager.h"

#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <climits>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QColor Grey(0x99, 0xA0, 0xAC);
const QColor Amber(0xE8, 0xB3, 0x4B);

QSystemTrayIcon *trayOf(const TrayManager &manager)
{
    return manager.findChild<QSystemTrayIcon *>();
}

QImage imageOf(const TrayManager &manager, int size)
{
    return trayOf(manager)->icon().pixmap(size, size).toImage();
}

} // namespace

class TestTrayManager : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void stateInDotAndTooltip_data();
    void stateInDotAndTooltip();
    void versionAndRedrawOnlyOnChange();
    void activation_data();
    void activation();
    void menuEntries();
    void notifyShowsEveryCall();
};

void TestTrayManager::init()
{
    // Construction included: there is no tray host here, and that must stay quiet.
    QTest::failOnWarning(QRegularExpression(u".*"_s));
}

void TestTrayManager::stateInDotAndTooltip_data()
{
    QTest::addColumn<QString>("state"); // null: as constructed
    QTest::addColumn<QColor>("colour");

    QTest::newRow("initial") << QString() << Grey;
    QTest::newRow("connected") << u"connected"_s << QColor(0x34, 0xC9, 0x8E);
    QTest::newRow("connecting") << u"connecting"_s << Amber;
    QTest::newRow("reconnecting") << u"reconnecting"_s << Amber;
    QTest::newRow("failed") << u"failed"_s << QColor(0xE5, 0x54, 0x4B);
    QTest::newRow("disconnected") << u"disconnected"_s << Grey;
    QTest::newRow("empty") << u""_s << Grey;
    QTest::newRow("unknown") << u"Connected"_s << Grey;
}

void TestTrayManager::stateInDotAndTooltip()
{
    QFETCH(QString, state);
    QFETCH(QColor, colour);

    TrayManager manager;
    if (!state.isNull()) {
        manager.setVpnState(u"failed"_s); // so that grey proves a redraw
        manager.setVpnState(state);
    }

    // The designed 32 px drawing and the one at twice the size, for 2x panels.
    QCOMPARE(trayOf(manager)->icon().availableSizes(), (QList<QSize> {{32, 32}, {64, 64}}));
    for (const int scale : {1, 2}) {
        const QImage image = imageOf(manager, 32 * scale);
        QCOMPARE(image.size(), QSize(32, 32) * scale);
        // Centre and left part of the dot, which keeps to twice the geometry.
        QCOMPARE(image.pixelColor(24 * scale, 24 * scale), colour);
        QCOMPARE(image.pixelColor(20 * scale, 24 * scale), colour);
        QCOMPARE(image.pixelColor(16 * scale, 12 * scale).alpha(), 255); // the shield
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    }
    QCOMPARE(trayOf(manager)->toolTip(), u"VantrelVPN — "_s + (state.isNull() ? u"disconnected"_s : state));
}

void TestTrayManager::versionAndRedrawOnlyOnChange()
{
    TrayManager manager;
    QSystemTrayIcon *tray = trayOf(manager);
    QSignalSpy spy(&manager, &TrayManager::versionChanged);
    // Every drawing sets a new icon, and every new icon has a new cache key.
    qint64 drawn = tray->icon().cacheKey();
    const auto redrawn = [&] {
        const qint64 key = std::exchange(drawn, tray->icon().cacheKey());
        return key != drawn;
    };

    manager.setVpnState(u"disconnected"_s);
    QVERIFY(!redrawn());
    manager.setVersion(QString());
    QCOMPARE(spy.count(), 0);

    manager.setVersion(u"%2"_s); // placeholder-like text stays as it is
    QCOMPARE(tray->toolTip(), u"VantrelVPN v%2 — disconnected"_s);
    QCOMPARE(manager.version(), u"%2"_s);
    QCOMPARE(spy.count(), 1);
    QVERIFY(redrawn());

    manager.setVersion(u"1.4.2"_s);
    manager.setVersion(u"1.4.2"_s);
    QCOMPARE(spy.count(), 2);
    manager.setVpnState(u"connecting"_s);
    QVERIFY(redrawn());
    manager.setVpnState(u"connecting"_s);
    QVERIFY(!redrawn());
    QCOMPARE(tray->toolTip(), u"VantrelVPN v1.4.2 — connecting"_s);

    manager.setVersion(QString());
    QCOMPARE(spy.count(), 3);
    QCOMPARE(tray->toolTip(), u"VantrelVPN — connecting"_s);
}

void TestTrayManager::activation_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<int>("toggles");
    QTest::addColumn<QList<int>>("anchor");
    QTest::addColumn<bool>("menuShown");

    const QRect icon(1880, 1048, 32, 32);
    const QList<int> none;
    const QList<int> cursor {640, 480};

    QTest::newRow("primary click: icon centre and top")
        << QSystemTrayIcon::Trigger << icon << 0 << QList<int> {1895, 1048} << false;
    // Left -33, right -2: the centre -17.5 is truncated toward zero.
    QTest::newRow("primary click: left of the primary screen")
        << QSystemTrayIcon::Trigger << QRect(-33, -40, 32, 32) << 0 << QList<int> {-17, -40} << false;
    QTest::newRow("primary click: coordinate limit")
        << QSystemTrayIcon::Trigger << QRect(QPoint(INT_MAX - 10, 0), QPoint(INT_MAX, 31)) << 0
        << QList<int> {INT_MAX - 5, 0} << false;
    QTest::newRow("primary click: no geometry")
        << QSystemTrayIcon::Trigger << QRect() << 0 << cursor << false;
    QTest::newRow("primary click: inverted geometry")
        << QSystemTrayIcon::Trigger << QRect(QPoint(40, 10), QPoint(20, 30)) << 0 << cursor << false;
    // A panel that shows no menu sends the secondary click.
    QTest::newRow("context") << QSystemTrayIcon::Context << icon << 0 << QList<int> {1895, 1048} << false;
    // Under XEmbed Qt shows the menu itself before it reports the click.
    QTest::newRow("context while Qt shows the menu") << QSystemTrayIcon::Context << icon << 0 << none << true;
    QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick << icon << 1 << none << false;
    QTest::newRow("double click does nothing") << QSystemTrayIcon::DoubleClick << icon << 0 << none << false;
}

void TestTrayManager::activation()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QFETCH(QRect, geometry);
    QFETCH(int, toggles);
    QFETCH(QList<int>, anchor);
    QFETCH(bool, menuShown);

    TrayManager::Environment environment;
    environment.iconGeometry = [geometry] { return geometry; };
    environment.cursorPos = [] { return QPoint(640, 480); };
    TrayManager manager(environment);
    QSignalSpy toggleSpy(&manager, &TrayManager::toggleWindowRequested);
    QSignalSpy popupSpy(&manager, &TrayManager::popupRequested);
    if (menuShown) {
        // Unheard: the offscreen platform's warnings that it can neither raise nor grab.
        const QtMessageHandler handler
            = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
        trayOf(manager)->contextMenu()->popup(QPoint(100, 100));
        qInstallMessageHandler(handler);
    }

    emit trayOf(manager)->activated(reason);

    QCOMPARE(toggleSpy.count(), toggles);
    QCOMPARE(popupSpy.count(), anchor.isEmpty() ? 0 : 1);
    if (!anchor.isEmpty())
        QCOMPARE(popupSpy.at(0), (QVariantList {anchor.at(0), anchor.at(1)}));
}

void TestTrayManager::menuEntries()
{
    TrayManager manager;
    QSignalSpy statusSpy(&manager, &TrayManager::statusTextChanged);
    QSignalSpy actionSpy(&manager, &TrayManager::mainActionChanged);
    QSignalSpy mainSpy(&manager, &TrayManager::mainActionRequested);
    QSignalSpy showSpy(&manager, &TrayManager::showRequested);
    QSignalSpy quitSpy(&manager, &TrayManager::quitRequested);
    const QList<QAction *> actions = trayOf(manager)->contextMenu()->actions();
    QCOMPARE(actions.size(), 4);
    const auto entries = [&] {
        QStringList shown;
        for (const QAction *action : actions)
            shown << (action->isEnabled() ? u'+' : u'-') + action->text();
        return shown.join(u'|');
    };

    manager.setStatusText(u"Protected"_s);
    manager.setStatusText(u"Protected"_s);
    manager.setMainAction(u"Disconnect"_s, true);
    manager.setMainAction(u"Disconnect"_s, true);
    manager.setMenuTexts(u"Open"_s, u"Quit"_s);
    QCOMPARE(entries(), u"-Protected|+Disconnect|+Open|+Quit"_s);
    QCOMPARE(statusSpy.count(), 1);
    QCOMPARE(actionSpy.count(), 1);
    for (QAction *action : actions)
        action->trigger();
    QCOMPARE(
        (QList<qsizetype> {mainSpy.count(), showSpy.count(), quitSpy.count()}), (QList<qsizetype> {1, 1, 1}));

    // The service's note stands in for the state while it is set; a disabled action sends nothing.
    manager.setServiceNote(u"service not running"_s);
    manager.setMainAction(u"Disconnect"_s, false);
    QCOMPARE(entries(), u"-service not running|-Disconnect|+Open|+Quit"_s);
    QCOMPARE(manager.statusText(), u"Protected"_s);
    actions.at(1)->trigger();
    QCOMPARE(mainSpy.count(), 1);
    manager.setServiceNote(QString());
    QCOMPARE(entries().section(u'|', 0, 0), u"-Protected"_s);
}

void TestTrayManager::notifyShowsEveryCall()
{
    QStringList shown;
    TrayManager::Environment environment;
    environment.showMessage
        = [&shown](const QString &title, const QString &message, QSystemTrayIcon::MessageIcon icon,
              int msecs) { shown << u"%1|%2|%3|%4"_s.arg(title, message).arg(icon).arg(msecs); };
    TrayManager manager(environment);

    manager.notify(u"VantrelVPN"_s, u"Connected"_s);
    manager.notify(u"VantrelVPN"_s, u"Connected"_s);
    const QString expected = u"VantrelVPN|Connected|%1|4000"_s.arg(QSystemTrayIcon::Information);
    QCOMPARE(shown, (QStringList {expected, expected}));

    // The real tray takes it quietly with no tray to show it in.
    TrayManager().notify(u"VantrelVPN"_s, u"Connected"_s);
}

QTEST_MAIN(TestTrayManager)
#include "tst_TrayManager.moc"
