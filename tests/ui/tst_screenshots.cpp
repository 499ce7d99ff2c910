#include "AppSettings.h"
#include "AppStartup.h"
#include "AppWiring.h"
#include "TrayManager.h"
#include "UiFixture.h"

#include <QDir>
#include <QImage>
#include <QLineF>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Rounding of text metrics.
constexpr qreal kSlack = 0.5;
// The least room a text keeps from the edge of a rounded card, button or
// dial it lies on.
constexpr qreal kCardPadding = 6;

bool shown(const QQuickItem *item)
{
    qreal opacity = 1;
    for (const QQuickItem *a = item; a; a = a->parentItem())
        opacity *= a->opacity();
    return item->isVisible() && opacity > 0.01;
}

bool isText(const QQuickItem *item)
{
    return item->inherits("QQuickText") && !item->property("text").toString().trimmed().isEmpty();
}

void collect(QQuickItem *item, QList<QQuickItem *> &out)
{
    if (!shown(item))
        return;
    out.append(item);
    const auto children = item->childItems();
    for (QQuickItem *child : children)
        collect(child, out);
}

// The nearest ancestor that gives the text its room. A Row or Column only
// as big as its children gives none, nor does an item without a size.
QQuickItem *container(const QQuickItem *text)
{
    for (QQuickItem *a = text->parentItem(); a; a = a->parentItem()) {
        const bool wrapsChildren = a->inherits("QQuickBasePositioner")
            && qAbs(a->width() - a->implicitWidth()) < kSlack
            && qAbs(a->height() - a->implicitHeight()) < kSlack;
        if (a->width() > 0 && a->height() > 0 && !wrapsChildren)
            return a;
    }
    return nullptr;
}

// From the left to the right end of the glyphs, placed by the text's
// alignment, through the middle of its lines; in scene coordinates.
QLineF glyphSpan(const QQuickItem *text)
{
    const qreal width = text->property("paintedWidth").toReal();
    const int align = text->property("effectiveHorizontalAlignment").toInt();
    const qreal x = align & Qt::AlignRight ? text->width() - width
        : align & Qt::AlignHCenter         ? (text->width() - width) / 2
                                           : 0;
    const qreal y = text->height() / 2;
    return {text->mapToScene({x, y}), text->mapToScene({x + width, y})};
}

// Whether the point lies inside the rounded rectangle (or circle) narrowed by
// the padding on the left and right.
bool insideCard(const QQuickItem *card, QPointF scenePoint)
{
    const qreal radius = qMax<qreal>(
        0, qMin(card->property("radius").toReal(), qMin(card->width(), card->height()) / 2) - kCardPadding);
    const QRectF inner
        = QRectF(0, 0, card->width(), card->height()).adjusted(kCardPadding, 0, -kCardPadding, 0);
    const QRectF core = inner.adjusted(radius, radius, -radius, -radius);
    const QPointF p = card->mapFromScene(scenePoint);
    const QPointF nearest(qBound(core.left(), p.x(), core.right()), qBound(core.top(), p.y(), core.bottom()));
    return QLineF(nearest, p).length() <= radius + kSlack;
}

bool isCard(const QQuickItem *item)
{
    const QObject *border = item->property("border").value<QObject *>();
    return item->inherits("QQuickRectangle") && item->property("radius").toReal() > 0
        && (item->property("color").value<QColor>().alpha() > 0
            || (border && border->property("width").toReal() > 0));
}

// Every text on show, whole and where it belongs: not elided while the room up
// to its neighbours would take it, not past the item that gives it its room,
// and not into the padding of a card, button or dial it lies on.
QStringList misfits(QQuickWindow *window)
{
    QList<QQuickItem *> items;
    collect(window->contentItem(), items);
    QStringList found;
    for (QQuickItem *text : std::as_const(items)) {
        if (!isText(text))
            continue;
        const QString name = u"\"%1\" (%2)"_s.arg(text->property("text").toString(), text->objectName());
        const QLineF span = glyphSpan(text);
        QQuickItem *room = container(text);
        const QRectF bounds
            = room ? room->mapRectToScene(QRectF(0, 0, room->width(), room->height())) : QRectF();
        // Only the sides count: line boxes of symbol fonts are taller than their glyphs.
        if (room && (span.x1() < bounds.left() - kSlack || span.x2() > bounds.right() + kSlack))
            found.append(name + u" runs out of its container"_s);
        for (QQuickItem *a = text->parentItem(); a; a = a->parentItem()) {
            if (isCard(a) && !(insideCard(a, span.p1()) && insideCard(a, span.p2()))) {
                found.append(name + u" runs into the padding of its card"_s);
                break;
            }
            // Content scrolled past a clipping view is checked where it shows.
            if (a->clip())
                break;
        }
        if (!text->property("truncated").toBool() || !room)
            continue;
        // The room up to the neighbours on its line, within the container.
        const QRectF box = text->mapRectToScene(QRectF(0, 0, text->width(), text->height()));
        qreal right = bounds.right();
        for (QQuickItem *other : std::as_const(items)) {
            if (!(other->flags() & QQuickItem::ItemHasContents) || other->isAncestorOf(text)
                || text->isAncestorOf(other) || other == text)
                continue;
            const QRectF r = other->mapRectToScene(QRectF(0, 0, other->width(), other->height()));
            if (r.left() > box.left() + kSlack && r.top() < box.bottom() && r.bottom() > box.top())
                right = qMin(right, r.left());
        }
        if (text->implicitWidth() <= right - box.left() + kSlack)
            found.append(name + u" is elided though it fits in %1 px"_s.arg(right - box.left()));
    }
    return found;
}
} // namespace

