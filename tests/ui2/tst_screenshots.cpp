#include "AppSettings.h"
#include "AppWiring.h"
#include "TrayManager.h"
#include "Ui2Fixture.h"

#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

// Renders the statistics and settings screens and the tray popup in both
// themes and both languages to PNG files for review, and checks that each
// picture was drawn in the palette of its theme.
class TestScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void render_data();
    void render();

private:
    QDir m_outDir;
};

void TestScreenshots::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationVersion(u"0.5.12"_s);
    for (const char *weight : {"Regular", "Medium", "Semibold", "Bold"}) {
        const int id
            = QFontDatabase::addApplicationFont(u":/fonts/SF-Pro-Text-%1.otf"_s.arg(QLatin1String(weight)));
        QVERIFY(id >= 0);
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty() && families.constFirst() != "SF Pro Text"_L1)
            QFont::insertSubstitution(u"SF Pro Text"_s, families.constFirst());
    }
    m_outDir = QDir(QStringLiteral(VANTREL_SHOT_DIR));
    QVERIFY(m_outDir.mkpath(u"."_s));
}

void TestScreenshots::render_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QString>("language");

    for (const QString &document : {u"StatsScreen"_s, u"SettingsScreen"_s, u"TrayPopup"_s}) {
        for (const bool dark : {true, false}) {
            for (const QString &language : {u"en"_s, u"ru"_s}) {
                const QString name = u"%1-%2-%3"_s.arg(document, dark ? u"dark"_s : u"light"_s, language);
                QTest::newRow(qPrintable(name)) << document << dark << language;
            }
        }
    }
}

void TestScreenshots::render()
{
    QFETCH(QString, document);
    QFETCH(bool, dark);
    QFETCH(QString, language);

    Ui2Fixture fixture;
    QVERIFY(fixture.start());
    AppSettings *settings = fixture.wiring().appSettings();
    settings->setDarkTheme(dark);
    settings->setLanguage(language);

    // A week with traffic on most days, a signed-in user on the way to an
    // update, and a live tunnel for the popup.
    const qint64 mb = 1024 * 1024;
    fixture.seedDay(-6, 40 * mb, 310 * mb, 5400, 2 * 900e3, 2, 84, 2);
    fixture.seedDay(-5, 12 * mb, 120 * mb, 2000, 700e3, 1, 51, 1);
    fixture.seedDay(-3, 90 * mb, 1200 * mb, 14000, 1.2e6, 1, 38, 1);
    fixture.seedDay(-2, 5 * mb, 60 * mb, 900, 0, 0, 0, 0);
    fixture.seedDay(0, 30 * mb, 420 * mb, 6100, 1.1e6, 1, 41, 1);
    fixture.sendStatus({{u"status"_s, u"connected"_s}, {u"username"_s, u"alice"_s},
        {u"kill_switch_mode"_s, u"on_connect"_s}});
    fixture.sendEvent({{u"type"_s, u"update_available"_s}, {u"update_version"_s, u"0.6.0"_s}});
    fixture.sendEvent({{u"type"_s, u"update_progress"_s}, {u"update_progress"_s, 42}});
    QVERIFY(fixture.sync());
    fixture.sendEvent({{u"type"_s, u"pong"_s}, {u"version"_s, u"1.8.2"_s}});
    QTRY_COMPARE(fixture.wiring().trayManager()->version(), u"1.8.2"_s);

    QQuickWindow *window = nullptr;
    QPoint backgroundPixel;
    if (document == "TrayPopup"_L1) {
        window = fixture.loadPopup();
        QVERIFY(window);
        QVERIFY(QMetaObject::invokeMethod(window, "openAt", Q_ARG(QVariant, 500), Q_ARG(QVariant, 400)));
        // Inside the card, left of its content.
        backgroundPixel = QPoint(12, 100);
    } else {
        window = fixture.loadScreen(document, 380, document == "StatsScreen"_L1 ? 560 : 1240);
        QVERIFY(window);
        backgroundPixel = QPoint(4, 4);
    }
    QVERIFY(QTest::qWaitForWindowExposed(window));
    // Animated parts settle before the picture is taken.
    if (QQuickItem *dot = fixture.item(u"popupDot"_s))
        QTRY_COMPARE(dot->property("color").value<QColor>(), settings->success());
    if (QQuickItem *fill = fixture.item(u"updateProgressFill"_s)) {
        QQuickItem *track = fixture.item(u"updateProgressTrack"_s);
        QTRY_VERIFY(qAbs(fill->width() - track->width() * 0.42) < 0.5);
    }

    const QImage image = window->grabWindow();
    QVERIFY(!image.isNull());
    const QString path = m_outDir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".png"_s);
    QVERIFY(image.save(path));
    qInfo("wrote %s", qPrintable(path));

    const QPoint pixel = backgroundPixel * image.devicePixelRatio();
    QCOMPARE(QColor(image.pixel(pixel)).rgb(), settings->bg().rgb());
}

QTEST_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
