#include "AppSettings.h"
#include "AppWiring.h"
#include "PipeClient.h"
#include "TrayManager.h"
#include "UiFixture.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

bool openAt(QQuickWindow *popup, QPoint anchor)
{
    return QMetaObject::invokeMethod(
               popup, "openAt", Q_ARG(QVariant, anchor.x()), Q_ARG(QVariant, anchor.y()))
        && QTest::qWaitForWindowExposed(popup);
}

} // namespace

// The tray popup on its own against the real service objects.
class TestTrayPopup : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(qrc|file):"_s));
        m_ui = std::make_unique<UiFixture>();
        QVERIFY(m_ui->start());
        m_popup = m_ui->loadPopup();
        QVERIFY(m_popup && !m_popup->isVisible());
    }
    void cleanup() { m_ui.reset(); }

    void placement_data()
    {
        QTest::addColumn<QPoint>("anchor");
        QTest::addColumn<QPoint>("expected");

        const QRect area = QGuiApplication::primaryScreen()->availableVirtualGeometry();
        const int sw = area.width();
        const int sh = area.height();
        QTest::newRow("centred 12 above the anchor")
            << QPoint(sw / 2, 400) << QPoint(sw / 2 - 170, 400 - 224);
        QTest::newRow("left edge: 8 from it") << QPoint(20, 400) << QPoint(8, 176);
        QTest::newRow("right edge: 8 from it") << QPoint(sw - 10, 400) << QPoint(sw - 348, 176);
        QTest::newRow("top edge: 12 below the anchor") << QPoint(300, 30) << QPoint(130, 42);
        QTest::newRow("exactly 8 from the top is too high: below") << QPoint(300, 232) << QPoint(130, 244);
        QTest::newRow("9 from the top fits above") << QPoint(300, 233) << QPoint(130, 9);
        QTest::newRow("tray in a panel below the available area: ends 8 above it")
            << QPoint(sw - 40, sh + 10) << QPoint(sw - 348, sh - 220);
    }
    void placement()
    {
        QFETCH(QPoint, anchor);
        QVERIFY(openAt(m_popup, anchor));
        QCOMPARE(m_popup->size(), QSize(340, 212));
        QTEST(m_popup->position(), "expected");
    }

    void placementAcrossScreens_data()
    {
        QTest::addColumn<QPoint>("anchor");
        QTest::addColumn<QPoint>("expected");

        // Run with a screen left of the primary one (ui_traypopup_twoscreens):
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
    void placementAcrossScreens() { placement(); }

    void stateAndMainButton_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("state");
        // Status text, button text and variant.
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QByteArray>("dot");
        QTest::addColumn<QString>("command");

        const QStringList idle {u"Not connected"_s, u"Connect"_s, u"ghost"_s};
        QTest::newRow("signed out: disabled, sends nothing")
            << false << u"disconnected"_s << idle << QByteArray("fgMuted") << QString();
        QTest::newRow("disconnected: connect")
            << true << u"disconnected"_s << idle << QByteArray("fgMuted") << u"connect"_s;
        QTest::newRow("connecting: cancel")
            << true << u"connecting"_s << QStringList {u"Connecting…"_s, u"Cancel"_s, u"ghost"_s}
            << QByteArray("warning") << u"disconnect"_s;
        QTest::newRow("reconnecting: cancel")
            << true << u"reconnecting"_s << QStringList {u"Reconnecting"_s, u"Cancel"_s, u"ghost"_s}
            << QByteArray("warning") << u"disconnect"_s;
        QTest::newRow("connected: red disconnect")
            << true << u"connected"_s << QStringList {u"Protected"_s, u"Disconnect"_s, u"danger-ghost"_s}
            << QByteArray("success") << u"disconnect"_s;
        QTest::newRow("failed: connect again")
            << true << u"failed"_s << QStringList {u"Connection failed"_s, u"Connect"_s, u"ghost"_s}
            << QByteArray("danger") << u"connect"_s;
        QTest::newRow("unknown state counts as idle")
            << true << u"paused"_s << idle << QByteArray("fgMuted") << u"connect"_s;
    }
    void stateAndMainButton()
    {
        QFETCH(bool, signedIn);
        QFETCH(QString, state);
        QFETCH(QStringList, texts);
        QFETCH(QByteArray, dot);
        QFETCH(QString, command);

        AppSettings *settings = m_ui->wiring()->appSettings();
        settings->setWhitelist(true);
        settings->setTransport(u"reality"_s);
        QVERIFY(openAt(m_popup, {400, 400}));
        QVERIFY(m_ui->setState(state, {{u"authenticated"_s, signedIn}}));

        QQuickItem *button = m_ui->item(u"popupMainButton"_s);
        QCOMPARE(QStringList({m_ui->text(u"popupStatus"_s), m_ui->text(u"popupMainButton"_s),
                     m_ui->text(u"popupMainButton"_s, "variant")}),
            texts);
        QTRY_COMPARE(m_ui->item(u"popupDot"_s)->property("color").value<QColor>(),
            settings->property(dot.constData()).value<QColor>());
        QCOMPARE(button->isEnabled(), signedIn);

        m_ui->clearCommands();
        QVERIFY(m_ui->click(button));
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), command.isEmpty() ? QStringList() : QStringList {command});
        if (command == "connect"_L1) {
            const QJsonObject payload {
                {u"whitelist"_s, true}, {u"games"_s, false}, {u"transport"_s, u"reality"_s}};
            QCOMPARE(m_ui->commands(command).constFirst().value(u"payload"_s).toObject(), payload);
        }
    }

    void openAndQuitWhileSignedOut()
    {
        TrayManager *tray = m_ui->wiring()->trayManager();
        QSignalSpy showSpy(tray, &TrayManager::showRequested);
        QSignalSpy quitSpy(tray, &TrayManager::quitRequested);
        // The main window rises on this signal; the popup must be out of the
        // way by then.
        bool visibleAtShowRequest = true;
        connect(
            tray, &TrayManager::showRequested, this, [&] { visibleAtShowRequest = m_popup->isVisible(); });

        QVERIFY(openAt(m_popup, {400, 400}));
        QVERIFY(m_ui->click(u"popupOpenButton"_s));
        QCOMPARE(showSpy.count(), 1);
        QVERIFY(!visibleAtShowRequest);
        QVERIFY(!m_popup->isVisible());

        QVERIFY(openAt(m_popup, {400, 400}));
        QVERIFY(m_ui->click(u"popupQuitButton"_s));
        QCOMPARE(quitSpy.count(), 1);
        QCOMPARE(showSpy.count(), 1);
    }

    void hidesWhenFocusMovesAway()
    {
        QVERIFY(openAt(m_popup, {400, 400}));
        QTRY_VERIFY(m_popup->isActive());
        QWindow other;
        other.resize(100, 100);
        other.show();
        other.requestActivate();
        QTRY_VERIFY(!m_popup->isVisible());

        // Opened again, it takes the focus again and stays.
        QVERIFY(openAt(m_popup, {400, 400}));
        QTRY_VERIFY(m_popup->isActive());
        QVERIFY(m_popup->isVisible());
    }

private:
    std::unique_ptr<UiFixture> m_ui;
    QQuickWindow *m_popup = nullptr;
};

QTEST_MAIN(TestTrayPopup)
#include "tst_traypopup.moc"
