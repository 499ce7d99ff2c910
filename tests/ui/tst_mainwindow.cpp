#include "AppSettings.h"
#include "AppWiring.h"
#include "FakeService.h"
#include "PingProber.h"
#include "PipeClient.h"
#include "UiFixture.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// The main window against the real service objects: routing, title bar,
// tab bar, hiding to the tray and what the prober follows.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_ui = std::make_unique<UiFixture>();
        QVERIFY(m_ui->start());
    }
    void init()
    {
        QMetaObject::invokeMethod(m_ui->window(), "showAndRaise");
        QVERIFY(QTest::qWaitForWindowActive(m_ui->window()));
        m_ui->window()->setProperty("screen", u"main"_s);
        QVERIFY(m_ui->signOut());
    }
    void cleanupTestCase() { m_ui.reset(); }

    void signedOutShowsSignInWithoutTabBar()
    {
        QVERIFY(m_ui->waitForItem(u"loginScreen"_s));
        QQuickItem *tabBar = m_ui->item(u"tabBar"_s);
        QVERIFY(tabBar && !tabBar->isVisible());
        // The content area then gives up only the title bar's height.
        QTRY_COMPARE(m_ui->item(u"content"_s)->height(), m_ui->item(u"panel"_s)->height() - 46);

        QVERIFY(m_ui->signIn());
        QVERIFY(m_ui->waitForItem(u"mainScreen"_s));
        QTRY_VERIFY(tabBar->isVisible());
        QCOMPARE(m_ui->item(u"content"_s)->height(), m_ui->item(u"panel"_s)->height() - 46 - 58);
    }

    void routing_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("screen");

        QTest::newRow("signed out, settings tab chosen")
            << false << u"settings"_s << u"disconnected"_s << u"loginScreen"_s;
        QTest::newRow("home tab, idle") << true << u"main"_s << u"disconnected"_s << u"mainScreen"_s;
        QTest::newRow("home tab, connecting") << true << u"main"_s << u"connecting"_s << u"mainScreen"_s;
        QTest::newRow("home tab, failed") << true << u"main"_s << u"failed"_s << u"errorScreen"_s;
        QTest::newRow("statistics tab, failed") << true << u"stats"_s << u"failed"_s << u"statsScreen"_s;
        QTest::newRow("settings tab, failed") << true << u"settings"_s << u"failed"_s << u"settingsScreen"_s;
        QTest::newRow("unknown state counts as home") << true << u"main"_s << u"weird"_s << u"mainScreen"_s;
    }
    void routing()
    {
        QFETCH(bool, signedIn);
        QFETCH(QString, tab);
        QFETCH(QString, state);
        QFETCH(QString, screen);

        m_ui->window()->setProperty("screen", tab);
        QVERIFY(m_ui->setState(state, {{u"authenticated"_s, signedIn}}));
        QVERIFY2(m_ui->waitForItem(screen), qPrintable(screen));
        for (const QString &other :
            {u"loginScreen"_s, u"mainScreen"_s, u"errorScreen"_s, u"statsScreen"_s, u"settingsScreen"_s}) {
            if (other != screen)
                QVERIFY2(!m_ui->item(other), qPrintable(other));
        }
        // The tab survives a sign-out.
        QCOMPARE(m_ui->window()->property("screen").toString(), tab);
    }

    void failureKeepsStatisticsTabAndReplacesHome()
    {
        QVERIFY(m_ui->signIn());
        QVERIFY(m_ui->click(u"tab_stats"_s));
        QPointer<QQuickItem> stats = m_ui->waitForItem(u"statsScreen"_s);
        QVERIFY(stats);

        QVERIFY(m_ui->setState(u"failed"_s));
        QVERIFY(stats);
        QCOMPARE(m_ui->item(u"statsScreen"_s), stats.data());

        QVERIFY(m_ui->click(u"tab_main"_s));
        QVERIFY(m_ui->waitForItem(u"errorScreen"_s));
        QTRY_VERIFY(!stats);

        QVERIFY(m_ui->setState(u"connecting"_s));
        QVERIFY(m_ui->waitForItem(u"mainScreen"_s));
    }

    void reselectingCurrentTabKeepsItsScreen()
    {
        QVERIFY(m_ui->signIn());
        QVERIFY(m_ui->click(u"tab_settings"_s));
        QPointer<QQuickItem> settings = m_ui->waitForItem(u"settingsScreen"_s);
        QVERIFY(settings);
        QVERIFY(m_ui->click(u"tab_settings"_s));
        QCoreApplication::processEvents();
        QVERIFY(settings);
        QCOMPARE(m_ui->item(u"settingsScreen"_s), settings.data());
    }

    void screenChangeFadesIn()
    {
        QVERIFY(m_ui->signIn());
        QVERIFY(m_ui->waitForItem(u"mainScreen"_s));
        QQuickItem *content = m_ui->item(u"content"_s);
        QTRY_COMPARE(content->opacity(), 1.0);
        QVERIFY(m_ui->click(u"tab_stats"_s));
        QVERIFY(content->opacity() < 1.0);
        QTRY_COMPARE(content->opacity(), 1.0);
    }

    void titleBarStatus_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("textKey");
        QTest::addColumn<QString>("dotColour");

        QTest::newRow("connected") << u"connected"_s << u"statusProtected"_s << u"success"_s;
        QTest::newRow("connecting") << u"connecting"_s << u"statusConnecting"_s << u"warning"_s;
        QTest::newRow("reconnecting") << u"reconnecting"_s << u"statusReconnecting"_s << u"warning"_s;
        QTest::newRow("failed") << u"failed"_s << u"connectionFailed"_s << u"danger"_s;
        QTest::newRow("disconnected") << u"disconnected"_s << u"statusNotConnected"_s << u"fgMuted"_s;
        QTest::newRow("unknown state") << u"paused"_s << u"statusNotConnected"_s << u"fgMuted"_s;
    }
    void titleBarStatus()
    {
        QFETCH(QString, state);
        QFETCH(QString, textKey);
        QFETCH(QString, dotColour);

        AppSettings *settings = m_ui->wiring()->appSettings();
        QVERIFY(m_ui->setState(state));
        QTRY_COMPARE(m_ui->text(u"statusText"_s), settings->t().value(textKey).toString());
        const QColor expected = settings->property(dotColour.toLatin1().constData()).value<QColor>();
        QTRY_COMPARE(m_ui->item(u"statusDot"_s)->property("color").value<QColor>(), expected);
    }

    void updateBadgeHidesOnSettingsTab()
    {
        QVERIFY(m_ui->signIn());
        m_ui->service()->sendLine({{u"type"_s, u"update_available"_s}, {u"update_version"_s, u"1.0"_s}});
        QTRY_VERIFY(m_ui->wiring()->pipeClient()->updateAvailable());

        auto badgeVisible = [this](const QString &tab) {
            const auto children = m_ui->item(tab)->childItems();
            for (QQuickItem *child : children) {
                if (child->objectName() == u"updateBadge"_s)
                    return child->isVisible();
            }
            return false;
        };
        QTRY_VERIFY(badgeVisible(u"tab_settings"_s));
        QVERIFY(m_ui->click(u"tab_settings"_s));
        QTRY_VERIFY(!badgeVisible(u"tab_settings"_s));
        QVERIFY(m_ui->click(u"tab_stats"_s));
        QTRY_VERIFY(badgeVisible(u"tab_settings"_s));
        // Only the settings tab ever carries it.
        QVERIFY(!badgeVisible(u"tab_main"_s));
        QVERIFY(!badgeVisible(u"tab_stats"_s));
    }

    void closeRequestHidesAndKeepsRunning_data()
    {
        QTest::addColumn<bool>("byButton");
        QTest::newRow("window manager close") << false;
        QTest::newRow("title bar close button") << true;
    }
    void closeRequestHidesAndKeepsRunning()
    {
        QVERIFY(m_ui->setState(u"connected"_s));
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        QSignalSpy quitting(qApp, &QCoreApplication::aboutToQuit);

        QFETCH(bool, byButton);
        if (byButton)
            QVERIFY(m_ui->click(u"closeButton"_s));
        else
            m_ui->window()->close();
        QTRY_VERIFY(!m_ui->window()->isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(lastClosed.count(), 0);
        QCOMPARE(quitting.count(), 0);
        QVERIFY(m_ui->service()->hasClient());
        QCOMPARE(m_ui->wiring()->pipeClient()->vpnState(), u"connected"_s);
        QVERIFY(m_ui->commands(u"disconnect"_s).isEmpty());
        QVERIFY(m_ui->commands(u"shutdown"_s).isEmpty());
    }

    void toggleHidesFocusedAndRaisesOthers()
    {
        QQuickWindow *window = m_ui->window();
        window->requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QMetaObject::invokeMethod(window, "toggleWindow");
        QTRY_VERIFY(!window->isVisible());

        QMetaObject::invokeMethod(window, "toggleWindow");
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(QTest::qWaitForWindowActive(window));

        // Another window on top: the toggle brings this one back up.
        QWindow cover;
        cover.resize(100, 100);
        cover.show();
        cover.requestActivate();
        QVERIFY(QTest::qWaitForWindowActive(&cover));
        QMetaObject::invokeMethod(window, "toggleWindow");
        QVERIFY(window->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(window));
    }

    void minimiseKeepsWindowVisibleForToggle()
    {
        QQuickWindow *window = m_ui->window();
        QVERIFY(m_ui->click(u"minimizeButton"_s));
        QTRY_COMPARE(window->visibility(), QWindow::Minimized);
        QMetaObject::invokeMethod(window, "toggleWindow");
        QTRY_COMPARE(window->visibility(), QWindow::Windowed);
    }

    void proberFollowsWindowsAndEndpoint()
    {
        PingProber *prober = m_ui->wiring()->pingProber();
        QVERIFY(m_ui->setState(u"connected"_s, {{u"endpoint"_s, u"127.0.0.1:9"_s}}));
        QTRY_COMPARE(prober->target(), u"127.0.0.1:9"_s);
        QTRY_VERIFY(prober->active());

        m_ui->window()->showMinimized();
        QTRY_COMPARE(m_ui->window()->visibility(), QWindow::Minimized);
        QTRY_VERIFY(prober->active());

        m_ui->window()->hide();
        QTRY_VERIFY(!prober->active());

        // The tray popup alone keeps it going.
        emit m_ui->wiring()->trayManager()->popupRequested(200, 600);
        QObject *popup = m_ui->window()->findChild<QObject *>(u"trayPopup"_s);
        QVERIFY(popup);
        QTRY_VERIFY(popup->property("visible").toBool());
        QTRY_VERIFY(prober->active());
        emit m_ui->wiring()->trayManager()->popupRequested(200, 600);
        QTRY_VERIFY(!popup->property("visible").toBool());
        QTRY_VERIFY(!prober->active());
    }

    void showRequestHidesPopup()
    {
        emit m_ui->wiring()->trayManager()->popupRequested(300, 500);
        QObject *popup = m_ui->window()->findChild<QObject *>(u"trayPopup"_s);
        QTRY_VERIFY(popup->property("visible").toBool());
        emit m_ui->wiring()->trayManager()->showRequested();
        QTRY_VERIFY(!popup->property("visible").toBool());
        QTRY_VERIFY(m_ui->window()->isVisible());
    }

    void screenReaderReadsStateAndOperatesControls()
    {
        const QVariantMap t = m_ui->wiring()->appSettings()->t();
        QVERIFY(m_ui->setState(u"connected"_s));
        QVERIFY(m_ui->waitForItem(u"mainScreen"_s));

        QAccessibleInterface *status = QAccessible::queryAccessibleInterface(m_ui->item(u"statusText"_s));
        QVERIFY(status);
        QCOMPARE(status->text(QAccessible::Name), t.value(u"statusProtected"_s).toString());

        QAccessibleInterface *dial = QAccessible::queryAccessibleInterface(m_ui->item(u"dial"_s));
        QVERIFY(dial && dial->actionInterface());
        QCOMPARE(dial->role(), QAccessible::Button);
        QCOMPARE(dial->text(QAccessible::Name), t.value(u"statusProtected"_s).toString());
        m_ui->clearCommands();
        dial->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(m_ui->waitForCommand(u"disconnect"_s));

        QAccessibleInterface *statsTab = QAccessible::queryAccessibleInterface(m_ui->item(u"tab_stats"_s));
        QVERIFY(statsTab && statsTab->actionInterface());
        QCOMPARE(statsTab->role(), QAccessible::PageTab);
        QCOMPARE(statsTab->text(QAccessible::Name), t.value(u"tabStats"_s).toString());
        statsTab->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(m_ui->waitForItem(u"statsScreen"_s));

        QAccessibleInterface *close = QAccessible::queryAccessibleInterface(m_ui->item(u"closeButton"_s));
        QVERIFY(close && !close->text(QAccessible::Name).isEmpty());
        QVERIFY(close->text(QAccessible::Name) != u"✕"_s);
    }

    void accessDeniedOpensDialog()
    {
        QObject *dialog = m_ui->window()->findChild<QObject *>(u"accessDialog"_s);
        QVERIFY(dialog);
        QVERIFY(!dialog->property("visible").toBool());
        emit m_ui->wiring()->pipeClient()->accessDenied();
        QTRY_VERIFY(dialog->property("opened").toBool());
        QCOMPARE(dialog->property("title").toString(), u"Нет доступа к демону"_s);
        QVERIFY(m_ui->item(u"loginScreen"_s));
        QMetaObject::invokeMethod(dialog, "close");
        QTRY_VERIFY(!dialog->property("visible").toBool());
    }

private:
    std::unique_ptr<UiFixture> m_ui;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
