#include "AppSettings.h"
#include "AppWiring.h"
#include "FakeService.h"
#include "PingProber.h"
#include "PipeClient.h"
#include "TrayManager.h"
#include "Ui2Fixture.h"

#include <QGuiApplication>
#include <QJsonObject>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString text(QQuickItem *item, const char *property = "text")
{
    return item ? item->property(property).toString() : u"<missing>"_s;
}

bool openAt(QQuickWindow *popup, int ax, int ay)
{
    return QMetaObject::invokeMethod(popup, "openAt", Q_ARG(QVariant, ax), Q_ARG(QVariant, ay));
}

} // namespace

class TestTrayPopup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void placement_data();
    void placement();
    void placementAcrossScreens_data();
    void placementAcrossScreens();
    void stateAndMainButton_data();
    void stateAndMainButton();
    void openAndQuitWhileSignedOut();
    void hidesWhenFocusMovesAway();
    void trayRequestsThroughMainWindow();
};

void TestTrayPopup::init()
{
    // QML errors (bindings, types, layouts) are warnings naming their document.
    QTest::failOnWarning(QRegularExpression(u"^(qrc|file):"_s));
}

void TestTrayPopup::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestTrayPopup::placement_data()
{
    QTest::addColumn<QPoint>("anchor");
    QTest::addColumn<QPoint>("expected");

    const QRect area = QGuiApplication::primaryScreen()->availableVirtualGeometry();
    const int sw = area.width();
    const int sh = area.height();
    QVERIFY(sw >= 400 && sh >= 500);

    QTest::newRow("centred 12 above the anchor") << QPoint(sw / 2, 400) << QPoint(sw / 2 - 170, 400 - 224);
    QTest::newRow("left edge: 8 from it") << QPoint(20, 400) << QPoint(8, 176);
    QTest::newRow("right edge: 8 from it") << QPoint(sw - 10, 400) << QPoint(sw - 348, 176);
    QTest::newRow("top edge: 12 below the anchor") << QPoint(300, 30) << QPoint(130, 42);
    QTest::newRow("exactly 8 from the top is too high: below") << QPoint(300, 232) << QPoint(130, 244);
    QTest::newRow("9 from the top fits above") << QPoint(300, 233) << QPoint(130, 9);
    QTest::newRow("tray in a panel below the available area: ends 8 above it")
        << QPoint(sw - 40, sh + 10) << QPoint(sw - 348, sh - 220);
}

