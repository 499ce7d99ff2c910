#include "AppSettings.h"
#include "AppWiring.h"
#include "FakeService.h"
#include "UiFixture.h"

#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

// Renders every screen of the main window in both themes and both languages
// to PNG files for review. It checks that rendering works, not the pixels.
// The files land in the folder named by VANTREL_SCREENSHOT_DIR, else in
// "screenshots" beside the test executable.
class TestScreens : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_outDir = qEnvironmentVariable("VANTREL_SCREENSHOT_DIR");
        if (m_outDir.isEmpty())
            m_outDir = QCoreApplication::applicationDirPath() + u"/screenshots"_s;
        QVERIFY(QDir().mkpath(m_outDir));
        m_ui = std::make_unique<UiFixture>();
        QVERIFY(m_ui->start());
        qInfo("screenshots go to %s", qPrintable(m_outDir));
    }
    void cleanupTestCase() { m_ui.reset(); }

    void render_data()
    {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<QString>("language");

        for (const QString &scene : {u"signin"_s, u"signin-waiting"_s, u"home-idle"_s, u"home-connecting"_s,
                 u"home-connected"_s, u"home-reconnecting"_s, u"error"_s}) {
            for (const bool dark : {true, false}) {
                for (const QString &language : {u"en"_s, u"ru"_s}) {
                    const QString name = scene + (dark ? u"-dark-"_s : u"-light-"_s) + language;
                    QTest::newRow(qPrintable(name)) << scene << dark << language;
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
        m_ui->window()->setProperty("screen", u"main"_s);
        QVERIFY(enter(scene));

        // Let fades and colour animations come to rest before grabbing.
        QQuickItem *content = m_ui->item(u"content"_s);
        QTRY_COMPARE(content->opacity(), 1.0);
        // The dot's colour animation is the longest running one.
        const QColor dot = settings->property(dotColourFor(scene)).value<QColor>();
        QTRY_COMPARE(m_ui->item(u"statusDot"_s)->property("color").value<QColor>(), dot);
        QQuickItem *tabBar = m_ui->item(u"tabBar"_s);
        QTRY_COMPARE(tabBar->isVisible(), !scene.startsWith(u"signin"_s));

        const QImage image = m_ui->window()->grabWindow();
        QVERIFY(!image.isNull());
        QCOMPARE(image.size() / image.devicePixelRatio(), QSize(400, 660));
        QVERIFY(hasSeveralColours(image));
        const QString file
            = QDir(m_outDir).filePath(QString::fromLatin1(QTest::currentDataTag()) + u".png"_s);
        QVERIFY(image.save(file));
    }

private:
    bool enter(const QString &scene)
    {
        const QString since = QDateTime::currentDateTimeUtc().addSecs(-3725).toString(Qt::ISODate);
        const QJsonObject live {{u"connected_since"_s, since}, {u"down"_s, 734003200}, {u"up"_s, 52428800},
            {u"endpoint"_s, u"203.0.113.7:51820"_s}, {u"transport"_s, u"tls"_s}};
        if (scene.startsWith(u"signin"_s)) {
            if (!m_ui->signOut() || !m_ui->waitForItem(u"loginScreen"_s))
                return false;
            QQuickItem *login = m_ui->item(u"loginScreen"_s);
            login->setProperty("waitingForBrowser", scene == u"signin-waiting"_s);
            return true;
        }
        if (scene == u"home-idle"_s)
            return m_ui->setState(u"disconnected"_s) && m_ui->waitForItem(u"mainScreen"_s);
        if (scene == u"home-connecting"_s)
            return m_ui->setState(u"connecting"_s) && m_ui->waitForItem(u"mainScreen"_s);
        if (scene == u"home-reconnecting"_s)
            return m_ui->setState(u"reconnecting"_s, {{u"attempt"_s, 2}})
                && m_ui->waitForItem(u"mainScreen"_s);
        if (scene == u"home-connected"_s)
            return m_ui->setState(u"connected"_s, live) && m_ui->waitForItem(u"mainScreen"_s);
        if (scene == u"error"_s)
            return m_ui->setState(u"failed"_s) && m_ui->waitForItem(u"errorScreen"_s);
        return false;
    }

    static const char *dotColourFor(const QString &scene)
    {
        if (scene == u"home-connected"_s)
            return "success";
        if (scene == u"home-connecting"_s || scene == u"home-reconnecting"_s)
            return "warning";
        if (scene == u"error"_s)
            return "danger";
        return "fgMuted";
    }

    static bool hasSeveralColours(const QImage &image)
    {
        const QRgb first = image.pixel(image.width() / 2, image.height() / 2);
        for (int y = 0; y < image.height(); y += 7) {
            for (int x = 0; x < image.width(); x += 7) {
                if (image.pixel(x, y) != first)
                    return true;
            }
        }
        return false;
    }

    QString m_outDir;
    std::unique_ptr<UiFixture> m_ui;
};

QTEST_MAIN(TestScreens)
#include "tst_screens.moc"
