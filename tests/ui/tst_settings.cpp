#include "AppSettings.h"
#include "AppWiring.h"
#include "PipeClient.h"
#include "TrayManager.h"
#include "UiFixture.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using Events = QList<QJsonObject>;
Q_DECLARE_METATYPE(Events)

namespace {

QJsonObject serviceEvent(const QString &type, const QString &member = {}, const QJsonValue &value = {})
{
    QJsonObject object {{u"type"_s, type}};
    if (!member.isEmpty())
        object.insert(member, value);
    return object;
}

// Text.PlainText in QML.
constexpr int plainText = 0;

} // namespace

// The settings screen against the real preferences and the fake service.
class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationVersion(u"0.5.12"_s); }
    void init()
    {
        QTest::failOnWarning(QRegularExpression(u"^(qrc|file):"_s));
        m_ui = std::make_unique<UiFixture>();
        QVERIFY(m_ui->start());
        QVERIFY(m_ui->loadScreen(u"SettingsScreen"_s));
    }
    void cleanup() { m_ui.reset(); }

    void rows_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("segment");
        // A command row sends this on every click, with the segment's value
        // as its mode; a preference row sends nothing and sets the property
        // to the first value, then the second.
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariantList>("values");

        // The kill switch starts at "never": a click on the segment already
        // on must still reach the service, which has the last word.
        for (const QString &mode : {u"never"_s, u"on_connect"_s, u"always"_s})
            QTest::addRow("kill switch: %s", qPrintable(mode))
                << u"killSwitchSeg"_s << mode << u"set_kill_switch"_s << QByteArray() << QVariantList();
        QTest::newRow("support report: save")
            << u"diagButton"_s << QString() << u"get_diag"_s << QByteArray() << QVariantList();
        QTest::newRow("account: log out")
            << u"logoutButton"_s << QString() << u"logout"_s << QByteArray() << QVariantList();
        for (const auto &[control, property] :
            {std::pair {u"whitelistSwitch"_s, "whitelist"}, std::pair {u"gamesSwitch"_s, "games"},
                std::pair {u"autostartSwitch"_s, "autostart"}, std::pair {u"themeSwitch"_s, "darkTheme"}})
            QTest::addRow("switch: %s", property)
                << control << QString() << QString() << QByteArray(property) << QVariantList {true, false};
        QTest::newRow("protocol: Reality")
            << u"transportSeg"_s << u"reality"_s << QString() << QByteArray("transport")
            << QVariantList {u"reality"_s, u"reality"_s};
        QTest::newRow("protocol: WireGuard, already on")
            << u"transportSeg"_s << u"tls"_s << QString() << QByteArray("transport")
            << QVariantList {u"tls"_s, u"tls"_s};
        QTest::newRow("language: RU") << u"languageSeg"_s << u"ru"_s << QString() << QByteArray("language")
                                      << QVariantList {u"ru"_s, u"ru"_s};
    }
    void rows()
    {
        QFETCH(QString, control);
        QFETCH(QString, segment);
        QFETCH(QString, command);
        QFETCH(QByteArray, property);
        QFETCH(QVariantList, values);

        AppSettings *settings = m_ui->wiring()->appSettings();
        for (int click = 0; click < 2; ++click) {
            // Looked up each time: a language change rebuilds the segments.
            QQuickItem *target = m_ui->item(control);
            QVERIFY(m_ui->click(segment.isEmpty() ? target : UiFixture::segment(target, segment)));
            if (property.isEmpty())
                continue;
            QCOMPARE(settings->property(property.constData()), values.at(click));
            if (segment.isEmpty())
                QCOMPARE(m_ui->item(control)->property("checked"), values.at(click));
            else
                QVERIFY(UiFixture::segment(m_ui->item(control), segment)->property("on").toBool());
        }
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), command.isEmpty() ? QStringList() : QStringList({command, command}));
        for (const QJsonObject &sent : m_ui->commands(u"set_kill_switch"_s))
            QCOMPARE(sent.value(u"payload"_s).toObject(), QJsonObject({{u"mode"_s, segment}}));
    }

    void descriptionsFollowValues()
    {
        AppSettings *settings = m_ui->wiring()->appSettings();
        QCOMPARE(m_ui->text(u"themeDesc"_s), u"Light mode is on"_s);
        QCOMPARE(m_ui->text(u"transportDesc"_s), u"WireGuard — for games and work"_s);
        settings->setDarkTheme(true);
        settings->setTransport(u"reality"_s);
        QCOMPARE(m_ui->text(u"themeDesc"_s), u"Dark mode is on"_s);
        QCOMPARE(m_ui->text(u"transportDesc"_s), u"Reality — more secure"_s);
    }

    void killSwitchSegment_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("shownOn");

        QTest::newRow("always") << u"always"_s << u"always"_s;
        QTest::newRow("unknown mode: no segment on") << u"strict"_s << QString();
        QTest::newRow("mode in other letter case: no segment on") << u"Always"_s << QString();
    }
    void killSwitchSegment()
    {
        QFETCH(QString, mode);
        QFETCH(QString, shownOn);

        m_ui->sendStatus({{u"kill_switch_mode"_s, mode}});
        QTRY_COMPARE(m_ui->wiring()->pipeClient()->killSwitchMode(), mode);
        for (const QString &value : {u"never"_s, u"on_connect"_s, u"always"_s}) {
            QQuickItem *segment = UiFixture::segment(m_ui->item(u"killSwitchSeg"_s), value);
            QVERIFY(segment);
            QCOMPARE(segment->property("on").toBool(), value == shownOn);
        }
    }

    void updateCard_data()
    {
        QTest::addColumn<Events>("events");
        // Title, description, button text and variant; empty: no card.
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("enabled");
        // Share of the track the fill covers; negative: no progress bar.
        QTest::addColumn<double>("fill");
        QTest::addColumn<QString>("command");

        const QJsonObject offered = serviceEvent(u"update_available"_s, u"update_version"_s, u"1.4.0"_s);
        const auto progress
            = [](int percent) { return serviceEvent(u"update_progress"_s, u"update_progress"_s, percent); };
        const QStringList offer {
            u"Update available 1.4.0"_s, u"Update downloaded — restart to apply"_s, u"Update"_s, u"ghost"_s};
        const auto downloading = [](const QString &percent) {
            return QStringList {
                u"Update available 1.4.0"_s, u"Downloading… "_s + percent, u"Update"_s, u"ghost"_s};
        };

        QTest::newRow("nothing offered: no card") << Events {} << QStringList() << true << -1.0 << QString();
        QTest::newRow("offered") << Events {offered} << offer << true << -1.0 << u"install_update"_s;
        QTest::newRow("offered without a version: no trailing space")
            << Events {serviceEvent(u"update_available"_s, u"update_version"_s, u""_s)}
            << QStringList {u"Update available"_s, offer.at(1), offer.at(2), offer.at(3)} << true << -1.0
            << u"install_update"_s;
        QTest::newRow("downloading at 0 %")
            << Events {offered, progress(0)} << downloading(u"0%"_s) << false << 0.0 << QString();
        QTest::newRow("downloading at 100 %")
            << Events {offered, progress(100)} << downloading(u"100%"_s) << false << 1.0 << QString();
        QTest::newRow("above 100 %: text as sent, bar full")
            << Events {offered, progress(140)} << downloading(u"140%"_s) << false << 1.0 << QString();
        QTest::newRow("below 0 %: text as sent, bar empty")
            << Events {offered, progress(-20)} << downloading(u"-20%"_s) << false << 0.0 << QString();
        const QStringList ready {
            u"Ready to install"_s, u"The app will restart and update itself"_s, u"Restart"_s, u"primary"_s};
        QTest::newRow("downloaded") << Events {offered, progress(60), serviceEvent(u"update_ready"_s)}
                                    << ready << true << -1.0 << u"apply_update"_s;
        QTest::newRow("applying after the download")
            << Events {offered, serviceEvent(u"update_ready"_s), serviceEvent(u"updating"_s)}
            << QStringList {ready.at(0), u"Downloading… 100%"_s, ready.at(2), ready.at(3)} << false << 1.0
            << QString();
        QTest::newRow("failed download: offered again") << Events {offered, progress(30),
            serviceEvent(u"error"_s, u"error"_s, u"update download failed"_s)}
                                                        << offer << true << -1.0 << u"install_update"_s;
    }
    void updateCard()
    {
        QFETCH(Events, events);
        QFETCH(QStringList, texts);
        QFETCH(double, fill);
        QFETCH(QString, command);

        for (const QJsonObject &e : events)
            m_ui->sendEvent(e);
        QVERIFY(m_ui->sync());
        QQuickItem *card = m_ui->item(u"updateCard"_s);
        QCOMPARE(card && card->isVisible(), !texts.isEmpty());
        if (texts.isEmpty())
            return;
        QCOMPARE(QStringList({m_ui->text(u"updateTitle"_s), m_ui->text(u"updateDesc"_s),
                     m_ui->text(u"updateButton"_s), m_ui->text(u"updateButton"_s, "variant")}),
            texts);
        QTEST(m_ui->item(u"updateButton"_s)->isEnabled(), "enabled");

        QQuickItem *track = m_ui->item(u"updateProgressTrack"_s);
        QQuickItem *bar = m_ui->item(u"updateProgressFill"_s);
        QCOMPARE(track->isVisible(), fill >= 0);
        if (fill >= 0) {
            // The card was hidden until now: its width arrives with the next polish.
            QTRY_VERIFY(track->width() > 0);
            QTRY_VERIFY2(qAbs(bar->width() - track->width() * fill) < 0.5,
                qPrintable(u"fill %1 of %2"_s.arg(bar->width()).arg(track->width())));
            // The bar lies inside the card, below the row.
            QVERIFY(track->mapToItem(card, QPointF(0, track->height())).y() <= card->height() - 12 + 0.5);
        }
        QVERIFY(m_ui->click(u"updateButton"_s));
        QVERIFY(m_ui->flushCommands());
        QCOMPARE(m_ui->commands(), command.isEmpty() ? QStringList() : QStringList {command});
    }

    void account_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("initials");
        QTest::addColumn<QString>("name");

        QTest::newRow("one letter") << u"z"_s << u"Z"_s << u"z"_s;
        QTest::newRow("empty name: placeholder and the account text") << u""_s << u"•"_s << u"Account"_s;
        QTest::newRow("longer name: first two letters") << u"mila.k"_s << u"MI"_s << u"mila.k"_s;
        QTest::newRow("first letter outside the basic plane stays whole")
            << u"𝒜lex"_s << u"𝒜L"_s << u"𝒜lex"_s;
        QTest::newRow("markup in the name stays text") << u"<b>x</b>"_s << u"<B"_s << u"<b>x</b>"_s;
    }
    void account()
    {
        QFETCH(QString, username);

        // A name first, so that the empty row also shows a change back.
        for (const QString &name : {u"someone"_s, username}) {
            m_ui->sendStatus({{u"username"_s, name}});
            QTRY_COMPARE(m_ui->wiring()->pipeClient()->username(), name);
        }
        QTEST(m_ui->text(u"accountInitials"_s), "initials");
        QTEST(m_ui->text(u"accountName"_s), "name");
        QCOMPARE(m_ui->item(u"accountName"_s)->property("textFormat").toInt(), plainText);
        QCOMPARE(m_ui->item(u"accountInitials"_s)->property("textFormat").toInt(), plainText);
    }

    void versionLine()
    {
        QCOMPARE(m_ui->text(u"versionLine"_s), u"Daemon v— · client v0.5.12"_s);
        m_ui->sendEvent({{u"type"_s, u"ready"_s}, {u"version"_s, u"2.0.1"_s}});
        QTRY_COMPARE(m_ui->wiring()->trayManager()->version(), u"2.0.1"_s);
        QCOMPARE(m_ui->text(u"versionLine"_s), u"Daemon v2.0.1 · client v0.5.12"_s);
    }

    void diagnosticsRow()
    {
        QCOMPARE(m_ui->text(u"diagDesc"_s), u"Logs without personal data"_s);
        QTemporaryDir dir;
        QFile report(dir.filePath(u"vantrel-diag.zip"_s));
        QVERIFY(report.open(QIODevice::WriteOnly) && report.write("zip") == 3);
        report.close();
        m_ui->sendEvent({{u"type"_s, u"diag_ready"_s}, {u"diag_path"_s, report.fileName()}});
        QTRY_COMPARE(m_ui->text(u"diagDesc"_s), u"Saved to Desktop"_s);

        // The note belongs to this visit of the tab only.
        m_ui->reloadScreen();
        QTRY_COMPARE(m_ui->text(u"diagDesc"_s), u"Logs without personal data"_s);
    }

private:
    std::unique_ptr<UiFixture> m_ui;
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