void TestTrayPopup::placement()
{
    QFETCH(QPoint, anchor);
    QFETCH(QPoint, expected);

    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    QQuickWindow *popup = fixture.loadPopup();
    QVERIFY(popup);
    QVERIFY(!popup->isVisible());
    QCOMPARE(popup->size(), QSize(340, 212));
    QVERIFY(popup->flags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(popup->flags().testFlag(Qt::WindowStaysOnTopHint));

    QVERIFY(openAt(popup, anchor.x(), anchor.y()));
    QVERIFY(popup->isVisible());
    QCOMPARE(popup->position(), expected);
}

void TestTrayPopup::placementAcrossScreens_data()
{
    QTest::addColumn<QPoint>("anchor");
    QTest::addColumn<QPoint>("expected");

    // Run with a screen left of the primary one (ui2_traypopup_twoscreens):
    // the desktop then starts left of 0.
    const QRect area = QGuiApplication::primaryScreen()->availableVirtualGeometry();
    if (QGuiApplication::screens().size() < 2 || area.left() >= 0)
        QSKIP("needs a screen left of the primary one");

    QTest::newRow("tray near the left edge of the left screen")
        << QPoint(area.left() + 14, 500) << QPoint(area.left() + 8, 276);
    QTest::newRow("tray near the right edge of the desktop")
        << QPoint(area.right() - 10, 500) << QPoint(area.right() + 1 - 348, 276);
    QTest::newRow("tray at the top of the left screen")
        << QPoint(area.left() + 400, area.top() + 20) << QPoint(area.left() + 230, area.top() + 32);
}

void TestTrayPopup::placementAcrossScreens()
{
    placement();
}

void TestTrayPopup::stateAndMainButton_data()
{
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QByteArray>("dot");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QString>("command");

    QTest::newRow("signed out: disabled, sends nothing")
        << false << u"disconnected"_s << u"Not connected"_s << QByteArray("fgMuted") << u"Connect"_s
        << u"ghost"_s << QString();
    QTest::newRow("disconnected: connect")
        << true << u"disconnected"_s << u"Not connected"_s << QByteArray("fgMuted") << u"Connect"_s
        << u"ghost"_s << u"connect"_s;
    QTest::newRow("connecting: cancel")
        << true << u"connecting"_s << u"Connecting…"_s << QByteArray("warning") << u"Cancel"_s << u"ghost"_s
        << u"disconnect"_s;
    QTest::newRow("reconnecting: cancel")
        << true << u"reconnecting"_s << u"Reconnecting"_s << QByteArray("warning") << u"Cancel"_s
        << u"ghost"_s << u"disconnect"_s;
    QTest::newRow("connected: red disconnect")
        << true << u"connected"_s << u"Protected"_s << QByteArray("success") << u"Disconnect"_s
        << u"danger-ghost"_s << u"disconnect"_s;
    QTest::newRow("failed: connect again")
        << true << u"failed"_s << u"Connection failed"_s << QByteArray("danger") << u"Connect"_s << u"ghost"_s
        << u"connect"_s;
    QTest::newRow("unknown state counts as idle")
        << true << u"paused"_s << u"Not connected"_s << QByteArray("fgMuted") << u"Connect"_s << u"ghost"_s
        << u"connect"_s;
}

void TestTrayPopup::stateAndMainButton()
{
    QFETCH(bool, signedIn);
    QFETCH(QString, state);
    QFETCH(QByteArray, dot);
    QFETCH(QString, command);

    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    AppSettings *settings = fixture.wiring().appSettings();
    settings->setWhitelist(true);
    settings->setTransport(u"reality"_s);
    QQuickWindow *popup = fixture.loadPopup();
    QVERIFY(popup);
    QVERIFY(openAt(popup, 400, 400));
    QVERIFY(QTest::qWaitForWindowExposed(popup));

    fixture.sendStatus({{u"authenticated"_s, signedIn}, {u"status"_s, state}});
    QVERIFY(fixture.sync());
    QCOMPARE(fixture.wiring().pipeClient()->vpnState(), state);

    QTEST(text(fixture.item(u"popupStatus"_s)), "status");
    const QColor dotColour = settings->property(dot.constData()).value<QColor>();
    QTRY_COMPARE(fixture.item(u"popupDot"_s)->property("color").value<QColor>(), dotColour);

    QQuickItem *button = fixture.item(u"popupMainButton"_s);
    QTEST(text(button), "button");
    QTEST(text(button, "variant"), "variant");
    QCOMPARE(button->isEnabled(), signedIn);

    fixture.service().clearReceived();
    fixture.click(button);
    QVERIFY(fixture.flushCommands());
    QCOMPARE(fixture.commands(), command.isEmpty() ? QStringList() : QStringList {command});
    if (command == "connect"_L1) {
        const QJsonObject payload {
            {u"whitelist"_s, true}, {u"games"_s, false}, {u"transport"_s, u"reality"_s}};
        QCOMPARE(fixture.commandObjects().constFirst().value(u"payload"_s).toObject(), payload);
    }
}

void TestTrayPopup::openAndQuitWhileSignedOut()
{
    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    QQuickWindow *popup = fixture.loadPopup();
    QVERIFY(popup);
    QVERIFY(!fixture.wiring().pipeClient()->authenticated());
    TrayManager *tray = fixture.wiring().trayManager();
    QSignalSpy showSpy(tray, &TrayManager::showRequested);
    QSignalSpy quitSpy(tray, &TrayManager::quitRequested);

    // The host raises the main window on this signal; the popup must already
    // be out of the way by then.
    bool visibleAtShowRequest = true;
    QObject::connect(
        tray, &TrayManager::showRequested, popup, [&] { visibleAtShowRequest = popup->isVisible(); });

    QVERIFY(openAt(popup, 400, 400));
    QVERIFY(QTest::qWaitForWindowExposed(popup));
    fixture.click(fixture.item(u"popupOpenButton"_s));
    QCOMPARE(showSpy.count(), 1);
    QVERIFY(!visibleAtShowRequest);
    QVERIFY(!popup->isVisible());
    QCOMPARE(quitSpy.count(), 0);

    QVERIFY(openAt(popup, 400, 400));
    QVERIFY(QTest::qWaitForWindowExposed(popup));
    fixture.click(fixture.item(u"popupQuitButton"_s));
    QCOMPARE(quitSpy.count(), 1);
    QCOMPARE(showSpy.count(), 1);
}

void TestTrayPopup::hidesWhenFocusMovesAway()
{
    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    QQuickWindow *popup = fixture.loadPopup();
    QVERIFY(popup);
    QVERIFY(openAt(popup, 400, 400));
    QTRY_VERIFY(popup->isActive());

    QWindow other;
    other.resize(100, 100);
    other.show();
    other.requestActivate();
    QTRY_VERIFY(!popup->isVisible());

    // Opened again, it takes the focus again and stays.
    QVERIFY(openAt(popup, 400, 400));
    QTRY_VERIFY(popup->isActive());
    QVERIFY(popup->isVisible());
}

void TestTrayPopup::trayRequestsThroughMainWindow()
{
    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    QQuickWindow *main = fixture.loadMain();
    QVERIFY(main);
    auto *popup = main->findChild<QQuickWindow *>(u"trayPopup"_s);
    QVERIFY(popup);
    QVERIFY(!popup->isVisible());
    TrayManager *tray = fixture.wiring().trayManager();
    PingProber *prober = fixture.wiring().pingProber();

    // A context click on the tray icon opens the popup by the icon, a second
    // one closes it, and the show request puts it away too.
    emit tray->popupRequested(300, 400);
    QVERIFY(popup->isVisible());
    QCOMPARE(popup->position(), QPoint(130, 176));
    QTRY_VERIFY(prober->active());

    emit tray->popupRequested(300, 400);
    QVERIFY(!popup->isVisible());
    QTRY_VERIFY(!prober->active());

    emit tray->popupRequested(300, 400);
    QVERIFY(popup->isVisible());
    emit tray->showRequested();
    QVERIFY(!popup->isVisible());
}

QTEST_MAIN(TestTrayPopup)
#include "tst_traypopup.moc"
