#include "AppSettings.h"
#include "AppWiring.h"
#include "FakeService.h"
#include "PingProber.h"
#include "PipeClient.h"
#include "TrayManager.h"
#include "UiFixture.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// The main window against the real service objects: routing, title bar, tab
// bar, hiding to the tray, the tray popup and what the prober follows.
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
        QMetaObject::invokeMethod(m_ui->window(), "showAndRaise");
        QVERIFY(QTest::qWaitForWindowActive(m_ui->window()));
        m_ui->window()->setProperty("screen", u"main"_s);
        QVERIFY(m_ui->setState(u"disconnected"_s));
        m_ui->clearCommands();
    }
    void cleanupTestCase() { m_ui.reset(); }

    void routingAndTitleBar_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QByteArray>("dot");

        QTest::newRow("signed out, settings tab chosen")
            << false << u"settings"_s << u"connected"_s << u"loginScreen"_s << u"Protected"_s
            << QByteArray("success");
        QTest::newRow("home tab, idle") << true << u"main"_s << u"disconnected"_s << u"mainScreen"_s
                                        << u"Not connected"_s << QByteArray("fgMuted");
        QTest::newRow("home tab, connecting") << true << u"main"_s << u"connecting"_s << u"mainScreen"_s
                                              << u"Connecting…"_s << QByteArray("warning");
        QTest::newRow("home tab, reconnecting") << true << u"main"_s << u"reconnecting"_s << u"mainScreen"_s
                                                << u"Reconnecting"_s << QByteArray("warning");
        QTest::newRow("home tab, failed") << true << u"main"_s << u"failed"_s << u"errorScreen"_s
                                          << u"Connection failed"_s << QByteArray("danger");
        QTest::newRow("statistics tab, failed") << true << u"stats"_s << u"failed"_s << u"statsScreen"_s
                                                << u"Connection failed"_s << QByteArray("danger");
        QTest::newRow("settings tab, connected")
            << true << u"settings"_s << u"connected"_s << u"settingsScreen"_s << u"Protected"_s
            << QByteArray("success");
        QTest::newRow("unknown state counts as idle home")
            << true << u"main"_s << u"weird"_s << u"mainScreen"_s << u"Not connected"_s
            << QByteArray("fgMuted");
    }
    void routingAndTitleBar()
    {
        QFETCH(bool, signedIn);
        QFETCH(QString, tab);
        QFETCH(QString, state);
        QFETCH(QString, screen);
        QFETCH(QByteArray, dot);

        m_ui->window()->setProperty("screen", tab);
        QVERIFY(m_ui->setState(state, {{u"authenticated"_s, signedIn}}));
        QVERIFY2(m_ui->waitForItem(screen), qPrintable(screen));
        for (const QString &other :
            {u"loginScreen"_s, u"mainScreen"_s, u"errorScreen"_s, u"statsScreen"_s, u"settingsScreen"_s}) {
            if (other != screen)
                QVERIFY2(!m_ui->item(other), qPrintable(other));
        }
        // The tab survives a sign-out; the tab bar and its room do not.
        QCOMPARE(m_ui->window()->property("screen").toString(), tab);
        QTRY_COMPARE(m_ui->item(u"tabBar"_s)->isVisible(), signedIn);
        QTRY_COMPARE(
            m_ui->item(u"content"_s)->height(), m_ui->item(u"panel"_s)->height() - 46 - (signedIn ? 58 : 0));

        QTEST(m_ui->text(u"statusText"_s), "status");
        const QColor expected = m_ui->wiring()->appSettings()->property(dot.constData()).value<QColor>();
        QTRY_COMPARE(m_ui->item(u"statusDot"_s)->property("color").value<QColor>(), expected);
    }

    void tabsKeepTheirScreenAndFadeIn()
    {
        QQuickItem *content = m_ui->item(u"content"_s);
        QTRY_COMPARE(content->opacity(), 1.0);
        QVERIFY(m_ui->click(u"tab_stats"_s));
        QVERIFY(content->opacity() < 1.0);
        QTRY_COMPARE(content->opacity(), 1.0);
        QPointer<QQuickItem> stats = m_ui->waitForItem(u"statsScreen"_s);
        QVERIFY(stats);

        // Neither choosing the tab again nor a failure replaces it.
        QVERIFY(m_ui->click(u"tab_stats"_s));
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

    void closeRequestHidesAndKeepsRunning_data()
    {
        QTest::addColumn<bool>("byButton");
        QTest::newRow("window manager close") << false;
        QTest::newRow("title bar close button") << true;
    }
    void closeRequestHidesAndKeepsRunning()
    {
        QFETCH(bool, byButton);
        QVERIFY(m_ui->setState(u"connected"_s));
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);
        if (byButton)
            QVERIFY(m_ui->click(u"closeButton"_s));
        else
            m_ui->window()->close();
        QTRY_VERIFY(!m_ui->window()->isVisible());
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
        auto *popup = m_ui->window()->findChild<QQuickWindow *>(u"trayPopup"_s);
        QVERIFY(popup && !popup->isVisible());
        QVERIFY(m_ui->setState(u"connected"_s, {{u"endpoint"_s, u"127.0.0.1:9"_s}}));
        QCOMPARE(prober->target(), u"127.0.0.1:9"_s);
        QTRY_VERIFY(prober->active());
        m_ui->window()->showMinimized();
        QTRY_COMPARE(m_ui->window()->visibility(), QWindow::Minimized);
        QTRY_VERIFY(prober->active());
        m_ui->window()->hide();
        QTRY_VERIFY(!prober->active());

        // The tray's context click opens the popup by the icon, which alone
        // keeps the prober going; a second click closes it.
        emit tray->popupRequested(300, 400);
        QVERIFY(popup->isVisible());
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
        const QString close
            = QAccessible::queryAccessibleInterface(m_ui->item(u"closeButton"_s))->text(QAccessible::Name);
        QVERIFY(!close.isEmpty() && close != u"✕"_s);
    }

    void accessDeniedOpensDialog()
    {
        QObject *dialog = m_ui->window()->findChild<QObject *>(u"accessDialog"_s);
        QVERIFY(dialog && !dialog->property("visible").toBool());
        emit m_ui->wiring()->pipeClient()->accessDenied();
        QTRY_VERIFY(dialog->property("opened").toBool());
        QMetaObject::invokeMethod(dialog, "close");
    }

private:
    std::unique_ptr<UiFixture> m_ui;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
