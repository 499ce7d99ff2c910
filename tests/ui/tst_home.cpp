#include "AppSettings.h"
#include "AppWiring.h"
#include "PipeClient.h"
#include "UiFixture.h"

#include <QDateTime>
#include <QImage>
#include <QJsonObject>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString sinceNow(int offsetSecs)
{
    return QDateTime::currentDateTimeUtc().addSecs(offsetSecs).toString(Qt::ISODate);
}

bool animating(QObject *item)
{
    const auto children = item->findChildren<QObject *>();
    return std::any_of(children.begin(), children.end(), [](QObject *child) {
        return child->inherits("QQuickAbstractAnimation") && child->property("running").toBool();
    });
}

} // namespace

// The home screen's dial and tiles, and the error screen that stands in for
// it, driven through the fake service.
class TestHome : public QObject
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
        m_ui->window()->setProperty("screen", u"main"_s);
        QVERIFY(m_ui->setState(u"disconnected"_s));
        QVERIFY(m_ui->waitForItem(u"mainScreen"_s));
        m_ui->clearCommands();
    }
    void cleanupTestCase() { m_ui.reset(); }

    void clickSends_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("whitelist");
        QTest::addColumn<bool>("games");
        QTest::addColumn<QString>("transport");

        QTest::newRow("idle dial connects, split tunnel")
            << u"disconnected"_s << u"dial"_s << u"connect"_s << true << false << u"tls"_s;
        QTest::newRow("unknown state dial connects, gaming")
            << u"paused"_s << u"dial"_s << u"connect"_s << false << true << u"reality"_s;
        QTest::newRow("connecting dial cancels")
            << u"connecting"_s << u"dial"_s << u"disconnect"_s << false << false << u"tls"_s;
        QTest::newRow("reconnecting dial cancels")
            << u"reconnecting"_s << u"dial"_s << u"disconnect"_s << false << false << u"tls"_s;
        QTest::newRow("connected dial disconnects")
            << u"connected"_s << u"dial"_s << u"disconnect"_s << false << false << u"tls"_s;
        QTest::newRow("error screen try again connects")
            << u"failed"_s << u"tryAgainButton"_s << u"connect"_s << true << true << u"reality"_s;
        QTest::newRow("error screen cancel")
            << u"failed"_s << u"errorCancelButton"_s << u"disconnect"_s << false << false << u"tls"_s;
    }
    void clickSends()
    {
        QFETCH(QString, state);
        QFETCH(QString, button);
        QFETCH(QString, command);
        QFETCH(bool, whitelist);
        QFETCH(bool, games);
        QFETCH(QString, transport);

        AppSettings *settings = m_ui->wiring()->appSettings();
        settings->setWhitelist(whitelist);
        settings->setGames(games);
        settings->setTransport(transport);
        QVERIFY(m_ui->setState(state));
        QVERIFY(m_ui->click(button));
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), QStringList {command});
        if (command == "connect"_L1) {
            const QJsonObject payload {
                {u"whitelist"_s, whitelist}, {u"games"_s, games}, {u"transport"_s, transport}};
            QCOMPARE(m_ui->commands(command).constFirst().value(u"payload"_s).toObject(), payload);
        }
    }

    void dialShowsState_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("attempt");
        QTest::addColumn<QString>("dialState");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("hint");

        QTest::newRow("disconnected")
            << u"disconnected"_s << 0 << u"idle"_s << u"Not connected"_s << u"click to connect"_s;
        QTest::newRow("connecting") << u"connecting"_s << 0 << u"connecting"_s << u"Connecting…"_s
                                    << u"click to cancel"_s;
        QTest::newRow("reconnecting, third attempt")
            << u"reconnecting"_s << 3 << u"connecting"_s << u"Reconnecting · #3"_s << u"click to cancel"_s;
        QTest::newRow("reconnecting, no attempt yet")
            << u"reconnecting"_s << 0 << u"connecting"_s << u"Reconnecting · #0"_s << u"click to cancel"_s;
        QTest::newRow("connected: the session clock")
            << u"connected"_s << 0 << u"connected"_s << u"Protected"_s << QString();
    }
    void dialShowsState()
    {
        QFETCH(QString, state);
        QFETCH(int, attempt);
        QFETCH(QString, dialState);
        QFETCH(QString, hint);

        QVERIFY(m_ui->setState(state, {{u"attempt"_s, attempt}, {u"connected_since"_s, sinceNow(-5)}}));
        QQuickItem *dial = m_ui->item(u"dial"_s);
        QCOMPARE(dial->property("dialState").toString(), dialState);
        QTEST(m_ui->text(u"dialStatus"_s), "status");
        QCOMPARE(dial->property("hintMode").toBool(), !hint.isEmpty());
        const QString timer = m_ui->text(u"dialTimer"_s);
        QVERIFY2(hint.isEmpty() ? QRegularExpression(u"^00:0\\d$"_s).match(timer).hasMatch() : timer == hint,
            qPrintable(timer));
        // The arc shows only while connecting, the glow only while connected.
        QCOMPARE(m_ui->item(u"dialArc"_s)->isVisible(), dialState == u"connecting"_s);
        QCOMPARE(m_ui->item(u"dialGlow"_s)->isVisible(), dialState == u"connected"_s);
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

    void sessionClock_data()
    {
        QTest::addColumn<int>("startOffsetSecs");
        QTest::addColumn<QString>("pattern");

        QTest::newRow("just over a minute, running") << -65 << u"^01:0[5-7]$"_s;
        QTest::newRow("over an hour") << -3909 << u"^1:05:(09|1[01])$"_s;
        QTest::newRow("start in the future") << 120 << u"^00:00$"_s;
    }
    void sessionClock()
    {
        QFETCH(int, startOffsetSecs);
        QFETCH(QString, pattern);

        QVERIFY(m_ui->setState(u"connected"_s, {{u"connected_since"_s, sinceNow(startOffsetSecs)}}));
        QQuickItem *tile = m_ui->item(u"sessionTile"_s);
        const QString first = tile->property("value").toString();
        QVERIFY2(QRegularExpression(pattern).match(first).hasMatch(), qPrintable(first));
        QCOMPARE(m_ui->text(u"dialTimer"_s), first);
        if (startOffsetSecs < 0)
            QTRY_VERIFY(tile->property("value").toString() != first);
    }

    void tilesFollowTheTunnel()
    {
        AppSettings *settings = m_ui->wiring()->appSettings();
        const QStringList tiles {u"sessionTile"_s, u"speedTile"_s, u"trafficTile"_s, u"addressTile"_s};
        const auto value = [this](const QString &tile) { return m_ui->text(tile, "value"); };
        for (const QString &tile : tiles)
            QVERIFY(m_ui->item(tile)->property("dimmed").toBool());
        QCOMPARE(value(u"sessionTile"_s), u"—"_s);
        QCOMPARE(value(u"speedTile"_s), u"—"_s);
        QCOMPARE(value(u"trafficTile"_s), u"—"_s);
        QVERIFY(m_ui->item(u"addressPlaceholder"_s)->isVisible());
        QVERIFY(!m_ui->item(u"addressSpoiler"_s)->isVisible());

        const QJsonObject live {{u"connected_since"_s, sinceNow(0)}, {u"down"_s, 1536}, {u"up"_s, 512},
            {u"endpoint"_s, u"203.0.113.7:51820"_s}};
        QVERIFY(m_ui->setState(u"connected"_s, live));
        for (const QString &tile : tiles)
            QVERIFY(!m_ui->item(tile)->property("dimmed").toBool());
        QCOMPARE(value(u"trafficTile"_s), u"↓1.50 KB ↑512 B"_s);
        // A first sample has no speed yet.
        QCOMPARE(value(u"speedTile"_s), u"↓0 KB/s ↑0 KB/s"_s);
        QCOMPARE(m_ui->item(u"speedTile"_s)->property("valueColor").value<QColor>(), settings->success());
        QVERIFY(m_ui->item(u"addressSpoiler"_s)->isVisible());
        QVERIFY(!m_ui->item(u"addressPlaceholder"_s)->isVisible());

        // The live figures vanish with the tunnel.
        QVERIFY(m_ui->setState(u"disconnected"_s, live));
        QCOMPARE(value(u"trafficTile"_s), u"—"_s);
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

    void stateLines_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("transport");
        QTest::addColumn<bool>("transportShown");
        QTest::addColumn<bool>("errorShown");

        QTest::newRow("connected over tls") << u"connected"_s << u"tls"_s << true << false;
        QTest::newRow("connected over a longer tls label")
            << u"connected"_s << u"tls-fallback-2"_s << true << false;
        QTest::newRow("connected over reality") << u"connected"_s << u"reality"_s << false << false;
        QTest::newRow("connected, tls only inside the name") << u"connected"_s << u"xtls"_s << false << false;
        QTest::newRow("connecting over tls") << u"connecting"_s << u"tls"_s << false << false;
        QTest::newRow("reconnecting") << u"reconnecting"_s << u"tls"_s << false << false;
        QTest::newRow("disconnected: the error shows") << u"disconnected"_s << u"tls"_s << false << true;
    }
    void stateLines()
    {
        QFETCH(QString, state);
        QFETCH(QString, transport);

        const QString error = u"<b>not signed in</b>"_s;
        QVERIFY(m_ui->setState(state, {{u"transport"_s, transport}, {u"error"_s, error}}));
        QTEST(m_ui->item(u"transportLine"_s)->isVisible(), "transportShown");
        if (m_ui->item(u"transportLine"_s)->isVisible())
            QCOMPARE(m_ui->text(u"transportLine"_s), u"WireGuard · games available"_s);
        QTEST(m_ui->item(u"errorLine"_s)->isVisible(), "errorShown");
        QCOMPARE(m_ui->text(u"errorLine"_s), error);
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
    }

private:
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
