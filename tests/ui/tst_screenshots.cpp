#include "AppSettings.h"
#include "AppWiring.h"
#include "TrayManager.h"
#include "UiFixture.h"

#include <QDir>
#include <QFontDatabase>
#include <QImage>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// Renders every screen of the main window and the tray popup in both themes
// and both languages to PNG files for review, and checks that each picture
// was drawn in the palette of its theme, not the pixels. The files land in
// the folder named by VANTREL_SCREENSHOT_DIR, else in "screenshots" beside
// the test executable.
class TestScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char *face : {"Regular", "Medium", "Semibold", "Bold"})
            QFontDatabase::addApplicationFont(u":/fonts/SF-Pro-Text-%1.otf"_s.arg(QLatin1String(face)));
        QCoreApplication::setApplicationVersion(u"0.5.12"_s);
        m_outDir.setPath(qEnvironmentVariable(
            "VANTREL_SCREENSHOT_DIR", QCoreApplication::applicationDirPath() + u"/screenshots"_s));
        QVERIFY(m_outDir.mkpath(u"."_s));
        m_ui = std::make_unique<UiFixture>();
        QVERIFY(m_ui->start(true));
        // A week with traffic on most days and an update on its way.
        const qint64 mb = 1024 * 1024;
        m_ui->seedDay(-6, 40 * mb, 310 * mb, 5400, 2 * 900e3, 2, 84, 2);
        m_ui->seedDay(-3, 90 * mb, 1200 * mb, 14000, 1.2e6, 1, 38, 1);
        m_ui->seedDay(-2, 5 * mb, 60 * mb, 900);
        m_ui->seedDay(0, 30 * mb, 420 * mb, 6100, 1.1e6, 1, 41, 1);
        m_ui->sendEvent({{u"type"_s, u"update_available"_s}, {u"update_version"_s, u"0.6.0"_s}});
        m_ui->sendEvent({{u"type"_s, u"update_progress"_s}, {u"update_progress"_s, 42}});
        qInfo("screenshots go to %s", qPrintable(m_outDir.path()));
    }
    void init() { QTest::failOnWarning(QRegularExpression(u"^(qrc|file):"_s)); }
    void cleanupTestCase() { m_ui.reset(); }

    void render_data()
    {
        // The state the service reports, the tab, the screen that shows and
        // the palette colour its status dot settles on.
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("screen");
        QTest::addColumn<QByteArray>("dot");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("language");

        const struct
        {
            const char *name, *state, *tab, *screen, *dot;
        } scenes[] = {{"signin", "signed-out", "main", "login", "fgMuted"},
            {"signin-waiting", "signed-out", "main", "login", "fgMuted"},
            {"home-disconnected", "disconnected", "main", "main", "fgMuted"},
            {"home-connecting", "connecting", "main", "main", "warning"},
            {"home-reconnecting", "reconnecting", "main", "main", "warning"},
            {"home-connected", "connected", "main", "main", "success"},
            {"error", "failed", "main", "error", "danger"},
            {"stats", "connected", "stats", "stats", "success"},
            {"settings", "connected", "settings", "settings", "success"},
            {"popup", "connected", "main", "main", "success"}};
        for (const auto &scene : scenes) {
            for (const bool dark : {true, false}) {
                for (const char *language : {"en", "ru"}) {
                    QTest::addRow("%s-%s-%s", scene.name, dark ? "dark" : "light", language)
                        << QString::fromLatin1(scene.state) << QString::fromLatin1(scene.tab)
                        << QString::fromLatin1(scene.screen) + u"Screen"_s << QByteArray(scene.dot) << dark
                        << QString::fromLatin1(language);
                }
            }
        }
    }
    void render()
    {
        QFETCH(QString, state);
        QFETCH(QString, tab);
        QFETCH(QString, screen);
        QFETCH(QByteArray, dot);
        QFETCH(bool, dark);
        QFETCH(QString, language);

        AppSettings *settings = m_ui->wiring()->appSettings();
        settings->setDarkTheme(dark);
        settings->setLanguage(language);
        auto *popup = m_ui->window()->findChild<QQuickWindow *>(u"trayPopup"_s);
        popup->hide();
        m_ui->window()->setProperty("screen", tab);
        const QString since = QDateTime::currentDateTimeUtc().addSecs(-3725).toString(Qt::ISODate);
        QVERIFY(m_ui->setState(state == "signed-out"_L1 ? u"disconnected"_s : state,
            {{u"authenticated"_s, state != "signed-out"_L1}, {u"connected_since"_s, since},
                {u"down"_s, 734003200}, {u"up"_s, 52428800}, {u"endpoint"_s, u"203.0.113.7:51820"_s},
                {u"transport"_s, u"tls"_s}, {u"attempt"_s, 2}, {u"kill_switch_mode"_s, u"on_connect"_s}}));
        QVERIFY(m_ui->waitForItem(screen));
        if (screen == "loginScreen"_L1)
            m_ui->item(screen)->setProperty(
                "waitingForBrowser", QByteArray(QTest::currentDataTag()).contains("waiting"));
        // The state changes' sync markers stand as the service's version until the next "pong".
        m_ui->sendEvent({{u"type"_s, u"pong"_s}, {u"version"_s, u"1.8.2"_s}});
        QTRY_COMPARE(m_ui->wiring()->trayManager()->version(), u"1.8.2"_s);

        QQuickWindow *window = m_ui->window();
        // Left of the title bar's content, or inside the popup's card.
        QPoint background(14, 33);
        if (QByteArray(QTest::currentDataTag()).startsWith("popup")) {
            emit m_ui->wiring()->trayManager()->popupRequested(500, 400);
            QVERIFY(QTest::qWaitForWindowExposed(popup));
            window = popup;
            background = QPoint(12, 100);
        }
        // Let the fade and the colour animations come to rest.
        QTRY_COMPARE(m_ui->item(u"content"_s)->opacity(), 1.0);
        QQuickItem *dotItem
            = m_ui->item(window == popup ? u"popupDot"_s : u"statusDot"_s, window->contentItem());
        QTRY_COMPARE(
            dotItem->property("color").value<QColor>(), settings->property(dot.constData()).value<QColor>());

        const QImage image = window->grabWindow();
        QVERIFY(image.save(m_outDir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".png"_s)));
        QCOMPARE(image.pixelColor(background * image.devicePixelRatio()).rgb(), settings->bg().rgb());
    }

private:
    QDir m_outDir;
    std::unique_ptr<UiFixture> m_ui;
};

QTEST_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
