#include "AppSettings.h"
#include "AppWiring.h"
#include "StatsStore.h"
#include "UiFixture.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// One day row: days from today, up, down, protected seconds, speed sum and
// count, ping sum and count.
struct Seed
{
    int day = 0;
    qint64 up = 0;
    qint64 down = 0;
    int seconds = 0;
    double speedSum = 0;
    int speedCount = 0;
    qint64 pingSum = 0;
    int pingCount = 0;
};
using Seeds = QList<Seed>;

QStringList weekdays(const QLocale &locale)
{
    QStringList names;
    for (int i = 0; i < 7; ++i)
        names.append(
            locale.dayName(UiFixture::now().date().addDays(i - 6).dayOfWeek(), QLocale::ShortFormat));
    return names;
}

} // namespace

Q_DECLARE_METATYPE(Seeds)

// The statistics screen over a seeded database and a fixed clock.
class TestStats : public QObject
{
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(u"^(qrc|file):"_s)); }

    void tiles_data()
    {
        QTest::addColumn<Seeds>("seeds");
        // Value and sub-line of the traffic, hours, speed and ping tiles, and
        // the chart total, joined by '|'.
        QTest::addColumn<QString>("texts");
        QTest::addColumn<bool>("pingInSuccess");

        QTest::newRow("no history: dashes without sub-lines, no chart total")
            << Seeds {} << u"—||—||—||—||"_s << false;
        QTest::newRow("one day with every kind of sample")
            << Seeds {{0, 512 * 1024, 1536 * 1024, 3599, 2 * 356 * 1024.0, 2, 126, 3}}
            << u"2.00 MB|↓ 1.50 MB · ↑ 512 KB|0 h 59 m|this week|356 KB/s|↓ download|42 ms|to server|2.00 MB"_s
            << true;
        QTest::newRow("protected hours beyond a day are not capped")
            << Seeds {{-1, 0, 1024, 50000}, {0, 0, 1024, 40000}}
            << u"2.00 KB|↓ 2.00 KB · ↑ 0 B|25 h 0 m|this week|—||—||2.00 KB"_s << false;
        QTest::newRow("ping 0 ms is a value, in success")
            << Seeds {{0, 1, 1, 60, 0, 0, 0, 4}}
            << u"2 B|↓ 1 B · ↑ 1 B|0 h 1 m|this week|—||0 ms|to server|2 B"_s << true;
        QTest::newRow("ping 59 ms still in success")
            << Seeds {{0, 1, 1, 0, 0, 0, 599, 10}}
            << u"2 B|↓ 1 B · ↑ 1 B|0 h 0 m|this week|—||59 ms|to server|2 B"_s << true;
        QTest::newRow("ping 60 ms in the normal colour")
            << Seeds {{0, 1, 1, 0, 0, 0, 60, 1}}
            << u"2 B|↓ 1 B · ↑ 1 B|0 h 0 m|this week|—||60 ms|to server|2 B"_s << false;
        QTest::newRow("history only before the week: zero figures, no empty note")
            << Seeds {{-10, 5000, 5000, 7200, 1000, 1, 30, 1}}
            << u"0 B|↓ 0 B · ↑ 0 B|0 h 0 m|this week|—||—||0 B"_s << false;
    }
    void tiles()
    {
        QFETCH(Seeds, seeds);
        QFETCH(bool, pingInSuccess);

        UiFixture ui;
        QVERIFY(ui.start());
        // Seeded after the store's own first refresh: only the screen's
        // refresh on creation can bring these rows in.
        seed(ui, seeds);
        QVERIFY(ui.loadScreen(u"StatsScreen"_s));
        QCOMPARE(ui.item(u"noStatsNote"_s)->isVisible(), seeds.isEmpty());
        QStringList shown;
        for (const QString &tile : {u"tileTraffic"_s, u"tileProtected"_s, u"tileSpeed"_s, u"tilePing"_s})
            shown << ui.text(tile, "value") << ui.text(tile, "sub");
        QTEST((shown << ui.text(u"chartTotal"_s)).join(u'|'), "texts");
        AppSettings *palette = ui.wiring()->appSettings();
        QCOMPARE(ui.item(u"tilePing"_s)->property("valueColor").value<QColor>(),
            pingInSuccess ? palette->success() : palette->fg());
    }

    void bars_data()
    {
        QTest::addColumn<Seeds>("seeds");
        QTest::addColumn<QList<int>>("heights");

        QTest::newRow("no history: every bar at the 4 px floor")
            << Seeds {} << QList<int> {4, 4, 4, 4, 4, 4, 4};
        QTest::newRow("traffic today only") << Seeds {{0, 100, 900}} << QList<int> {4, 4, 4, 4, 4, 4, 96};
        QTest::newRow("busiest day mid-week scales the others")
            << Seeds {{-6, 5, 5}, {-3, 400, 600}, {-1, 0, 500}} << QList<int> {4, 4, 4, 96, 4, 48, 4};
    }
    void bars()
    {
        QFETCH(Seeds, seeds);
        QFETCH(QList<int>, heights);

        UiFixture ui;
        QVERIFY(ui.start());
        seed(ui, seeds);
        QVERIFY(ui.loadScreen(u"StatsScreen"_s));
        const QColor accent = ui.wiring()->appSettings()->accent();
        for (int i = 0; i < 7; ++i) {
            QQuickItem *bar = ui.item(u"dayBar%1"_s.arg(i));
            QVERIFY(bar);
            QCOMPARE(qRound(bar->height()), heights.at(i));
            // Today stands out in the full accent; the other days are tinted.
            const QColor colour = bar->property("color").value<QColor>();
            QCOMPARE(colour.rgb(), accent.rgb());
            QCOMPARE(qRound(colour.alphaF() * 100), i == 6 ? 100 : 55);
        }
    }

    void followsStoreRefresh()
    {
        UiFixture ui;
        QVERIFY(ui.start());
        QVERIFY(ui.loadScreen(u"StatsScreen"_s));
        QVERIFY(ui.item(u"noStatsNote"_s)->isVisible());

        ui.seedDay(-2, 0, 2048);
        ui.wiring()->statsStore()->refresh();
        QVERIFY(!ui.item(u"noStatsNote"_s)->isVisible());
        QCOMPARE(ui.text(u"tileTraffic"_s, "value"), u"2.00 KB"_s);
        QTRY_COMPARE(qRound(ui.item(u"dayBar4"_s)->height()), 96);
    }

    void languageSwitchWhileOpen()
    {
        UiFixture ui;
        QVERIFY(ui.start());
        ui.seedDay(0, 10, 10, 3599, 0, 0, 42, 1);
        QVERIFY(ui.loadScreen(u"StatsScreen"_s));
        // Days are named from local noon: in the test's zone west of UTC a
        // date read as UTC midnight would fall on the day before.
        QCOMPARE(dayLabels(ui), weekdays(QLocale(QLocale::English, QLocale::UnitedStates)));
        QCOMPARE(ui.text(u"tilePing"_s, "value"), u"42 ms"_s);
        QCOMPARE(ui.text(u"tileProtected"_s, "value"), u"0 h 59 m"_s);

        ui.wiring()->appSettings()->setLanguage(u"ru"_s);
        QCOMPARE(dayLabels(ui), weekdays(QLocale(QLocale::Russian, QLocale::Russia)));
        QCOMPARE(ui.text(u"tilePing"_s, "value"), u"42 мс"_s);
        QCOMPARE(ui.text(u"tileProtected"_s, "value"), u"0 ч 59 м"_s);
        QCOMPARE(ui.text(u"tilePing"_s, "label"), ui.wiring()->appSettings()->t().value(u"avgPing"_s));
    }

private:
    static void seed(UiFixture &ui, const Seeds &seeds)
    {
        for (const Seed &s : seeds)
            ui.seedDay(s.day, s.up, s.down, s.seconds, s.speedSum, s.speedCount, s.pingSum, s.pingCount);
    }

    static QStringList dayLabels(const UiFixture &ui)
    {
        QStringList labels;
        for (int i = 0; i < 7; ++i)
            labels.append(ui.text(u"dayLabel%1"_s.arg(i)));
        return labels;
    }
};

QTEST_MAIN(TestStats)
#include "tst_stats.moc"
