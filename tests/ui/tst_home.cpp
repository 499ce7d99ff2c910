#include "AppSettings.h"
#include "AppWiring.h"
#include "FakeService.h"
#include "PipeClient.h"
#include "UiFixture.h"

#include <QDateTime>
#include <QImage>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

// The home screen's dial and tiles, and the error screen that stands in for
// it, driven through the fake service.
class TestHome : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_ui = std::make_unique<UiFixture>();
        QVERIFY(m_ui->start());
        QVERIFY(m_ui->signIn());
        QVERIFY(m_ui->waitForItem(u"mainScreen"_s));
    }
    void init()
    {
        m_ui->window()->setProperty("screen", u"main"_s);
        QVERIFY(m_ui->setState(u"disconnected"_s));
        QVERIFY(m_ui->waitForItem(u"mainScreen"_s));
        m_ui->clearCommands();
    }
    void cleanupTestCase() { m_ui.reset(); }

    void dialClickSendsByState_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("command");

        QTest::newRow("idle connects") << u"disconnected"_s << u"connect"_s;
        QTest::newRow("connecting cancels") << u"connecting"_s << u"disconnect"_s;
        QTest::newRow("reconnecting cancels") << u"reconnecting"_s << u"disconnect"_s;
        QTest::newRow("connected disconnects") << u"connected"_s << u"disconnect"_s;
        QTest::newRow("unknown state connects") << u"paused"_s << u"connect"_s;
    }
    void dialClickSendsByState()
    {
        QFETCH(QString, state);
        QFETCH(QString, command);

        QVERIFY(m_ui->setState(state));
        m_ui->clearCommands();
        QVERIFY(m_ui->click(u"dial"_s));
        QVERIFY(m_ui->waitForCommand(command));
        const QString other = command == u"connect"_s ? u"disconnect"_s : u"connect"_s;
        QVERIFY(m_ui->commands(other).isEmpty());
        QCOMPARE(m_ui->commands(command).size(), 1);
    }

    void connectCarriesThePreferences_data()
    {
        QTest::addColumn<bool>("whitelist");
        QTest::addColumn<bool>("games");
        QTest::addColumn<QString>("transport");

        QTest::newRow("split tunnel, wireguard") << true << false << u"tls"_s;
        QTest::newRow("gaming, reality") << false << true << u"reality"_s;
    }
    void connectCarriesThePreferences()
    {
        QFETCH(bool, whitelist);
        QFETCH(bool, games);
        QFETCH(QString, transport);

        AppSettings *settings = m_ui->wiring()->appSettings();
        settings->setWhitelist(whitelist);
        settings->setGames(games);
        settings->setTransport(transport);
        QVERIFY(m_ui->click(u"dial"_s));
        QVERIFY(m_ui->waitForCommand(u"connect"_s));
        const QJsonObject payload = m_ui->commands(u"connect"_s).constFirst().value(u"payload"_s).toObject();
        QCOMPARE(payload.value(u"whitelist"_s).toBool(), whitelist);
        QCOMPARE(payload.value(u"games"_s).toBool(), games);
        QCOMPARE(payload.value(u"transport"_s).toString(), settings->transport());
    }

    void dialShowsState_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("attempt");
        QTest::addColumn<QString>("dialState");
        QTest::addColumn<QString>("statusKey");
        QTest::addColumn<QString>("statusSuffix");
        QTest::addColumn<QString>("hintKey");

        QTest::newRow("disconnected") << u"disconnected"_s << 0 << u"idle"_s << u"statusNotConnected"_s
                                      << QString() << u"clickToConnect"_s;
        QTest::newRow("connecting") << u"connecting"_s << 0 << u"connecting"_s << u"statusConnecting"_s
                                    << QString() << u"clickToCancel"_s;
        QTest::newRow("reconnecting, third attempt")
            << u"reconnecting"_s << 3 << u"connecting"_s << u"statusReconnecting"_s << u" · #3"_s
            << u"clickToCancel"_s;
        QTest::newRow("reconnecting, no attempt yet")
            << u"reconnecting"_s << 0 << u"connecting"_s << u"statusReconnecting"_s << u" · #0"_s
            << u"clickToCancel"_s;
        QTest::newRow("connected") << u"connected"_s << 0 << u"connected"_s << u"statusProtected"_s
                                   << QString() << QString();
    }
    void dialShowsState()
    {
        QFETCH(QString, state);
        QFETCH(int, attempt);
        QFETCH(QString, dialState);
        QFETCH(QString, statusKey);
        QFETCH(QString, statusSuffix);
        QFETCH(QString, hintKey);

        const QVariantMap t = m_ui->wiring()->appSettings()->t();
        const QString since = QDateTime::currentDateTimeUtc().addSecs(-5).toString(Qt::ISODate);
        QVERIFY(m_ui->setState(state, {{u"attempt"_s, attempt}, {u"connected_since"_s, since}}));
        QQuickItem *dial = m_ui->item(u"dial"_s);
        QCOMPARE(dial->property("dialState").toString(), dialState);
        QCOMPARE(m_ui->text(u"dialStatus"_s), t.value(statusKey).toString() + statusSuffix);
        if (hintKey.isEmpty()) {
            QVERIFY(!dial->property("hintMode").toBool());
            QVERIFY2(QRegularExpression(u"^00:0\\d$"_s).match(m_ui->text(u"dialTimer"_s)).hasMatch(),
                qPrintable(m_ui->text(u"dialTimer"_s)));
        } else {
            QVERIFY(dial->property("hintMode").toBool());
            QCOMPARE(m_ui->text(u"dialTimer"_s), t.value(hintKey).toString());
        }
        // The arc shows only while connecting, the glow only while connected.
        QCOMPARE(m_ui->item(u"dialArc"_s)->isVisible(), dialState == u"connecting"_s);
        QCOMPARE(m_ui->item(u"dialGlow"_s)->isVisible(), dialState == u"connected"_s);
    }

    void connectingArcTakesTheThemesWarningColour()
    {
        AppSettings *settings = m_ui->wiring()->appSettings();
        const bool wasDark = settings->darkTheme();
        settings->setDarkTheme(true);
        QVERIFY(m_ui->setState(u"connecting"_s));
        const QColor darkWarning = settings->warning();
        QTRY_VERIFY(ringHas(darkWarning));

        // The arc is painted once; the theme switch must repaint it.
        settings->setDarkTheme(false);
        QTRY_VERIFY(ringHas(settings->warning()));
        QVERIFY(!ringHas(darkWarning));
        settings->setDarkTheme(wasDark);
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

    void sessionClock_data()
    {
        QTest::addColumn<int>("startOffsetSecs");
        QTest::addColumn<QString>("pattern");

        QTest::newRow("just over a minute") << -65 << u"^01:0[5-7]$"_s;
        QTest::newRow("over an hour") << -3909 << u"^1:05:(09|1[01])$"_s;
        QTest::newRow("start in the future") << 120 << u"^00:00$"_s;
    }
    void sessionClock()
    {
        QFETCH(int, startOffsetSecs);
        QFETCH(QString, pattern);

        const QString since = QDateTime::currentDateTimeUtc().addSecs(startOffsetSecs).toString(Qt::ISODate);
        QVERIFY(m_ui->setState(u"connected"_s, {{u"connected_since"_s, since}}));
        QQuickItem *tile = m_ui->item(u"sessionTile"_s);
        const QRegularExpression expected(pattern);
        QTRY_VERIFY2(expected.match(tile->property("value").toString()).hasMatch(),
            qPrintable(tile->property("value").toString()));
        QCOMPARE(m_ui->text(u"dialTimer"_s), tile->property("value").toString());
    }

    void sessionClockMovesOn()
    {
        const QString since = QDateTime::currentDateTimeUtc().addSecs(-10).toString(Qt::ISODate);
        QVERIFY(m_ui->setState(u"connected"_s, {{u"connected_since"_s, since}}));
        QQuickItem *tile = m_ui->item(u"sessionTile"_s);
        const QString first = tile->property("value").toString();
        QVERIFY(!first.isEmpty() && first != u"00:00"_s);
        QTRY_VERIFY_WITH_TIMEOUT(tile->property("value").toString() != first, 3000);
    }

    void tilesFollowTheTunnel()
    {
        QQuickItem *session = m_ui->item(u"sessionTile"_s);
        QQuickItem *speed = m_ui->item(u"speedTile"_s);
        QQuickItem *traffic = m_ui->item(u"trafficTile"_s);
        QQuickItem *address = m_ui->item(u"addressTile"_s);
        for (QQuickItem *tile : {session, speed, traffic, address})
            QVERIFY(tile->property("dimmed").toBool());
        QCOMPARE(session->property("value").toString(), u"—"_s);
        QCOMPARE(speed->property("value").toString(), u"—"_s);
        QCOMPARE(traffic->property("value").toString(), u"—"_s);
        QVERIFY(m_ui->item(u"addressPlaceholder"_s)->isVisible());
        QVERIFY(!m_ui->item(u"addressSpoiler"_s)->isVisible());

        const QString since = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
        QVERIFY(m_ui->setState(u"connected"_s,
            {{u"connected_since"_s, since}, {u"down"_s, 1536}, {u"up"_s, 512},
                {u"endpoint"_s, u"203.0.113.7:51820"_s}}));
        for (QQuickItem *tile : {session, speed, traffic, address})
            QVERIFY(!tile->property("dimmed").toBool());
        QCOMPARE(traffic->property("value").toString(), u"↓1.50 KB ↑512 B"_s);
        // A first sample has no speed yet.
        QCOMPARE(speed->property("value").toString(), u"↓0 KB/s ↑0 KB/s"_s);
        QCOMPARE(speed->property("valueColor").value<QColor>(), m_ui->wiring()->appSettings()->success());
        QVERIFY(m_ui->item(u"addressSpoiler"_s)->isVisible());
        QVERIFY(!m_ui->item(u"addressPlaceholder"_s)->isVisible());

        // The live figures vanish with the tunnel.
        QVERIFY(m_ui->setState(
            u"disconnected"_s, {{u"connected_since"_s, since}, {u"down"_s, 1536}, {u"up"_s, 512}}));
        QCOMPARE(traffic->property("value").toString(), u"—"_s);
        QCOMPARE(speed->property("valueColor").value<QColor>(), m_ui->wiring()->appSettings()->fg());
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
        QFETCH(QString, shown);

        QVERIFY(m_ui->setState(u"connected"_s, {{u"endpoint"_s, endpoint}}));
        QTRY_COMPARE(m_ui->wiring()->pipeClient()->endpoint(), endpoint);
        QCOMPARE(m_ui->text(u"addressSpoiler"_s), shown);
    }

    void spoilerStartsHiddenAndKeepsRevealWhileScreenLives()
    {
        QVERIFY(m_ui->setState(u"connected"_s, {{u"endpoint"_s, u"203.0.113.7:1"_s}}));
        QQuickItem *spoiler = m_ui->waitForItem(u"addressSpoiler"_s);
        QVERIFY(spoiler);
        QVERIFY(!spoiler->property("revealed").toBool());
        QVERIFY(m_ui->click(u"addressSpoiler"_s));
        QVERIFY(spoiler->property("revealed").toBool());

        QVERIFY(m_ui->setState(u"disconnected"_s));
        QVERIFY(m_ui->setState(u"connected"_s, {{u"endpoint"_s, u"203.0.113.7:1"_s}}));
        QCOMPARE(m_ui->item(u"addressSpoiler"_s), spoiler);
        QVERIFY(spoiler->property("revealed").toBool());

        // A new home screen starts blurred again.
        QVERIFY(m_ui->click(u"tab_stats"_s));
        QVERIFY(m_ui->waitForItem(u"statsScreen"_s));
        QVERIFY(m_ui->click(u"tab_main"_s));
        QQuickItem *fresh = m_ui->waitForItem(u"addressSpoiler"_s);
        QVERIFY(fresh);
        QVERIFY(!fresh->property("revealed").toBool());
    }

    void transportLine_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<bool>("shown");

        QTest::newRow("tls") << u"tls"_s << true;
        QTest::newRow("longer tls label") << u"tls-fallback-2"_s << true;
        QTest::newRow("reality") << u"reality"_s << false;
        QTest::newRow("prefix only inside") << u"xtls"_s << false;
    }
    void transportLine()
    {
        QFETCH(QString, transport);
        QFETCH(bool, shown);

        QVERIFY(m_ui->setState(u"connected"_s, {{u"transport"_s, transport}}));
        QTRY_COMPARE(m_ui->wiring()->pipeClient()->transport(), transport);
        QQuickItem *line = m_ui->item(u"transportLine"_s);
        QCOMPARE(line->isVisible(), shown);
        if (shown)
            QCOMPARE(line->property("text").toString(),
                m_ui->wiring()->appSettings()->t().value(u"transportTls"_s).toString());

        // Never while not connected.
        QVERIFY(m_ui->setState(u"connecting"_s, {{u"transport"_s, transport}}));
        QVERIFY(!line->isVisible());
    }

    void errorLineOnlyWhileIdle_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("shown");

        QTest::newRow("disconnected") << u"disconnected"_s << true;
        QTest::newRow("connecting") << u"connecting"_s << false;
        QTest::newRow("reconnecting") << u"reconnecting"_s << false;
        QTest::newRow("connected") << u"connected"_s << false;
    }
    void errorLineOnlyWhileIdle()
    {
        QFETCH(QString, state);
        QFETCH(bool, shown);

        const QString error = u"<b>not signed in</b>"_s;
        QVERIFY(m_ui->setState(state, {{u"error"_s, error}}));
        QTRY_COMPARE(m_ui->wiring()->pipeClient()->errorText(), error);
        QQuickItem *line = m_ui->item(u"errorLine"_s);
        QCOMPARE(line->isVisible(), shown);
        QCOMPARE(line->property("text").toString(), error);
    }

    void errorScreenText_data()
    {
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("usesDefault");

        QTest::newRow("service reason") << u"handshake timed out"_s << false;
        QTest::newRow("no reason") << QString() << true;
    }
    void errorScreenText()
    {
        QFETCH(QString, error);
        QFETCH(bool, usesDefault);

        QVERIFY(m_ui->setState(u"failed"_s, {{u"error"_s, error}}));
        QVERIFY(m_ui->waitForItem(u"errorScreen"_s));
        const QVariantMap t = m_ui->wiring()->appSettings()->t();
        QTRY_COMPARE(
            m_ui->text(u"errorReason"_s), usesDefault ? t.value(u"errorDefault"_s).toString() : error);
        QCOMPARE(m_ui->text(u"errorTitle"_s), t.value(u"connectionFailed"_s).toString());
    }

    void errorScreenButtons_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("command");

        QTest::newRow("try again") << u"tryAgainButton"_s << u"connect"_s;
        QTest::newRow("cancel") << u"errorCancelButton"_s << u"disconnect"_s;
    }
    void errorScreenButtons()
    {
        QFETCH(QString, button);
        QFETCH(QString, command);

        QVERIFY(m_ui->setState(u"failed"_s));
        QVERIFY(m_ui->waitForItem(u"errorScreen"_s));
        m_ui->clearCommands();
        QVERIFY(m_ui->click(button));
        QVERIFY(m_ui->waitForCommand(command));
        if (command == u"connect"_s) {
            AppSettings *settings = m_ui->wiring()->appSettings();
            const QJsonObject payload = m_ui->commands(command).constFirst().value(u"payload"_s).toObject();
            QCOMPARE(payload.value(u"whitelist"_s).toBool(), settings->whitelist());
            QCOMPARE(payload.value(u"games"_s).toBool(), settings->games());
        }
        // The screen leaves only with the state.
        QVERIFY(m_ui->item(u"errorScreen"_s));
        QVERIFY(m_ui->setState(u"connecting"_s));
        QVERIFY(m_ui->waitForItem(u"mainScreen"_s));
    }