// Renders every screen of the main window and the tray popup in both themes
// and both languages to PNG files for review, and checks that each picture
// was drawn in the palette of its theme, not the pixels, and that every text
// on show fits. The files land in
// the folder named by VANTREL_SCREENSHOT_DIR, else in "screenshots" beside
// the test executable.
class TestScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The fonts and default weight of the app, so texts measure as users see them.
        AppStartup::prepareApplication();
        m_outDir.setPath(qEnvironmentVariable(
            "VANTREL_SCREENSHOT_DIR", QCoreApplication::applicationDirPath() + u"/screenshots"_s));
        QVERIFY(m_outDir.mkpath(u"."_s));
        m_ui = std::make_unique<UiFixture>();
        QVERIFY(m_ui->start(true));
        // A week with traffic on most days.
        const qint64 mb = 1024 * 1024;
        m_ui->seedDay(-6, 40 * mb, 310 * mb, 5400, 2 * 900e3, 2, 84, 2);
        m_ui->seedDay(-3, 90 * mb, 1200 * mb, 14000, 1.2e6, 1, 38, 1);
        m_ui->seedDay(-2, 5 * mb, 60 * mb, 900);
        m_ui->seedDay(0, 30 * mb, 420 * mb, 6100, 1.1e6, 1, 41, 1);
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
            {"settings-offered", "connected", "settings", "settings", "success"},
            {"settings-ready", "connected", "settings", "settings", "success"},
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
        // The popup is made when first asked for.
        auto *popup = m_ui->window()->findChild<QQuickWindow *>(u"trayPopup"_s);
        if (popup)
            popup->hide();
        m_ui->window()->setProperty("screen", tab);
        const QString since = QDateTime::currentDateTimeUtc().addSecs(-3725).toString(Qt::ISODate);
        QVERIFY(m_ui->setState(state == "signed-out"_L1 ? u"disconnected"_s : state,
            {{u"authenticated"_s, state != "signed-out"_L1}, {u"connected_since"_s, since},
                {u"down"_s, 734003200}, {u"up"_s, 52428800}, {u"endpoint"_s, u"203.0.113.7:51820"_s},
                {u"transport"_s, u"tls"_s}, {u"attempt"_s, 2}, {u"kill_switch_mode"_s, u"on_connect"_s}}));
        QVERIFY(m_ui->waitForItem(screen));
        const QByteArray tag = QTest::currentDataTag();
        if (screen == "loginScreen"_L1)
            m_ui->item(screen)->setProperty("waitingForBrowser", tag.contains("waiting"));
        // An update on its way; only offered beside a saved report, or ready.
        m_ui->sendEvent({{u"type"_s, u"update_available"_s}, {u"update_version"_s, u"0.6.0"_s}});
        if (tag.startsWith("settings-ready"))
            m_ui->sendEvent({{u"type"_s, u"update_ready"_s}});
        else if (!tag.startsWith("settings-offered"))
            m_ui->sendEvent({{u"type"_s, u"update_progress"_s}, {u"update_progress"_s, 42}});
        if (screen == "settingsScreen"_L1)
            m_ui->item(screen)->setProperty(
                "diagPath", tag.startsWith("settings-offered") ? u"/home/u/Desktop/report.zip"_s : QString());
        // The state changes' sync markers stand as the service's version until the next "pong".
        m_ui->sendEvent({{u"type"_s, u"pong"_s}, {u"version"_s, u"1.8.2"_s}});
        QTRY_COMPARE(m_ui->wiring()->trayManager()->version(), u"1.8.2"_s);

        QQuickWindow *window = m_ui->window();
        // Left of the title bar's content, or inside the popup's card.
        QPoint background(14, 33);
        if (tag.startsWith("popup")) {
            emit m_ui->wiring()->trayManager()->popupRequested(500, 400);
            popup = m_ui->window()->findChild<QQuickWindow *>(u"trayPopup"_s);
            QVERIFY(popup && QTest::qWaitForWindowExposed(popup));
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
        const QStringList badTexts = misfits(window);
        QVERIFY2(badTexts.isEmpty(), qPrintable(badTexts.join(u"; "_s)));
    }

private:
    QDir m_outDir;
    std::unique_ptr<UiFixture> m_ui;
};

QTEST_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
