#include "AppSettings.h"
#include "AppWiring.h"
#include "StatsStore.h"
#include "Ui2Fixture.h"

#include <QColor>
#include <QLocale>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Seed
{
    int daysFromToday = 0;
    qint64 up = 0;
    qint64 down = 0;
    int protectedSeconds = 0;
    double speedSum = 0;
    int speedCount = 0;
    qint64 pingSum = 0;
    int pingCount = 0;
};

using Seeds = QList<Seed>;

void seed(Ui2Fixture &fixture, const Seeds &seeds)
{
    for (const Seed &s : seeds) {
        fixture.seedDay(s.daysFromToday, s.up, s.down, s.protectedSeconds, s.speedSum, s.speedCount,
            s.pingSum, s.pingCount);
    }
}

QString text(QQuickItem *item, const char *property)
{
    return item ? item->property(property).toString() : u"<missing>"_s;
}

QString weekdayOf(int index, QLocale::Language language, QLocale::Territory territory)
{
    const QDate date = Ui2Fixture::now().date().addDays(index - 6);
    return QLocale(language, territory).dayName(date.dayOfWeek(), QLocale::ShortFormat);
}

} // namespace

Q_DECLARE_METATYPE(Seeds)

class TestStatsScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void tiles_data();
    void tiles();
    void bars_data();
    void bars();
    void followsStoreRefresh();
    void languageSwitchWhileOpen();
};

void TestStatsScreen::init()
{
    // QML errors (bindings, types, layouts) are warnings naming their document.
    QTest::failOnWarning(QRegularExpression(u"^(qrc|file):"_s));
}

void TestStatsScreen::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestStatsScreen::tiles_data()
{
    QTest::addColumn<Seeds>("seeds");
    QTest::addColumn<bool>("noteShown");
    QTest::addColumn<QString>("traffic");
    QTest::addColumn<QString>("trafficSub");
    QTest::addColumn<QString>("hours");
    QTest::addColumn<QString>("hoursSub");
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("speedSub");
    QTest::addColumn<QString>("ping");
    QTest::addColumn<QString>("pingSub");
    QTest::addColumn<bool>("pingInSuccess");
    QTest::addColumn<QString>("chartTotal");

    QTest::newRow("no history: dashes without sub-lines, no chart total")
        << Seeds {} << true << u"—"_s << u""_s << u"—"_s << u""_s << u"—"_s << u""_s << u"—"_s << u""_s
        << false << u""_s;
    QTest::newRow("one day with every kind of sample")
        << Seeds {{0, 512 * 1024, 1536 * 1024, 3599, 2 * 356 * 1024.0, 2, 126, 3}} << false << u"2.00 MB"_s
        << u"↓ 1.50 MB · ↑ 512 KB"_s << u"0 h 59 m"_s << u"this week"_s << u"356 KB/s"_s << u"↓ download"_s
        << u"42 ms"_s << u"to server"_s << true << u"2.00 MB"_s;
    QTest::newRow("protected hours beyond a day are not capped")
        << Seeds {{-1, 0, 1024, 50000}, {0, 0, 1024, 40000}} << false << u"2.00 KB"_s
        << u"↓ 2.00 KB · ↑ 0 B"_s << u"25 h 0 m"_s << u"this week"_s << u"—"_s << u""_s << u"—"_s << u""_s
        << false << u"2.00 KB"_s;
    QTest::newRow("ping 0 ms is a value, in success")
        << Seeds {{0, 1, 1, 60, 0, 0, 0, 4}} << false << u"2 B"_s << u"↓ 1 B · ↑ 1 B"_s << u"0 h 1 m"_s
        << u"this week"_s << u"—"_s << u""_s << u"0 ms"_s << u"to server"_s << true << u"2 B"_s;
    QTest::newRow("ping 59 ms still in success")
        << Seeds {{0, 1, 1, 0, 0, 0, 599, 10}} << false << u"2 B"_s << u"↓ 1 B · ↑ 1 B"_s << u"0 h 0 m"_s
        << u"this week"_s << u"—"_s << u""_s << u"59 ms"_s << u"to server"_s << true << u"2 B"_s;
    QTest::newRow("ping 60 ms in the normal colour")
        << Seeds {{0, 1, 1, 0, 0, 0, 60, 1}} << false << u"2 B"_s << u"↓ 1 B · ↑ 1 B"_s << u"0 h 0 m"_s
        << u"this week"_s << u"—"_s << u""_s << u"60 ms"_s << u"to server"_s << false << u"2 B"_s;
    QTest::newRow("history only before the week: zero figures, no empty note")
        << Seeds {{-10, 5000, 5000, 7200, 1000, 1, 30, 1}} << false << u"0 B"_s << u"↓ 0 B · ↑ 0 B"_s
        << u"0 h 0 m"_s << u"this week"_s << u"—"_s << u""_s << u"—"_s << u""_s << false << u"0 B"_s;
}