private:
    static bool animating(QObject *item)
    {
        const auto children = item->findChildren<QObject *>();
        return std::any_of(children.begin(), children.end(), [](QObject *child) {
            return child->inherits("QQuickAbstractAnimation") && child->property("running").toBool();
        });
    }

    // Whether the dial's track band, outside the core with its glyph, shows
    // this colour anywhere.
    bool ringHas(const QColor &colour) const
    {
        QQuickItem *dial = m_ui->item(u"dial"_s);
        const QImage image = m_ui->window()->grabWindow();
        const qreal dpr = image.devicePixelRatio();
        const QRectF box = dial->mapRectToScene(dial->boundingRect());
        const QPointF centre = box.center() * dpr;
        const qreal outer = box.width() / 2 * dpr;
        const qreal unit = box.width() / dial->width() * dpr;
        for (int y = int(centre.y() - outer); y < int(centre.y() + outer); ++y) {
            for (int x = int(centre.x() - outer); x < int(centre.x() + outer); ++x) {
                const qreal r = std::hypot(x - centre.x(), y - centre.y());
                if (r < outer - 7 * unit || r > outer - 2 * unit || !image.rect().contains(x, y))
                    continue;
                const QColor pixel = image.pixelColor(x, y);
                if (std::abs(pixel.red() - colour.red()) <= 6 && std::abs(pixel.green() - colour.green()) <= 6
                    && std::abs(pixel.blue() - colour.blue()) <= 6)
                    return true;
            }
        }
        return false;
    }

    std::unique_ptr<UiFixture> m_ui;
};

QTEST_MAIN(TestHome)
#include "tst_home.moc"
