#include "AppSettings.h"
#include "AppWiring.h"
#include "FakeService.h"
#include "PingProber.h"
#include "PipeClient.h"
#include "TrayManager.h"
#include "UiFixture.h"

#include <QAccessible>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString sinceNow(int offsetSecs)
{
    return QDateTime::currentDateTimeUtc().addSecs(offsetSecs).toString(Qt::ISODate);
}

// An animation, or a timer stepping a value, is running under the item.
bool animating(QObject *item)
{
    const auto children = item->findChildren<QObject *>();
    return std::any_of(children.begin(), children.end(), [](QObject *child) {
        return (child->inherits("QQuickAbstractAnimation") || child->inherits("QQmlTimer"))
            && child->property("running").toBool();
    });
}

} // namespace

// The real main window against the real service objects: routing, title and
// tab bar, hiding to the tray, the tray popup and the prober, the sign-in
// flow, the home screen's dial and tiles and the error screen.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_ui = std::make_unique<UiFixture>();
        QVERIFY(m_ui->start(true));
    }
    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(qrc|file):"_s));
        m_ui->setTrayAvailable(true);
        if (!m_ui->window()->isVisible() || m_ui->window()->visibility() == QWindow::Minimized)
            QMetaObject::invokeMethod(m_ui->window(), "showAndRaise");
        m_ui->window()->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(m_ui->window()));
        m_ui->window()->setProperty("screen", u"main"_s);
        QVERIFY(m_ui->setState(u"disconnected"_s));
        QVERIFY(m_ui->waitForItem(u"mainScreen"_s));
        m_ui->clearCommands();
    }
    void cleanupTestCase() { m_ui.reset(); }

    void routingAndTitleBar_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("tab");
        // "no service": signed in, then the service goes away.
        QTest::addColumn<QString>("state");
        // The screen shown, the title bar's status and its dot's palette colour.
        QTest::addColumn<QString>("look");

        QTest::newRow("signed out, settings tab chosen")
            << false << u"settings"_s << u"connected"_s << u"loginScreen|Protected|success"_s;
        QTest::newRow("home tab, idle")
            << true << u"main"_s << u"disconnected"_s << u"mainScreen|Not connected|fgMuted"_s;
        QTest::newRow("home tab, connecting")
            << true << u"main"_s << u"connecting"_s << u"mainScreen|Connecting…|warning"_s;
        QTest::newRow("home tab, reconnecting")
            << true << u"main"_s << u"reconnecting"_s << u"mainScreen|Reconnecting|warning"_s;
        QTest::newRow("home tab, failed")
            << true << u"main"_s << u"failed"_s << u"errorScreen|Connection failed|danger"_s;
        QTest::newRow("statistics tab, failed")
            << true << u"stats"_s << u"failed"_s << u"statsScreen|Connection failed|danger"_s;
        QTest::newRow("settings tab, connected")
            << true << u"settings"_s << u"connected"_s << u"settingsScreen|Protected|success"_s;
        QTest::newRow("unknown state counts as idle home")
            << true << u"main"_s << u"weird"_s << u"mainScreen|Not connected|fgMuted"_s;
        QTest::newRow("service gone: sign-in screen with the notice")
            << true << u"settings"_s << u"no service"_s << u"loginScreen|Not connected|fgMuted"_s;
        QTest::newRow("service closes every link: sign-in screen with the notice")
            << true << u"settings"_s << u"closing service"_s << u"loginScreen|Not connected|fgMuted"_s;
    }
    void routingAndTitleBar()
    {
        QFETCH(bool, signedIn);
        QFETCH(QString, tab);
        QFETCH(QString, state);
        QFETCH(QString, look);

        m_ui->window()->setProperty("screen", tab);
        QVERIFY(m_ui->setState(state, {{u"authenticated"_s, signedIn}}));
        const bool serviceGone = state == "no service"_L1;
        const bool serviceCloses = state == "closing service"_L1;
        if (serviceGone)
            m_ui->service()->close();
        if (serviceCloses) {
            // As a service does with a token it refuses: each link closed unanswered.
            m_refusal = std::make_unique<QObject>();
            connect(m_ui->service(), &FakeService::messageReceived, m_refusal.get(),
                [this](const QJsonObject &message) {
                    if (message.contains(u"magic"_s))
                        m_ui->service()->dropClient();
                });
            m_ui->service()->dropClient();
        }
        const QString screen = look.section(u'|', 0, 0);
        QVERIFY2(m_ui->waitForItem(screen), qPrintable(screen));
        for (const QString &other :
            {u"loginScreen"_s, u"mainScreen"_s, u"errorScreen"_s, u"statsScreen"_s, u"settingsScreen"_s}) {
            if (other != screen)
                QVERIFY2(!m_ui->item(other), qPrintable(other));
        }
        // The tab survives a sign-out; the tab bar and its room do not.
        QCOMPARE(m_ui->window()->property("screen").toString(), tab);
        const bool tabs = screen != "loginScreen"_L1;
        QTRY_COMPARE(m_ui->item(u"tabBar"_s)->isVisible(), tabs);
        QTRY_COMPARE(
            m_ui->item(u"content"_s)->height(), m_ui->item(u"panel"_s)->height() - 46 - (tabs ? 58 : 0));
        QCOMPARE(m_ui->text(u"statusText"_s), look.section(u'|', 1, 1));
        const QByteArray dot = look.section(u'|', 2).toLatin1();
        QTRY_COMPARE(m_ui->item(u"statusDot"_s)->property("color").value<QColor>(),
            m_ui->wiring()->appSettings()->property(dot.constData()).value<QColor>());
        if (screen == "loginScreen"_L1)
            checkServiceNotice(serviceGone || serviceCloses, serviceCloses);
    }

    void statisticsTabOutlivesAFailure()
    {
        QVERIFY(m_ui->click(u"tab_stats"_s));
        QPointer<QQuickItem> stats = m_ui->waitForItem(u"statsScreen"_s);
        QVERIFY(m_ui->setState(u"failed"_s));
        QCOMPARE(m_ui->item(u"statsScreen"_s), stats.data());
        QVERIFY(m_ui->click(u"tab_main"_s));
        QVERIFY(m_ui->waitForItem(u"errorScreen"_s));
        QTRY_VERIFY(!stats);
    }

    void updateBadgeOnlyAwayFromSettings()
    {
        m_ui->sendEvent({{u"type"_s, u"update_available"_s}, {u"update_version"_s, u"1.0"_s}});
        auto badgeShows = [this](const QString &tab) {
            QQuickItem *badge = m_ui->item(u"updateBadge"_s, m_ui->item(tab));
            return badge && badge->isVisible();
        };
        QTRY_VERIFY(badgeShows(u"tab_settings"_s));
        QVERIFY(!badgeShows(u"tab_main"_s) && !badgeShows(u"tab_stats"_s));
        QVERIFY(m_ui->click(u"tab_settings"_s));
        QTRY_VERIFY(!badgeShows(u"tab_settings"_s));
        QVERIFY(m_ui->click(u"tab_stats"_s));
        QTRY_VERIFY(badgeShows(u"tab_settings"_s));
    }

    // Moving the focus by keys to a control scrolled out of view brings it in.
    void focusScrollsIntoView()
    {
        QVERIFY(m_ui->click(u"tab_settings"_s));
        QQuickItem *flick = m_ui->waitForItem(u"settingsFlick"_s);
        QQuickItem *logout = m_ui->item(u"logoutButton"_s);
        const auto inView = [&] {
            const QRectF box = logout->mapRectToItem(flick, logout->boundingRect());
            return box.top() >= 0 && box.bottom() <= flick->height();
        };
        QVERIFY(!inView());
        QTest::keyClick(m_ui->window(), Qt::Key_Backtab);
        QVERIFY(logout->hasActiveFocus());
        QVERIFY(inView());
    }

    void closeRequestKeepsRunning_data()
    {
        QTest::addColumn<bool>("byButton");
        QTest::addColumn<bool>("tray");
        QTest::newRow("window manager close hides to the tray") << false << true;
        QTest::newRow("title bar close button hides to the tray") << true << true;
        QTest::newRow("window manager close without a tray minimises") << false << false;
        QTest::newRow("title bar close button without a tray minimises") << true << false;
    }
    void closeRequestKeepsRunning()
    {
        QFETCH(bool, byButton);
        QFETCH(bool, tray);
        QVERIFY(m_ui->setState(u"connected"_s));
        m_ui->setTrayAvailable(tray);
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        if (byButton)
            QVERIFY(m_ui->click(u"closeButton"_s));
        else
            m_ui->window()->close();
        if (tray)
            QTRY_VERIFY(!m_ui->window()->isVisible());
        else
            QTRY_COMPARE(m_ui->window()->visibility(), QWindow::Minimized);
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(lastClosed.count() + quitting.count(), 0);
        QVERIFY(m_ui->service()->hasClient());
        QCOMPARE(m_ui->commands(), QStringList());
    }

    void toggleHidesFocusedAndRaisesOthers()
    {
        QQuickWindow *window = m_ui->window();
        QMetaObject::invokeMethod(window, "toggleWindow");
        QTRY_VERIFY(!window->isVisible());
        QMetaObject::invokeMethod(window, "toggleWindow");
        QVERIFY(QTest::qWaitForWindowActive(window));

        // Covered by another window or minimised, it comes back up.
        QWindow cover;
        cover.resize(100, 100);
        cover.show();
        cover.requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&cover));
        QMetaObject::invokeMethod(window, "toggleWindow");
        QVERIFY(QTest::qWaitForWindowActive(window));
        QVERIFY(m_ui->click(u"minimizeButton"_s));
        QTRY_COMPARE(window->visibility(), QWindow::Minimized);
        QMetaObject::invokeMethod(window, "toggleWindow");
        QTRY_COMPARE(window->visibility(), QWindow::Windowed);
    }

    void trayPopupAndProber()
    {
        TrayManager *tray = m_ui->wiring()->trayManager();
        PingProber *prober = m_ui->wiring()->pingProber();
        // Made on first use only.
        QVERIFY(!m_ui->window()->findChild<QQuickWindow *>(u"trayPopup"_s));
        QVERIFY(m_ui->setState(u"connected"_s, {{u"endpoint"_s, u"127.0.0.1:9"_s}}));
        QCOMPARE(prober->target(), u"127.0.0.1:9"_s);
        QTRY_VERIFY(prober->active());
        m_ui->window()->showMinimized();
        QTRY_COMPARE(m_ui->window()->visibility(), QWindow::Minimized);
        QTRY_VERIFY(prober->active());
        m_ui->window()->hide();
        QTRY_VERIFY(!prober->active());

        // A click on the tray icon opens the popup by it, which alone
        // keeps the prober going; a second click closes it.
        emit tray->popupRequested(300, 400);
        auto *popup = m_ui->window()->findChild<QQuickWindow *>(u"trayPopup"_s);
        QVERIFY(popup && popup->isVisible());
        QCOMPARE(popup->position(), QPoint(130, 176));
        QTRY_VERIFY(prober->active());
        emit tray->popupRequested(300, 400);
        QVERIFY(!popup->isVisible());
        QTRY_VERIFY(!prober->active());

        // Showing the window puts the popup away.
        emit tray->popupRequested(300, 400);
        emit tray->showRequested();
        QVERIFY(!popup->isVisible());
        QTRY_VERIFY(m_ui->window()->isVisible());

        // A window of its own: it closes when the main window takes the focus.
        QCOMPARE(popup->transientParent(), nullptr);
        emit tray->popupRequested(300, 400);
        QTRY_VERIFY(popup->isActive());
        m_ui->window()->requestActivate();
        QTRY_VERIFY(!popup->isVisible());
    }

    // Ctrl+Q works in both windows, takes the tray popup's quit path, and the
    // close button tells of it.
    void ctrlQQuits()
    {
        TrayManager *tray = m_ui->wiring()->trayManager();
        QSignalSpy quit(tray, &TrayManager::quitRequested);
        QTest::keyClick(m_ui->window(), Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(quit.count(), 1);
        emit tray->popupRequested(300, 400);
        auto *popup = m_ui->window()->findChild<QQuickWindow *>(u"trayPopup"_s);
        QVERIFY(popup && QTest::qWaitForWindowActive(popup));
        QTest::keyClick(popup, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(quit.count(), 2);
        popup->hide();

        QQuickItem *close = m_ui->item(u"closeButton"_s);
        QCOMPARE(QAccessible::queryAccessibleInterface(close)->text(QAccessible::Description),
            u"Ctrl+Q quits VantrelVPN"_s);
        QObject *tip = close->findChild<QObject *>(u"closeTip"_s);
        QTest::mouseMove(m_ui->window(), QPoint(200, 300));
        QTest::mouseMove(
            m_ui->window(), close->mapToScene(QPointF(close->width() / 2, close->height() / 2)).toPoint());
        QTRY_VERIFY(tip->property("opened").toBool());
        QCOMPARE(tip->property("text").toString(), u"Close (Ctrl+Q quits)"_s);
    }

    void screenReaderReadsStateAndOperatesTheDial()
    {
        QVERIFY(m_ui->setState(u"connected"_s));
        QCOMPARE(QAccessible::queryAccessibleInterface(m_ui->item(u"statusText"_s))->text(QAccessible::Name),
            u"Protected"_s);
        QAccessibleInterface *dial = QAccessible::queryAccessibleInterface(m_ui->item(u"dial"_s));
        QVERIFY(dial && dial->actionInterface());
        QCOMPARE(dial->role(), QAccessible::Button);
        QCOMPARE(dial->text(QAccessible::Name), u"Protected"_s);
        dial->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), QStringList {u"disconnect"_s});
        // A glyph is no name.
        QCOMPARE(QAccessible::queryAccessibleInterface(m_ui->item(u"closeButton"_s))->text(QAccessible::Name),
            u"Close"_s);
    }

    void accessDeniedOpensDialog()
    {
        // Made on first use.
        QVERIFY(!m_ui->window()->findChild<QObject *>(u"accessDialog"_s));
        emit m_ui->wiring()->pipeClient()->accessDenied();
        QObject *dialog = m_ui->window()->findChild<QObject *>(u"accessDialog"_s);
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->property("opened").toBool());
        QMetaObject::invokeMethod(dialog, "close");
    }

    void browserFlow()
    {
        signOutToFreshScreen();
        const QVariantMap t = m_ui->wiring()->appSettings()->t();
        QVERIFY(m_ui->click(u"signInButton"_s));
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), QStringList {u"login_start"_s});
        // Nothing changes until the service answers.
        checkInitialLook();

        openBrowser(u"https://login.example/abc?x=1"_s);
        QCOMPARE(m_ui->openedUrls().mid(m_urls), QList<QUrl> {QUrl(u"https://login.example/abc?x=1"_s)});
        QCOMPARE(stepStates(), QStringList({u"done"_s, u"waiting"_s, u"todo"_s}));
        QVERIFY(!m_ui->item(u"signInButton"_s)->isVisible());

        // A new page replaces the URL; the link opens the latest one again.
        const QString url = u"https://login.example/second"_s;
        openBrowser(url);
        QVERIFY(m_ui->click(u"reopenLink"_s));
        QCOMPARE(m_ui->openedUrls().mid(m_urls + 1), QList<QUrl>({QUrl(url), QUrl(url)}));

        QGuiApplication::clipboard()->clear();
        QElapsedTimer shown;
        QVERIFY(m_ui->click(u"copyLink"_s));
        shown.start();
        QCOMPARE(QGuiApplication::clipboard()->text(), url);
        QCOMPARE(m_ui->text(u"copyLink"_s), t.value(u"copied"_s).toString());
        QTRY_COMPARE_WITH_TIMEOUT(m_ui->text(u"copyLink"_s), t.value(u"copyLink"_s).toString(), 5000);
        // A lower bound only: the label must not drop back early.
        QVERIFY2(shown.elapsed() >= 1300, qPrintable(QString::number(shown.elapsed())));

        // Without a URL neither link claims to do anything.
        m_ui->item(u"loginScreen"_s)->setProperty("loginUrl", QString());
        QGuiApplication::clipboard()->setText(u"before"_s);
        QVERIFY(m_ui->click(u"reopenLink"_s));
        QVERIFY(m_ui->click(u"copyLink"_s));
        QCOMPARE(m_ui->openedUrls().size(), m_urls + 3);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"before"_s);
        QCOMPARE(m_ui->text(u"copyLink"_s), t.value(u"copyLink"_s).toString());

        QVERIFY(m_ui->click(u"cancelButton"_s));
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), QStringList({u"login_start"_s, u"login_cancel"_s}));
        checkInitialLook();
        QCOMPARE(m_ui->text(u"loginScreen"_s, "expiresAt"), QString());
    }

    void loginFailsSilentlyThenCompletes()
    {
        signOutToFreshScreen();
        // While not waiting nothing changes.
        m_ui->sendEvent({{u"type"_s, u"login_failed"_s}, {u"error"_s, u"early"_s}});
        QVERIFY(m_ui->sync());
        checkInitialLook();

        openBrowser(u"https://login.example/fail"_s);
        m_ui->sendEvent({{u"type"_s, u"login_failed"_s}, {u"error"_s, u"denied"_s}});
        QTRY_VERIFY(!m_ui->item(u"waitingBlock"_s)->isVisible());
        checkInitialLook();

        // A second try sends a new request, and no cancel for the first.
        QVERIFY(m_ui->click(u"signInButton"_s));
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), QStringList {u"login_start"_s});

        openBrowser(u"https://login.example/done"_s);
        m_ui->sendEvent({{u"type"_s, u"login_complete"_s}});
        QVERIFY(m_ui->waitForItem(u"mainScreen"_s));
        QTRY_VERIFY(!m_ui->item(u"loginScreen"_s));
        // Signing out again brings a fresh screen in the initial look.
        signOutToFreshScreen();
    }

    void clickSends_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("command");
        // Whitelist, games and transport for "connect".
        QTest::addColumn<QJsonObject>("payload");
        // The service's reason, shown by the error screen.
        QTest::addColumn<QString>("error");

        const QJsonObject split {{u"whitelist"_s, true}, {u"games"_s, false}, {u"transport"_s, u"tls"_s}};
        const QJsonObject gaming {
            {u"whitelist"_s, false}, {u"games"_s, true}, {u"transport"_s, u"reality"_s}};
        QTest::newRow("idle dial connects, split tunnel")
            << u"disconnected"_s << u"dial"_s << u"connect"_s << split << QString();
        QTest::newRow("unknown state dial connects, gaming")
            << u"paused"_s << u"dial"_s << u"connect"_s << gaming << QString();
        QTest::newRow("connecting dial cancels")
            << u"connecting"_s << u"dial"_s << u"disconnect"_s << split << QString();
        QTest::newRow("reconnecting dial cancels")
            << u"reconnecting"_s << u"dial"_s << u"disconnect"_s << split << QString();
        QTest::newRow("connected dial disconnects")
            << u"connected"_s << u"dial"_s << u"disconnect"_s << split << QString();
        QTest::newRow("error screen with a reason: try again connects")
            << u"failed"_s << u"tryAgainButton"_s << u"connect"_s << gaming << u"handshake timed out"_s;
        QTest::newRow("error screen without a reason: cancel")
            << u"failed"_s << u"errorCancelButton"_s << u"disconnect"_s << split << QString();
    }
    void clickSends()
    {
        QFETCH(QString, state);
        QFETCH(QString, command);
        QFETCH(QJsonObject, payload);
        QFETCH(QString, error);

        AppSettings *settings = m_ui->wiring()->appSettings();
        settings->setWhitelist(payload.value(u"whitelist"_s).toBool());
        settings->setGames(payload.value(u"games"_s).toBool());
        settings->setTransport(payload.value(u"transport"_s).toString());
        QVERIFY(m_ui->setState(state, {{u"error"_s, error}}));
        if (state == "failed"_L1)
            QCOMPARE(m_ui->text(u"errorReason"_s),
                error.isEmpty() ? settings->t().value(u"errorDefault"_s) : error);
        QFETCH(QString, button);
        QVERIFY(m_ui->click(button));
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), QStringList {command});
        if (command == "connect"_L1)
            QCOMPARE(m_ui->commands(command).constFirst().value(u"payload"_s).toObject(), payload);
    }

    // A new screen gives its main action the focus, with the ring only when
    // the user came there by keys.
    void screenChangeFocusesTheMainAction_data()
    {
        QTest::addColumn<bool>("byKeys");
        QTest::newRow("after a click no ring shows") << false;
        QTest::newRow("after keys the ring shows") << true;
    }
    void screenChangeFocusesTheMainAction()
    {
        QFETCH(bool, byKeys);
        QVERIFY(m_ui->setState(u"failed"_s));
        QQuickItem *tryAgain = m_ui->waitForItem(u"tryAgainButton"_s);
        QTRY_VERIFY(tryAgain->hasActiveFocus());
        if (byKeys) {
            QTest::keyClick(m_ui->window(), Qt::Key_Tab);
            QTest::keyClick(m_ui->window(), Qt::Key_Backtab);
            QVERIFY(tryAgain->hasActiveFocus());
            QTest::keyClick(m_ui->window(), Qt::Key_Space);
        } else {
            QVERIFY(m_ui->click(tryAgain));
        }
        QVERIFY(m_ui->setState(u"connecting"_s));
        QQuickItem *dial = m_ui->waitForItem(u"dial"_s);
        QTRY_VERIFY(dial->hasActiveFocus());
        QCOMPARE(m_ui->item(u"focusRing"_s, dial)->isVisible(), byKeys);
    }

    void homeByState_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("transport");
        QTest::addColumn<int>("attempt");
        // The dial's state, its status and the hint under it (empty: the
        // session clock), whether the transport line shows, and what the
        // dial tells a screen reader a press does (never the ticking clock).
        QTest::addColumn<QString>("look");

        QTest::newRow("disconnected: the service's error shows")
            << u"disconnected"_s << u"tls"_s << 0
            << u"idle|Not connected|click to connect||Press to connect"_s;
        QTest::newRow("connecting") << u"connecting"_s << u"tls"_s << 0
                                    << u"connecting|Connecting…|click to cancel||Press to cancel"_s;
        QTest::newRow("reconnecting, third attempt")
            << u"reconnecting"_s << u"tls"_s << 3
            << u"connecting|Reconnecting · #3|click to cancel||Press to cancel"_s;
        QTest::newRow("reconnecting, no attempt yet")
            << u"reconnecting"_s << u"tls"_s << 0
            << u"connecting|Reconnecting · #0|click to cancel||Press to cancel"_s;
        QTest::newRow("connected over tls")
            << u"connected"_s << u"tls"_s << 0 << u"connected|Protected||transport|Press to disconnect"_s;
        QTest::newRow("connected over a longer tls label")
            << u"connected"_s << u"tls-fallback-2"_s << 0
            << u"connected|Protected||transport|Press to disconnect"_s;
        QTest::newRow("connected over reality")
            << u"connected"_s << u"reality"_s << 0 << u"connected|Protected|||Press to disconnect"_s;
        QTest::newRow("connected, tls only inside the name")
            << u"connected"_s << u"xtls"_s << 0 << u"connected|Protected|||Press to disconnect"_s;
    }
    void homeByState()
    {
        QFETCH(QString, state);
        QFETCH(QString, transport);
        QFETCH(int, attempt);
        QFETCH(QString, look);

        const QString error = u"<b>not signed in</b>"_s;
        QVERIFY(m_ui->setState(state,
            {{u"attempt"_s, attempt}, {u"connected_since"_s, sinceNow(-5)}, {u"transport"_s, transport},
                {u"error"_s, error}}));
        QQuickItem *dial = m_ui->item(u"dial"_s);
        const QString dialState = dial->property("dialState").toString();
        const bool transportShown = m_ui->item(u"transportLine"_s)->isVisible();
        QCOMPARE(QStringList({dialState, m_ui->text(u"dialStatus"_s),
                                 dial->property("hintMode").toBool() ? m_ui->text(u"dialTimer"_s) : QString(),
                                 transportShown ? u"transport"_s : QString(),
                                 QAccessible::queryAccessibleInterface(dial)->text(QAccessible::Description)})
                     .join(u'|'),
            look);
        if (!dial->property("hintMode").toBool())
            QVERIFY(QRegularExpression(u"^00:0\\d$"_s).match(m_ui->text(u"dialTimer"_s)).hasMatch());
        if (transportShown)
            QCOMPARE(m_ui->text(u"transportLine"_s), u"WireGuard · games available"_s);
        // The arc shows only while connecting, the glow only while connected.
        QCOMPARE(m_ui->item(u"dialArc"_s)->isVisible(), dialState == u"connecting"_s);
        QCOMPARE(m_ui->item(u"dialGlow"_s)->isVisible(), dialState == u"connected"_s);
        QCOMPARE(m_ui->item(u"errorLine"_s)->isVisible(), dialState == u"idle"_s);
        QCOMPARE(m_ui->text(u"errorLine"_s), error);
    }

    void connectingArcFollowsTheTheme()
    {
        AppSettings *settings = m_ui->wiring()->appSettings();
        settings->setDarkTheme(true);
        QVERIFY(m_ui->setState(u"connecting"_s));
        const QColor darkWarning = settings->warning();
        QTRY_VERIFY(ringHas(darkWarning));

        // The arc is painted once; the theme switch must repaint it.
        settings->setDarkTheme(false);
        QTRY_VERIFY(ringHas(settings->warning()));
        QVERIFY(!ringHas(darkWarning));
    }

    void endlessMotionStopsWhileHidden_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("moving");

        QTest::newRow("connected glow") << u"connected"_s << u"dialGlow"_s;
        QTest::newRow("connecting arc") << u"connecting"_s << u"dialArc"_s;
    }
    void endlessMotionStopsWhileHidden()
    {
        QFETCH(QString, state);
        QFETCH(QString, moving);

        QVERIFY(m_ui->setState(state));
        QObject *item = m_ui->item(moving);
        QTRY_VERIFY(animating(item));
        m_ui->window()->hide();
        QTRY_VERIFY(!animating(item));
        QMetaObject::invokeMethod(m_ui->window(), "showAndRaise");
        QTRY_VERIFY(animating(item));
    }

    // The glow breathes: it leaves its lowest level within one breath.
    void connectedGlowBreathes()
    {
        QVERIFY(m_ui->setState(u"connected"_s));
        QQuickItem *glow = m_ui->item(u"dialGlow"_s);
        const qreal lowest = glow->opacity();
        QTRY_VERIFY(glow->opacity() > lowest + 0.05);
    }

    void tilesFollowTheTunnel()
    {
        AppSettings *settings = m_ui->wiring()->appSettings();
        const QStringList tiles {u"sessionTile"_s, u"speedTile"_s, u"trafficTile"_s};
        const auto values = [&] {
            QStringList shown;
            for (const QString &tile : tiles)
                shown.append(m_ui->text(tile, "value"));
            return shown;
        };
        const auto dimmed = [&](bool expected) {
            for (const QString &tile : tiles + QStringList {u"addressTile"_s})
                QCOMPARE(m_ui->item(tile)->property("dimmed").toBool(), expected);
            QCOMPARE(m_ui->item(u"addressPlaceholder"_s)->isVisible(), expected);
            QCOMPARE(m_ui->item(u"addressSpoiler"_s)->isVisible(), !expected);
        };
        QCOMPARE(values(), QStringList({u"—"_s, u"—"_s, u"—"_s}));
        dimmed(true);

        const QJsonObject live {{u"connected_since"_s, sinceNow(-65)}, {u"down"_s, 1536}, {u"up"_s, 512},
            {u"endpoint"_s, u"203.0.113.7:51820"_s}};
        QVERIFY(m_ui->setState(u"connected"_s, live));
        dimmed(false);
        // A first sample has no speed yet; the clock runs, in the dial too.
        QCOMPARE(values().mid(1), QStringList({u"↓0 KB/s ↑0 KB/s"_s, u"↓1.50 KB ↑512 B"_s}));
        QCOMPARE(m_ui->item(u"speedTile"_s)->property("valueColor").value<QColor>(), settings->success());
        const QString clock = m_ui->text(u"sessionTile"_s, "value");
        QVERIFY2(QRegularExpression(u"^01:0[4-7]$"_s).match(clock).hasMatch(), qPrintable(clock));
        QCOMPARE(m_ui->text(u"dialTimer"_s), clock);
        QTRY_VERIFY(m_ui->text(u"sessionTile"_s, "value") != clock);

        // The live figures vanish with the tunnel.
        QVERIFY(m_ui->setState(u"disconnected"_s, live));
        QCOMPARE(values(), QStringList({u"—"_s, u"—"_s, u"—"_s}));
        QCOMPARE(m_ui->item(u"speedTile"_s)->property("valueColor").value<QColor>(), settings->fg());
    }

    void addressShowsTheEndpointsHost_data()
    {
        QTest::addColumn<QString>("endpoint");
        QTest::addColumn<QString>("shown");

        QTest::newRow("host and port") << u"203.0.113.7:51820"_s << u"203.0.113.7"_s;
        QTest::newRow("no colon") << u"vpn.example"_s << u"vpn.example"_s;
        QTest::newRow("only a leading colon") << u":443"_s << u":443"_s;
        QTest::newRow("bracketed v6 and port") << u"[2001:db8::1]:443"_s << u"[2001:db8::1]"_s;
        QTest::newRow("empty") << QString() << u"—"_s;
    }
    void addressShowsTheEndpointsHost()
    {
        QFETCH(QString, endpoint);

        QVERIFY(m_ui->setState(u"connected"_s, {{u"endpoint"_s, endpoint}}));
        QTEST(m_ui->text(u"addressSpoiler"_s), "shown");
    }

