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
        QTest::addColumn<QString>("scene");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("language");

        for (const char *scene : {"signin", "signin-waiting", "home-disconnected", "home-connecting",
                 "home-connected", "home-reconnecting", "error", "stats", "settings", "popup"}) {
            for (const bool dark : {true, false}) {
                for (const char *language : {"en", "ru"}) {
                    QTest::addRow("%s-%s-%s", scene, dark ? "dark" : "light", language)
                        << QString::fromLatin1(scene) << dark << QString::fromLatin1(language);
                }
            }
        }
    }
    void render()
    {
        QFETCH(QString, scene);
        QFETCH(bool, dark);
        QFETCH(QString, language);

        AppSettings *settings = m_ui->wiring()->appSettings();
        settings->setDarkTheme(dark);
        settings->setLanguage(language);
        auto *popup = m_ui->window()->findChild<QQuickWindow *>(u"trayPopup"_s);
        popup->hide();
        QVERIFY(enter(scene));
        // The state changes' sync markers stand as the service's version until the next "pong".
        m_ui->sendEvent({{u"type"_s, u"pong"_s}, {u"version"_s, u"1.8.2"_s}});
        QTRY_COMPARE(m_ui->wiring()->trayManager()->version(), u"1.8.2"_s);

        QQuickWindow *window = m_ui->window();
        // Left of the title bar's content, or inside the popup's card.
        QPoint background(14, 33);
        if (scene == "popup"_L1) {
            emit m_ui->wiring()->trayManager()->popupRequested(500, 400);
            QVERIFY(QTest::qWaitForWindowExposed(popup));
            window = popup;
            background = QPoint(12, 100);
        }
        // Let the fade and the colour animations come to rest.
        QTRY_COMPARE(m_ui->item(u"content"_s)->opacity(), 1.0);
        const QColor dot = settings->property(dotColourFor(scene)).value<QColor>();
        QQuickItem *dotItem
            = m_ui->item(window == popup ? u"popupDot"_s : u"statusDot"_s, window->contentItem());
        QTRY_COMPARE(dotItem->property("color").value<QColor>(), dot);

        const QImage image = window->grabWindow();
        QVERIFY(image.save(m_outDir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".png"_s)));
        QCOMPARE(image.pixelColor(background * image.devicePixelRatio()).rgb(), settings->bg().rgb());
    }

private:
    bool enter(const QString &scene)
    {
        m_ui->window()->setProperty("screen", u"main"_s);
        if (scene.startsWith("signin"_L1)) {
            if (!m_ui->signOut() || !m_ui->waitForItem(u"loginScreen"_s))
                return false;
            m_ui->item(u"loginScreen"_s)->setProperty("waitingForBrowser", scene == "signin-waiting"_L1);
            return true;
        }
        const QString since = QDateTime::currentDateTimeUtc().addSecs(-3725).toString(Qt::ISODate);
        const QJsonObject live {{u"connected_since"_s, since}, {u"down"_s, 734003200}, {u"up"_s, 52428800},
            {u"endpoint"_s, u"203.0.113.7:51820"_s}, {u"transport"_s, u"tls"_s}, {u"attempt"_s, 2},
            {u"kill_switch_mode"_s, u"on_connect"_s}};
        const QString state = scene == "error"_L1 ? u"failed"_s
            : scene.startsWith("home-"_L1)        ? scene.mid(5)
                                                  : u"connected"_s;
        if (!m_ui->setState(state, live))
            return false;
        if (!scene.startsWith("home-"_L1) && scene != "error"_L1 && scene != "popup"_L1)
            m_ui->window()->setProperty("screen", scene);
        const QString screen = scene == "popup"_L1 || scene.startsWith("home-"_L1) ? u"main"_s : scene;
        return m_ui->waitForItem(screen + u"Screen"_s);
    }

    static const char *dotColourFor(const QString &scene)
    {
        if (scene.endsWith("connecting"_L1))
            return "warning";
        if (scene == "error"_L1)
            return "danger";
        return scene.startsWith("signin"_L1) || scene == "home-disconnected"_L1 ? "fgMuted" : "success";
    }

    QDir m_outDir;
    std::unique_ptr<UiFixture> m_ui;
};

QTEST_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