void TestStatsScreen::tiles()
{
    QFETCH(Seeds, seeds);
    QFETCH(bool, noteShown);

    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    // Seeded after the store's own first refresh: only the screen's refresh
    // on creation can bring these rows in.
    seed(fixture, seeds);
    QVERIFY(fixture.loadScreen(u"StatsScreen"_s));

    QQuickItem *traffic = fixture.item(u"tileTraffic"_s);
    QQuickItem *hours = fixture.item(u"tileProtected"_s);
    QQuickItem *speed = fixture.item(u"tileSpeed"_s);
    QQuickItem *ping = fixture.item(u"tilePing"_s);
    QVERIFY(traffic && hours && speed && ping);

    QCOMPARE(fixture.item(u"noStatsNote"_s)->isVisible(), noteShown);
    QTEST(text(traffic, "value"), "traffic");
    QTEST(text(traffic, "sub"), "trafficSub");
    QTEST(text(hours, "value"), "hours");
    QTEST(text(hours, "sub"), "hoursSub");
    QTEST(text(speed, "value"), "speed");
    QTEST(text(speed, "sub"), "speedSub");
    QTEST(text(ping, "value"), "ping");
    QTEST(text(ping, "sub"), "pingSub");
    QTEST(text(fixture.item(u"chartTotal"_s), "text"), "chartTotal");

    QFETCH(bool, pingInSuccess);
    AppSettings *palette = fixture.wiring().appSettings();
    QCOMPARE(
        ping->property("valueColor").value<QColor>(), pingInSuccess ? palette->success() : palette->fg());
    for (QQuickItem *tile : {traffic, hours, speed})
        QCOMPARE(tile->property("valueColor").value<QColor>(), palette->fg());
}

void TestStatsScreen::bars_data()
{
    QTest::addColumn<Seeds>("seeds");
    QTest::addColumn<QList<int>>("heights");

    QTest::newRow("no history: every bar at the 4 px floor") << Seeds {} << QList<int> {4, 4, 4, 4, 4, 4, 4};
    QTest::newRow("traffic today only") << Seeds {{0, 100, 900}} << QList<int> {4, 4, 4, 4, 4, 4, 96};
    QTest::newRow("busiest day mid-week scales the others")
        << Seeds {{-6, 5, 5}, {-3, 400, 600}, {-1, 0, 500}} << QList<int> {4, 4, 4, 96, 4, 48, 4};
}

void TestStatsScreen::bars()
{
    QFETCH(Seeds, seeds);
    QFETCH(QList<int>, heights);

    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    seed(fixture, seeds);
    QVERIFY(fixture.loadScreen(u"StatsScreen"_s));

    const QColor accent = fixture.wiring().appSettings()->accent();
    for (int i = 0; i < 7; ++i) {
        QQuickItem *bar = fixture.item(u"dayBar%1"_s.arg(i));
        QVERIFY2(bar, qPrintable(u"bar %1"_s.arg(i)));
        QCOMPARE(qRound(bar->height()), heights.at(i));
        QVERIFY(bar->width() <= 34);
        const QColor colour = bar->property("color").value<QColor>();
        QCOMPARE(colour.rgb(), accent.rgb());
        // Today stands out in the full accent; the other days are tinted.
        if (i == 6)
            QCOMPARE(colour.alpha(), 255);
        else
            QVERIFY(qAbs(colour.alphaF() - 0.55) < 0.01);
    }
}

void TestStatsScreen::followsStoreRefresh()
{
    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    QVERIFY(fixture.loadScreen(u"StatsScreen"_s));
    QVERIFY(fixture.item(u"noStatsNote"_s)->isVisible());

    fixture.seedDay(-2, 0, 2048);
    fixture.wiring().statsStore()->refresh();

    QVERIFY(!fixture.item(u"noStatsNote"_s)->isVisible());
    QCOMPARE(text(fixture.item(u"tileTraffic"_s), "value"), u"2.00 KB"_s);
    // New bars are laid out at the next polish.
    QTRY_COMPARE(qRound(fixture.item(u"dayBar4"_s)->height()), 96);
}

void TestStatsScreen::languageSwitchWhileOpen()
{
    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    fixture.seedDay(0, 10, 10, 3599, 0, 0, 42, 1);
    QVERIFY(fixture.loadScreen(u"StatsScreen"_s));

    // The ctest environment runs this in a zone west of UTC, where a date
    // read as UTC midnight would fall on the day before.
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(text(fixture.item(u"dayLabel%1"_s.arg(i)), "text"),
            weekdayOf(i, QLocale::English, QLocale::UnitedStates));
    }
    QCOMPARE(text(fixture.item(u"tilePing"_s), "value"), u"42 ms"_s);
    QCOMPARE(text(fixture.item(u"tileProtected"_s), "value"), u"0 h 59 m"_s);

    fixture.wiring().appSettings()->setLanguage(u"ru"_s);

    QCOMPARE(text(fixture.item(u"tilePing"_s), "value"), u"42 мс"_s);
    QCOMPARE(text(fixture.item(u"tileProtected"_s), "value"), u"0 ч 59 м"_s);
    QCOMPARE(
        text(fixture.item(u"tilePing"_s), "label"), fixture.wiring().appSettings()->t().value(u"avgPing"_s));
    for (int i = 0; i < 7; ++i) {
        QCOMPARE(text(fixture.item(u"dayLabel%1"_s.arg(i)), "text"),
            weekdayOf(i, QLocale::Russian, QLocale::Russia));
    }
}

QTEST_MAIN(TestStatsScreen)
#include "tst_statsscreen.moc"