private:
    // Without the service the sign-in screen says so, sign-in waits for it and
    // the tray's tooltip drops the stale state; "try again" reconnects at once.
    // A service that closes every link is told apart, with the token file named.
    // Sign-in takes the focus once it can, also after "try again" went away
    // under it.
    void checkServiceNotice(bool serviceGone, bool serviceCloses)
    {
        const QVariantMap extra = m_ui->wiring()->appSettings()->extraTexts();
        QQuickItem *signIn = m_ui->item(u"signInButton"_s);
        QQuickItem *notice = m_ui->item(u"serviceNotice"_s);
        auto *tray = m_ui->wiring()->trayManager()->findChild<QSystemTrayIcon *>();
        QTRY_COMPARE(notice->isVisible(), serviceGone);
        QCOMPARE(signIn->isEnabled(), !serviceGone);
        QCOMPARE(tray->toolTip().endsWith(u" — service not running"_s), serviceGone);
        if (!serviceGone)
            return;
        QCOMPARE(m_ui->text(u"serviceNoticeText"_s), extra.value(u"serviceConnecting"_s).toString());
        QCOMPARE(QAccessible::queryAccessibleInterface(signIn)->text(QAccessible::Description),
            extra.value(u"serviceNeeded"_s).toString());
        QTRY_COMPARE_WITH_TIMEOUT(m_ui->text(u"serviceNoticeText"_s),
            extra.value(serviceCloses ? u"serviceClosed"_s : u"serviceNotRunning"_s).toString(), 10000);
        const QString help = QAccessible::queryAccessibleInterface(notice)->text(QAccessible::Description);
        QCOMPARE(help.contains(m_ui->wiring()->pipeClient()->tokenPath()), serviceCloses);
        QCOMPARE(tray->toolTip().endsWith(u" — the service closed the connection"_s), serviceCloses);
        QVERIFY(m_ui->service()->listen());
        m_refusal.reset();
        QVERIFY(m_ui->click(u"serviceRetryButton"_s));
        // Well before the next slow retry, 10 s away.
        QVERIFY(m_ui->service()->waitForClient(3000));
        QTRY_VERIFY(!m_ui->item(u"serviceNotice"_s)->isVisible());
        QVERIFY(signIn->isEnabled());
        QTRY_VERIFY(signIn->hasActiveFocus());
        QVERIFY(!tray->toolTip().contains(u"service"_s));
    }

    QStringList stepStates() const
    {
        QStringList states;
        for (int n = 1; n <= 3; ++n)
            states.append(m_ui->text(u"step%1"_s.arg(n), "stepState"));
        return states;
    }

    // The sign-in screen is made anew on every sign-out.
    void signOutToFreshScreen()
    {
        QVERIFY(m_ui->signOut());
        QVERIFY(m_ui->waitForItem(u"loginScreen"_s));
        checkInitialLook();
        m_ui->clearCommands();
        m_urls = m_ui->openedUrls().size();
    }

    void checkInitialLook()
    {
        QTRY_VERIFY(m_ui->item(u"signInButton"_s)->isVisible());
        QVERIFY(!m_ui->item(u"waitingBlock"_s)->isVisible());
        QCOMPARE(stepStates(), QStringList({u"active"_s, u"todo"_s, u"todo"_s}));
    }

    void openBrowser(const QString &url)
    {
        const qsizetype before = m_ui->openedUrls().size();
        m_ui->sendEvent({{u"type"_s, u"browser_opened"_s}, {u"login_url"_s, url},
            {u"expires_at"_s, u"2030-01-01T00:00:00Z"_s}});
        QTRY_COMPARE(m_ui->openedUrls().size(), before + 1);
        QVERIFY(m_ui->waitForItem(u"waitingBlock"_s));
        QCOMPARE(m_ui->text(u"loginScreen"_s, "loginUrl"), url);
        QCOMPARE(m_ui->text(u"loginScreen"_s, "expiresAt"), u"2030-01-01T00:00:00Z"_s);
    }

    // Whether the connecting arc shows this colour anywhere on its circle.
    bool ringHas(const QColor &colour) const
    {
        // The arc's stroke runs 4.5 units inside the dial's rim.
        QQuickItem *dial = m_ui->item(u"dial"_s);
        const QImage image = m_ui->window()->grabWindow();
        const QRectF box = dial->mapRectToScene(dial->boundingRect());
        const qreal radius = (box.width() / 2 - 4.5 * box.width() / dial->width()) * image.devicePixelRatio();
        for (int degree = 0; degree < 360; ++degree) {
            const qreal angle = qDegreesToRadians(qreal(degree));
            const QPointF at = box.center() * image.devicePixelRatio()
                + radius * QPointF(std::cos(angle), std::sin(angle));
            const QColor pixel = image.pixelColor(at.toPoint());
            if (std::max({std::abs(pixel.red() - colour.red()), std::abs(pixel.green() - colour.green()),
                    std::abs(pixel.blue() - colour.blue())})
                <= 6)
                return true;
        }
        return false;
    }

    std::unique_ptr<UiFixture> m_ui;
    // Closes each link the client opens while it lives.
    std::unique_ptr<QObject> m_refusal;
    qsizetype m_urls = 0;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
