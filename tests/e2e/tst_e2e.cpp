// End-to-end checks of the real vantrelvpn binary against the simulated VPN
// service on the real socket paths, in a private desktop session with a tray
// host (see session.sh: X11 with an XEmbed tray, X11 with a StatusNotifierItem
// panel, or Wayland). The app is driven the way a user drives it: pointer
// clicks on the window, the tray icon, its menu and its popup; what it shows
// is read back from the screen's pixels, what it did from the service's log,
// the settings file, the statistics database, the tray item with its menu and
// notifications on the session bus.

#include "ServiceProcess.h"
#include "StringTable.h"
#include "TestDesktop.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {
const QString kTitle = QStringLiteral("VantrelVPN");
const QSize kWindowSize(400, 660);
const QSize kPopupSize(340, 212);

// Palette values of the two themes.
const QColor kDarkBg(0x10, 0x12, 0x16);
const QColor kLightBg(0xFB, 0xFC, 0xFD);
const QColor kDarkSurfaceAlt(0x1D, 0x21, 0x27);
const QColor kLightSurfaceAlt(0xF2, 0xF4, 0xF7);
const QColor kDarkSuccess(0x34, 0xC9, 0x8E);
const QColor kDarkAccent(0x4C, 0x84, 0xF1);
const QColor kDarkDanger(0xE5, 0x54, 0x4B);
const QColor kDarkWarning(0xE8, 0xB3, 0x4B);
// The tray icon's state dot.
const QColor kDotGrey(0x99, 0xA0, 0xAC);
const QColor kDotGreen(0x34, 0xC9, 0x8E);
const QColor kDotAmber(0xE8, 0xB3, 0x4B);
// The Wayland session's desktop background (session.sh).
const QColor kWaylandBackground(0x5A, 0x7D, 0x9A);
// The primary button's gradient, from accentStrong to accent, within 25.
const QColor kPrimaryFill(95, 145, 245);
constexpr int kPrimaryTolerance = 25;

// Places in the 400 by 660 window, from its layout.
const QPoint kBackgroundProbe(200, 15); // title bar above its texts: the panel's fill
const QPoint kThemeButton(290, 33);
const QPoint kCloseButton(365, 32);
// A tab: where to click it, and a point of its highlight left of its glyph.
struct Tab
{
    QPoint label;
    QPoint highlight;
};
const Tab kHomeTab {{79, 622}, {30, 605}};
const Tab kStatsTab {{200, 622}, {151, 605}};
const Tab kSettingsTab {{321, 622}, {272, 605}};
const QPoint kDial(200, 230);
const QRect kDialArea(90, 120, 220, 220);
const QPoint kSignInButton(200, 400);
const QRect kSignInButtonArea(40, 382, 320, 38);
// Below the sign-in button, or its waiting block: the service notice.
const QRect kNoticeArea(12, 424, 376, 166);
const QRect kContentArea(12, 58, 376, 532);
const QRect kTabBarArea(12, 594, 376, 54);
const QPoint kUpdateButton(322, 150);
const QRect kUpdateButtonArea(292, 138, 60, 24);
// Kill-switch segments, with no update card above them, and the switch below.
const int kKillSwitchRowY = 224;
const QPoint kConnectOnStartSwitch(335, 276);
const QPoint kConnectOnStartFill(324, 276); // left of the knob while on
const QMap<QString, int> kKillSwitchSegmentX {
    {QStringLiteral("never"), 80}, {QStringLiteral("on_connect"), 181}, {QStringLiteral("always"), 303}};
// Left part of a segment, clear of its label: filled while it is the chosen one.
const QMap<QString, int> kKillSwitchFillX {
    {QStringLiteral("never"), 54}, {QStringLiteral("on_connect"), 130}, {QStringLiteral("always"), 262}};
// Rows with the settings screen scrolled to its end.
const QPoint kAutostartSwitch(335, 221);
const QPoint kAutostartFill(324, 221); // left of the knob while on
const QPoint kLanguageRu(287, 340);
const QPoint kSaveDiagnostics(328, 447);
const QPoint kLogOut(321, 505);
// In the 340 by 212 tray popup.
const QPoint kPopupQuit(294, 175);

constexpr int kStartTimeoutMs = 20000;
constexpr int kUiTimeoutMs = 10000;
constexpr int kBrowserTimeoutMs = 90000;
constexpr int kExitTimeoutMs = 10000;
// Qt 6.8 eases wheel scrolling out over about half a second.
constexpr int kWheelEaseOutMs = 800;

// QProcess::waitForFinished() answers false for a process that has already
// ended, which the event processing of other waits may have noticed first.
bool waitForExit(QProcess &process, int timeoutMs = kExitTimeoutMs)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(timeoutMs);
}

QString environmentPath(const char *name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

// A desktop without a tray host (session.sh with E2E_DESKTOP=none).
bool traylessDesktop()
{
    return qgetenv("E2E_DESKTOP") == "none";
}

// The window's hints ask for the iconic (minimised) state. With no window
// manager to act on them, the window itself stays mapped.
bool asksToBeIconic(const QString &windowId)
{
    return TestDesktop::run(
        QStringLiteral("xprop"), {QStringLiteral("-id"), windowId, QStringLiteral("WM_HINTS")})
        .contains(QLatin1String("Iconic State"));
}
} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void signIn_data();
    void signIn();
    void connectShowsStateAndRecordsStatistics();
    void failedConnectOffersRetry();
    void themeAndLanguageSurviveRestart();
    void autostartSurvivesRestart();
    void diagnosticsAndSignOut();
    void trayQuit_data();
    void trayQuit();
    void closeHidesToTray();
    void closeMinimisesWithoutTray();
    void secondStartRaisesFirst_data();
    void secondStartRaisesFirst();
    void updateEndsProcessWithoutShutdown();
    void reconnectsAfterServiceRestart();
    void refusedAccessShowsDialog();
    void noticeWhileServiceIsAway();
    void trayPopupClosesOnFocusLoss();
    void trayItemFollowsState_data();
    void trayItemFollowsState();
    void trayMenuFollowsStateAndLanguage();
    void windowShowsAndDrags();
    void connectOnStartOncePerRun();
    void commandsSteerTheRunningApp();
    void commandsWithoutRunningApp();

private:
    bool startApp(const QStringList &arguments = {});
    bool startSignedIn(const QStringList &serviceArguments = {});
    bool openTab(const Tab &tab, const QColor &highlight = kDarkSurfaceAlt);
    bool waitForWindow(const QColor &background = kDarkBg);
    QImage grabWindow() const;
    QRgb pixel(const QPoint &windowPos) const;
    bool waitForPixel(const QPoint &windowPos, const QColor &colour, int timeoutMs = kUiTimeoutMs);
    void clickWindow(const QPoint &windowPos, int button = 1);
    bool scrollToEnd();
    TestDesktop::Window openTrayPopup(bool secondaryClick = false);
    TestDesktop::Window openTrayMenu();
    bool quitFromTray();
    // Runs `vantrelvpn` with the arguments as a shortcut or a script would; its exit code, or -1 when
    // it did not end. An empty `user` runs it as this user.
    int runCommand(const QStringList &arguments, QByteArray *output = nullptr, const QString &user = {});
    // A home with a runtime folder of its own for another user, who may pass the session folder.
    QString homeFor(const passwd *user) const;
    QString settingsPath() const;
    QString statsPath() const;
    QVariant statsValue(const QString &sql) const;

    TestDesktop m_desktop;
    QString m_root;
    QString m_artifacts;
    ServiceProcess *m_service = nullptr;
    QProcess *m_app = nullptr;
    TestDesktop::Window m_window;
};

void TestEndToEnd::initTestCase()
{
    m_root = environmentPath("E2E_ROOT");
    if (m_root.isEmpty())
        QSKIP("run through session.sh, which provides the X session, tray host and private home");
    if (::geteuid() != 0)
        QSKIP("the simulated service owns /run/vantrelvpn, which needs root");
    QVERIFY2(QFile::exists(QStringLiteral(VANTRELVPN_PATH)), VANTRELVPN_PATH);
    QVERIFY2(QFile::exists(QStringLiteral(SIMSERVICE_PATH)), SIMSERVICE_PATH);
    QVERIFY2(traylessDesktop() || m_desktop.trayPanel().isValid(), "no tray host on the display");
    m_artifacts = environmentPath("E2E_ARTIFACTS");
    if (!m_artifacts.isEmpty())
        QDir().mkpath(m_artifacts);
}

void TestEndToEnd::init()
{
    // Each case starts from a first run: no settings, no statistics.
    QDir(m_root + QStringLiteral("/config/Vantrel")).removeRecursively();
    QDir(m_root + QStringLiteral("/data/Vantrel")).removeRecursively();
    m_service = new ServiceProcess(QStringLiteral(SIMSERVICE_PATH), this);
    m_window = {};
    m_desktop.parkPointer();
    m_desktop.forgetNotifications();
    qunsetenv("E2E_BROWSER_ACTION");
}

void TestEndToEnd::cleanup()
{
    const bool failed = QTest::currentTestFailed();
    if (failed && !m_artifacts.isEmpty()) {
        QString name = QString::fromLatin1(QTest::currentTestFunction());
        if (QTest::currentDataTag())
            name += u'-' + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_');
        m_desktop.grab(TestDesktop::screen()).save(m_artifacts + u'/' + name + QStringLiteral(".png"));
    }
    QString appOutput;
    if (m_app) {
        if (failed && m_app->state() == QProcess::NotRunning) {
            qWarning("the app had ended: %s, exit code %d",
                m_app->exitStatus() == QProcess::CrashExit ? "crashed" : "normal exit", m_app->exitCode());
        }
        m_app->terminate();
        if (!waitForExit(*m_app))
            m_app->kill();
        waitForExit(*m_app);
        appOutput = QString::fromLocal8Bit(m_app->readAll());
        delete m_app;
        m_app = nullptr;
    }
    m_service->stop();
    if (failed) {
        qWarning().noquote() << QStringLiteral("service log:\n  ")
                + m_service->log().join(QStringLiteral("\n  "));
        qWarning().noquote() << QStringLiteral("app output:\n") + appOutput;
    }
    delete m_service;
    m_service = nullptr;
    // QML errors at run time (a failed binding, a missing property) break a
    // screen in ways its pixels need not show.
    QVERIFY2(!appOutput.contains(QLatin1String("qrc:/")), qPrintable(appOutput));
}

bool TestEndToEnd::startApp(const QStringList &arguments)
{
    delete m_app;
    m_app = new QProcess(this);
    m_app->setProcessChannelMode(QProcess::MergedChannels);
    m_app->start(QStringLiteral(VANTRELVPN_PATH), arguments);
    return m_app->waitForStarted(kStartTimeoutMs);
}

// The service with a signed-in user and the app showing its home tab.
bool TestEndToEnd::startSignedIn(const QStringList &serviceArguments)
{
    if (!m_service->start(QStringList {QStringLiteral("--signed-in")} + serviceArguments) || !startApp()
        || !waitForWindow()) {
        qWarning("the app did not come up");
        return false;
    }
    if (!m_service->waitFor(QStringLiteral("handshake accepted"), kStartTimeoutMs)) {
        qWarning("the app did not reach the service");
        return false;
    }
    // The tab bar shows once the service has reported the user signed in.
    return waitForPixel(kHomeTab.highlight, kDarkSurfaceAlt);
}

bool TestEndToEnd::openTab(const Tab &tab, const QColor &highlight)
{
    clickWindow(tab.label);
    return waitForPixel(tab.highlight, highlight);
}

// Waits until the main window is mapped and has drawn its panel.
bool TestEndToEnd::waitForWindow(const QColor &background)
{
    const bool shown = QTest::qWaitFor(
        [&] {
            m_window = m_desktop.window(kTitle, kWindowSize);
            return m_desktop.isViewable(m_window.id);
        },
        kStartTimeoutMs);
    return shown && waitForPixel(kBackgroundProbe, background, kStartTimeoutMs);
}

QImage TestEndToEnd::grabWindow() const
{
    return m_desktop.grab(m_window.geometry);
}

QRgb TestEndToEnd::pixel(const QPoint &windowPos) const
{
    return m_desktop.grab(QRect(m_window.geometry.topLeft() + windowPos, QSize(1, 1))).pixel(0, 0);
}

bool TestEndToEnd::waitForPixel(const QPoint &windowPos, const QColor &colour, int timeoutMs)
{
    return QTest::qWaitFor([&] { return Pixels::near(pixel(windowPos), colour); }, timeoutMs);
}

void TestEndToEnd::clickWindow(const QPoint &windowPos, int button)
{
    m_desktop.click(m_window.geometry.topLeft() + windowPos, button);
    m_desktop.parkPointer();
}

// Settings rows near the end of the list are placed from its end, where the
// list stops hard: wheel down until the picture no longer moves. Where the
// wheel's scrolling eases out, the picture comes to rest before the list
// does, and a press on a list still moving only stops it: each look comes
// once the easing is over.
bool TestEndToEnd::scrollToEnd()
{
    QImage before;
    return QTest::qWaitFor(
        [&] {
            m_desktop.scroll(m_window.geometry.topLeft() + QPoint(200, 350), 10);
            m_desktop.parkPointer();
            QTest::qWait(kWheelEaseOutMs);
            const QImage after = grabWindow().copy(kContentArea);
            const bool settled = after == before;
            before = after;
            return settled;
        },
        kUiTimeoutMs);
}

// Opens the popup with a left click on the tray icon, or with a right click
// where the panel reads no menu (not under XEmbed, where the icon's menu
// opens); an empty id when it did not open.
TestDesktop::Window TestEndToEnd::openTrayPopup(bool secondaryClick)
{
    if (secondaryClick)
        m_desktop.secondaryClickTray();
    else
        m_desktop.activateTray();
    TestDesktop::Window popup;
    if (!QTest::qWaitFor(
            [&] {
                popup = m_desktop.window(kTitle, kPopupSize);
                return m_desktop.isViewable(popup.id);
            },
            kUiTimeoutMs)) {
        qWarning("the tray popup did not open");
        return {};
    }
    return popup;
}

// XEmbed only: opens the icon's menu, which Qt draws, with a right click on
// the icon; the app's new window outside the tray, or an empty id.
TestDesktop::Window TestEndToEnd::openTrayMenu()
{
    const QRect panel = m_desktop.trayPanel();
    m_desktop.secondaryClickTray();
    TestDesktop::Window menu;
    if (!QTest::qWaitFor(
            [&] {
                const QList<TestDesktop::Window> shown = m_desktop.viewableWindowsOfClass(kTitle);
                for (const TestDesktop::Window &window : shown) {
                    if (window.id != m_window.id && !panel.contains(window.geometry)) {
                        menu = window;
                        return true;
                    }
                }
                return false;
            },
            kUiTimeoutMs)) {
        qWarning("the tray menu did not open");
        return {};
    }
    return menu;
}

// Quits through the tray's right click: the last entry of the icon's menu
// under XEmbed, elsewhere the popup's quit button. True when the process
// then ends with exit code 0.
bool TestEndToEnd::quitFromTray()
{
    if (m_desktop.kind() == TestDesktop::Kind::XEmbed) {
        const TestDesktop::Window menu = openTrayMenu();
        if (menu.id.isEmpty())
            return false;
        const QRect area = menu.geometry;
        m_desktop.click({area.center().x(), area.bottom() - area.height() / 8});
    } else {
        const TestDesktop::Window popup = openTrayPopup(true);
        if (popup.id.isEmpty())
            return false;
        m_desktop.click(popup.geometry.topLeft() + kPopupQuit);
    }
    m_desktop.parkPointer();
    if (!waitForExit(*m_app)) {
        qWarning("the app did not quit");
        return false;
    }
    return m_app->exitStatus() == QProcess::NormalExit && m_app->exitCode() == 0;
}

int TestEndToEnd::runCommand(const QStringList &arguments, QByteArray *output, const QString &user)
{
    QProcess command;
    command.setProcessChannelMode(QProcess::SeparateChannels);
    if (!user.isEmpty()) {
        const passwd *account = ::getpwnam(user.toLocal8Bit().constData());
        if (!account)
            return -1;
        const uid_t uid = account->pw_uid;
        const gid_t gid = account->pw_gid;
        const QString home = homeFor(account);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
        env.insert(QStringLiteral("USER"), user);
        command.setProcessEnvironment(env);
        command.setWorkingDirectory(home);
        command.setChildProcessModifier([uid, gid] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                ::_exit(126);
        });
    }
    QElapsedTimer took;
    took.start();
    command.start(QStringLiteral(VANTRELVPN_PATH), arguments);
    if (!command.waitForFinished(kExitTimeoutMs) || command.exitStatus() != QProcess::NormalExit)
        return -1;
    qInfo("vantrelvpn %s: exit code %d after %lld ms", qPrintable(arguments.join(u' ')), command.exitCode(),
        took.elapsed());
    if (output)
        *output = command.readAllStandardOutput();
    return command.exitCode();
}

QString TestEndToEnd::homeFor(const passwd *user) const
{
    const QString home = m_root + u'/' + QString::fromLocal8Bit(user->pw_name);
    const QString runtime = home + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const QString &path : {home, runtime}) {
        if (::chown(QFile::encodeName(path).constData(), user->pw_uid, user->pw_gid) != 0)
            qWarning("cannot hand %s over to %s", qPrintable(path), user->pw_name);
    }
    QFile::setPermissions(
        m_root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    return home;
}

QString TestEndToEnd::settingsPath() const
{
    return m_root + QStringLiteral("/config/Vantrel/VantrelVPN.conf");
}

QString TestEndToEnd::statsPath() const
{
    return m_root + QStringLiteral("/data/Vantrel/VantrelVPN/stats.db");
}

// One value read from the app's statistics database while the app may be
// writing it; an invalid value when it cannot be read right now.
QVariant TestEndToEnd::statsValue(const QString &sql) const
{
    const QString connection = QStringLiteral("e2e-stats");
    QVariant value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(statsPath());
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(sql) && query.next())
                value = query.value(0);
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return value;
}

void TestEndToEnd::signIn_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("signedIn");
    QTest::newRow("confirm on the page signs in") << QStringLiteral("confirm") << true;
    QTest::newRow("deny on the page keeps the sign-in screen") << QStringLiteral("deny") << false;
}

void TestEndToEnd::signIn()
{
    QFETCH(QString, action);
    QFETCH(bool, signedIn);
    // browser.sh reads the button to press from the environment the app passes on.
    qputenv("E2E_BROWSER_ACTION", action.toLatin1());
    QVERIFY(m_service->start({}));
    QVERIFY(startApp());
    QVERIFY(waitForWindow());
    QVERIFY(m_service->waitFor(QStringLiteral("handshake accepted"), kStartTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(
        Pixels::count(grabWindow(), kSignInButtonArea, kPrimaryFill, kPrimaryTolerance) > 5000, kUiTimeoutMs);

    clickWindow(kSignInButton);
    QVERIFY(m_service->waitFor(QStringLiteral("command login_start"), kUiTimeoutMs));
    // While the browser works, the waiting block replaces the button.
    QTRY_VERIFY_WITH_TIMEOUT(
        Pixels::count(grabWindow(), kSignInButtonArea, kPrimaryFill, kPrimaryTolerance) < 100, kUiTimeoutMs);
    const QString outcome = signedIn ? QStringLiteral("sign-in confirmed") : QStringLiteral("sign-in denied");
    QVERIFY2(m_service->waitFor(outcome, kBrowserTimeoutMs), "the browser did not answer the sign-in page");

    if (signedIn) {
        // The tabs replace the sign-in screen, home first.
        QVERIFY(waitForPixel(kHomeTab.highlight, kDarkSurfaceAlt));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(
            Pixels::count(grabWindow(), kSignInButtonArea, kPrimaryFill, kPrimaryTolerance) > 5000,
            kUiTimeoutMs);
        QVERIFY(Pixels::near(pixel(kHomeTab.highlight), kDarkBg));
    }
}

void TestEndToEnd::connectShowsStateAndRecordsStatistics()
{
    QVERIFY(startSignedIn());
    QCOMPARE(Pixels::count(grabWindow(), kDialArea, kDarkSuccess), 0);

    clickWindow(kDial);
    QVERIFY(m_service->waitFor(QStringLiteral("command connect"), kUiTimeoutMs));
    QVERIFY(m_service->waitFor(QStringLiteral("state connected"), kUiTimeoutMs));
    // The dial's ring turns green.
    QTRY_VERIFY_WITH_TIMEOUT(Pixels::count(grabWindow(), kDialArea, kDarkSuccess) > 2000, kUiTimeoutMs);

    // Traffic reaches the day's counters while the session runs.
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const QString dayDown = QStringLiteral("SELECT down FROM days WHERE date = '%1'").arg(today);
    QTRY_VERIFY_WITH_TIMEOUT(statsValue(dayDown).toLongLong() > 0, kUiTimeoutMs);

    clickWindow(kDial);
    QVERIFY(m_service->waitFor(QStringLiteral("command disconnect"), kUiTimeoutMs));
    QVERIFY(m_service->waitFor(QStringLiteral("state disconnected"), kUiTimeoutMs));
    QTRY_COMPARE_WITH_TIMEOUT(Pixels::count(grabWindow(), kDialArea, kDarkSuccess), 0, kUiTimeoutMs);

    // One closed session with its server and traffic, and the day's totals.
    QTRY_COMPARE_WITH_TIMEOUT(
        statsValue(
            QStringLiteral("SELECT COUNT(*) FROM sessions WHERE ended_at IS NOT NULL AND ended_at <> ''"))
            .toInt(),
        1, kUiTimeoutMs);
    QCOMPARE(statsValue(QStringLiteral("SELECT COUNT(*) FROM sessions")).toInt(), 1);
    QVERIFY(!statsValue(QStringLiteral("SELECT endpoint FROM sessions")).toString().isEmpty());
    QCOMPARE(statsValue(QStringLiteral("SELECT transport FROM sessions")).toString(), QStringLiteral("tls"));
    QVERIFY(statsValue(QStringLiteral("SELECT down FROM sessions")).toLongLong() > 0);
    QVERIFY(statsValue(QStringLiteral("SELECT up FROM days WHERE date = '%1'").arg(today)).toLongLong() > 0);

    // The statistics tab draws today's bar, the week's tallest, in full accent.
    QVERIFY(openTab(kStatsTab));
    QTRY_VERIFY_WITH_TIMEOUT(Pixels::count(grabWindow(), kContentArea, kDarkAccent, 10) > 1500, kUiTimeoutMs);
}

void TestEndToEnd::failedConnectOffersRetry()
{
    QVERIFY(startSignedIn({QStringLiteral("--fail-next-connect"), QStringLiteral("no route to the server")}));
    clickWindow(kDial);
    QVERIFY(m_service->waitFor(QStringLiteral("state failed"), kUiTimeoutMs));

    // The error screen takes the home tab: a red "!" badge and one primary
    // button, "try again".
    QTRY_VERIFY_WITH_TIMEOUT(Pixels::count(grabWindow(), kContentArea, kDarkDanger, 10) > 40, kUiTimeoutMs);
    QRect tryAgain;
    QTRY_VERIFY_WITH_TIMEOUT(
        (tryAgain = Pixels::bounds(grabWindow(), kContentArea, kPrimaryFill, kPrimaryTolerance)).width()
            > 200,
        kUiTimeoutMs);
    QCOMPARE(Pixels::count(grabWindow(), kDialArea, kDarkSuccess), 0);

    clickWindow(tryAgain.center());
    QVERIFY(m_service->waitFor(QStringLiteral("command connect"), kUiTimeoutMs, 2));
    QVERIFY(m_service->waitFor(QStringLiteral("state connected"), kUiTimeoutMs));
    // Back on the home screen, with the dial's green ring.
    QTRY_VERIFY_WITH_TIMEOUT(Pixels::count(grabWindow(), kDialArea, kDarkSuccess) > 2000, kUiTimeoutMs);
    QCOMPARE(Pixels::count(grabWindow(), kContentArea, kDarkDanger, 10), 0);
}

void TestEndToEnd::themeAndLanguageSurviveRestart()
{
    QVERIFY(startSignedIn());
    clickWindow(kThemeButton);
    QVERIFY(waitForPixel(kBackgroundProbe, kLightBg));
    QVERIFY(waitForPixel(kHomeTab.highlight, kLightSurfaceAlt));
    const QImage englishTabs = grabWindow().copy(kTabBarArea);

    QVERIFY(openTab(kSettingsTab, kLightSurfaceAlt));
    QVERIFY(scrollToEnd());
    clickWindow(kLanguageRu);
    QTRY_COMPARE_WITH_TIMEOUT(
        QSettings(settingsPath(), QSettings::IniFormat).value(QStringLiteral("ui/language")),
        QVariant(QStringLiteral("ru")), kUiTimeoutMs);
    QCOMPARE(QSettings(settingsPath(), QSettings::IniFormat).value(QStringLiteral("ui/darkTheme")).toBool(),
        false);

    // The tab labels change with the language alone.
    QVERIFY(openTab(kHomeTab, kLightSurfaceAlt));
    QImage russianTabs;
    QTRY_VERIFY_WITH_TIMEOUT(
        Pixels::difference(russianTabs = grabWindow().copy(kTabBarArea), englishTabs) > 0.01, kUiTimeoutMs);

    QVERIFY(quitFromTray());
    QVERIFY(startApp());
    QVERIFY(waitForWindow(kLightBg));
    // Same labels as before the restart: the Russian ones.
    QTRY_VERIFY_WITH_TIMEOUT(
        Pixels::difference(grabWindow().copy(kTabBarArea), russianTabs) < 0.002, kUiTimeoutMs);
}

void TestEndToEnd::autostartSurvivesRestart()
{
    const QString entry = m_root + QStringLiteral("/config/autostart/vantrelvpn.desktop");
    QFile::remove(entry);
    QVERIFY(startSignedIn());
    QVERIFY(openTab(kSettingsTab));
    QVERIFY(scrollToEnd());
    clickWindow(kAutostartSwitch);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(entry), kUiTimeoutMs);
    QVERIFY(waitForPixel(kAutostartFill, kDarkSuccess));
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\nExec=vantrelvpn --minimized\n"));

    QVERIFY(quitFromTray());
    QVERIFY(startApp());
    QVERIFY(waitForWindow());
    // The tabs show once the service has reported the user signed in.
    QVERIFY(waitForPixel(kHomeTab.highlight, kDarkSurfaceAlt, kStartTimeoutMs));
    QVERIFY(openTab(kSettingsTab));
    QVERIFY(scrollToEnd());
    QVERIFY(waitForPixel(kAutostartFill, kDarkSuccess));
    clickWindow(kAutostartSwitch);
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(entry), kUiTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!Pixels::near(pixel(kAutostartFill), kDarkSuccess), kUiTimeoutMs);
}

void TestEndToEnd::diagnosticsAndSignOut()
{
    QVERIFY(startSignedIn());
    QVERIFY(openTab(kSettingsTab));
    QVERIFY(scrollToEnd());

    // The service's report is copied to the user's desktop as a sound archive.
    clickWindow(kSaveDiagnostics);
    QVERIFY(m_service->waitFor(QStringLiteral("command get_diag"), kUiTimeoutMs));
    const QDir desktop(m_root + QStringLiteral("/home/Desktop"));
    const QStringList pattern {QStringLiteral("vantrelvpn-diag-*.zip")};
    QTRY_COMPARE_WITH_TIMEOUT(desktop.entryList(pattern, QDir::Files).size(), 1, kUiTimeoutMs);
    int unzipStatus = -1;
    TestDesktop::run(QStringLiteral("unzip"),
        {QStringLiteral("-tq"), desktop.filePath(desktop.entryList(pattern, QDir::Files).constFirst())},
        &unzipStatus);
    QCOMPARE(unzipStatus, 0);

    // Signing out drops the tabs for the sign-in screen.
    clickWindow(kLogOut);
    QVERIFY(m_service->waitFor(QStringLiteral("command logout"), kUiTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(
        Pixels::count(grabWindow(), kSignInButtonArea, kPrimaryFill, kPrimaryTolerance) > 5000, kUiTimeoutMs);
    QVERIFY(Pixels::near(pixel(kSettingsTab.highlight), kDarkBg));
}

void TestEndToEnd::trayQuit_data()
{
    QTest::addColumn<QString>("killSwitch");
    QTest::addColumn<int>("shutdowns");
    QTest::newRow("kill switch never: the service is asked to shut down") << QStringLiteral("never") << 1;
    QTest::newRow("kill switch always: the service keeps running") << QStringLiteral("always") << 0;
    QTest::newRow("kill switch on connect: the service keeps running") << QStringLiteral("on_connect") << 0;
}

void TestEndToEnd::trayQuit()
{
    QFETCH(QString, killSwitch);
    QFETCH(int, shutdowns);
    QVERIFY(startSignedIn());
    QVERIFY(openTab(kSettingsTab));
    clickWindow(QPoint(kKillSwitchSegmentX.value(killSwitch), kKillSwitchRowY));
    QVERIFY(m_service->waitFor(QStringLiteral("command set_kill_switch"), kUiTimeoutMs));
    // The service's answer comes back as the chosen segment.
    QVERIFY(waitForPixel(QPoint(kKillSwitchFillX.value(killSwitch), kKillSwitchRowY), kDarkSurfaceAlt));

    QVERIFY(quitFromTray());
    QVERIFY(m_service->waitFor(QStringLiteral("client left"), kUiTimeoutMs));
    QCOMPARE(m_service->count(QStringLiteral("command shutdown")), shutdowns);
}

void TestEndToEnd::closeHidesToTray()
{
    QVERIFY(startSignedIn());
    clickWindow(kDial);
    QVERIFY(m_service->waitFor(QStringLiteral("state connected"), kUiTimeoutMs));

    // Closing only hides the window: the app and the tunnel stay.
    clickWindow(kCloseButton);
    QTRY_VERIFY_WITH_TIMEOUT(!m_desktop.isViewable(m_window.id), kUiTimeoutMs);
    QCOMPARE(m_app->state(), QProcess::Running);
    QCOMPARE(m_service->count(QStringLiteral("command disconnect")), 0);

    // A middle click on the tray icon brings it back as it was, with the
    // focus, and on the panels' SecondaryActivate another hides it again. (A
    // click on an XEmbed icon lets Qt focus the icon's own window first.)
    m_desktop.middleClickTray();
    QVERIFY(waitForWindow());
    QTRY_VERIFY_WITH_TIMEOUT(Pixels::count(grabWindow(), kDialArea, kDarkSuccess) > 2000, kUiTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(m_desktop.hasFocus(m_window), kUiTimeoutMs);
    if (m_desktop.kind() != TestDesktop::Kind::XEmbed) {
        m_desktop.middleClickTray();
        QTRY_VERIFY_WITH_TIMEOUT(!m_desktop.isViewable(m_window.id), kUiTimeoutMs);
    }
}

void TestEndToEnd::closeMinimisesWithoutTray()
{
    QVERIFY(startSignedIn());
    const QString id = m_window.id;

    // With no tray to hide it in, closing minimises: the window stays, the
    // app keeps running.
    clickWindow(kCloseButton);
    QTRY_VERIFY_WITH_TIMEOUT(asksToBeIconic(id), kUiTimeoutMs);
    QCOMPARE(m_app->state(), QProcess::Running);
    QCOMPARE(m_desktop.window(kTitle, kWindowSize).id, id);

    // A second start brings it back.
    QProcess second;
    second.start(QStringLiteral(VANTRELVPN_PATH), {});
    QVERIFY(waitForExit(second));
    QCOMPARE(second.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!asksToBeIconic(id), kUiTimeoutMs);
    QVERIFY(waitForWindow());

    // Ctrl+Q quits as the tray popup's Quit would, and with the kill switch
    // off the service is asked to shut down.
    TestDesktop::run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("ctrl+q")});
    QVERIFY(waitForExit(*m_app));
    QCOMPARE(m_app->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_app->exitCode(), 0);
    QVERIFY(m_service->waitFor(QStringLiteral("client left"), kUiTimeoutMs));
    QCOMPARE(m_service->count(QStringLiteral("command shutdown")), 1);
}

void TestEndToEnd::secondStartRaisesFirst_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("shownAtStart");
    QTest::newRow("started minimised") << QStringList {QStringLiteral("--minimized")} << false;
    QTest::newRow("started with --show") << QStringList {QStringLiteral("--show")} << true;
}

void TestEndToEnd::secondStartRaisesFirst()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, shownAtStart);
    QVERIFY(m_service->start({QStringLiteral("--signed-in")}));
    QVERIFY(startApp(arguments));
    // The link comes up after the window would have been shown.
    QVERIFY(m_service->waitFor(QStringLiteral("handshake accepted"), kStartTimeoutMs));
    if (shownAtStart) {
        QVERIFY(waitForWindow());
    } else {
        QVERIFY(!m_desktop.isViewable(m_desktop.window(kTitle, kWindowSize).id));
        // The tray icon, a blue shield, stands in for the window.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QImage panel = m_desktop.grab(m_desktop.trayPanel());
                return Pixels::count(panel, panel.rect(), kDarkAccent, 50) > 50;
            }(),
            kUiTimeoutMs);
    }

    QProcess second;
    second.start(QStringLiteral(VANTRELVPN_PATH), {});
    QVERIFY(waitForExit(second));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(waitForWindow());
    QCOMPARE(m_app->state(), QProcess::Running);
    // Only the first process ever reached the service.
    QCOMPARE(m_service->count(QStringLiteral("handshake accepted")), 1);
}

void TestEndToEnd::updateEndsProcessWithoutShutdown()
{
    QVERIFY(startSignedIn({QStringLiteral("--offer-update"), QStringLiteral("0.6.0")}));
    QVERIFY(openTab(kSettingsTab));
    clickWindow(kUpdateButton);
    QVERIFY(m_service->waitFor(QStringLiteral("command install_update"), kUiTimeoutMs));
    // Downloaded: the button turns into the primary "restart" one.
    QTRY_VERIFY_WITH_TIMEOUT(
        Pixels::count(grabWindow(), kUpdateButtonArea, kPrimaryFill, kPrimaryTolerance) > 600,
        kUiTimeoutMs * 3);

    clickWindow(kUpdateButton);
    QVERIFY(m_service->waitFor(QStringLiteral("command apply_update"), kUiTimeoutMs));
    QVERIFY(waitForExit(*m_app));
    QCOMPARE(m_app->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_app->exitCode(), 0);
    // The service restarts itself for the update; the app must not stop it.
    QVERIFY(m_service->waitFor(QStringLiteral("client left"), kUiTimeoutMs));
    QCOMPARE(m_service->count(QStringLiteral("command shutdown")), 0);
}

void TestEndToEnd::reconnectsAfterServiceRestart()
{
    QVERIFY(startSignedIn());

    // Gone for two seconds, back with a new token.
    m_service->control(QStringLiteral("restart 2000"));
    QVERIFY(m_service->waitFor(QStringLiteral("client left"), kUiTimeoutMs));
    QVERIFY(m_service->waitFor(QStringLiteral("handshake accepted"), kStartTimeoutMs, 2));
    QCOMPARE(m_service->count(QStringLiteral("handshake refused")), 0);
    // The loss showed the sign-in screen; the tabs return once the service reports the user again.
    QVERIFY(waitForPixel(kHomeTab.highlight, kDarkSurfaceAlt));

    // The link works again: the dial connects.
    clickWindow(kDial);
    QVERIFY(m_service->waitFor(QStringLiteral("state connected"), kUiTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(Pixels::count(grabWindow(), kDialArea, kDarkSuccess) > 2000, kUiTimeoutMs);
}

void TestEndToEnd::refusedAccessShowsDialog()
{
    // An unprivileged user whose socket access the service refuses.
    const passwd *user = ::getpwnam("nobody");
    if (!user)
        QSKIP("no user \"nobody\" to run the app as");
    const uid_t uid = user->pw_uid;
    const gid_t gid = user->pw_gid;

    // The user's own home, runtime folder and a copy of the display's key.
    const QString home = homeFor(user);
    const QString authority = home + QStringLiteral("/Xauthority");
    QFile::remove(authority);
    QVERIFY(QFile::copy(environmentPath("XAUTHORITY"), authority));
    QCOMPARE(::chown(QFile::encodeName(authority).constData(), uid, gid), 0);

    QVERIFY(m_service->start({QStringLiteral("--signed-in"), QStringLiteral("--refuse-access")}));
    delete m_app;
    m_app = new QProcess(this);
    m_app->setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("XAUTHORITY"), authority);
    env.insert(QStringLiteral("USER"), QStringLiteral("nobody"));
    m_app->setProcessEnvironment(env);
    m_app->setWorkingDirectory(home);
    m_app->setChildProcessModifier([uid, gid] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
            ::_exit(126);
    });
    m_app->start(QStringLiteral(VANTRELVPN_PATH), {});
    QVERIFY(m_app->waitForStarted(kStartTimeoutMs));
    QVERIFY(waitForWindow());

    // The dialog: a light box over the dimmed sign-in screen.
    const QRect middle(150, 300, 100, 40);
    QTRY_VERIFY_WITH_TIMEOUT(Pixels::count(grabWindow(), middle, QColor(Qt::white), 20) > 2000, kUiTimeoutMs);
    // Refused once, the client gives up until the next start: the window stays
    // usable and the process keeps running.
    QCOMPARE(m_service->count(QStringLiteral("client connected")), 0);
    QCOMPARE(m_app->state(), QProcess::Running);

    // Escape closes the dialog from the keyboard alone.
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                 {QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window.id}),
        0);
    QCOMPARE(
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")}), 0);
    QTRY_VERIFY_WITH_TIMEOUT(Pixels::count(grabWindow(), middle, QColor(Qt::white), 20) < 100, kUiTimeoutMs);
}

void TestEndToEnd::noticeWhileServiceIsAway()
{
    // The notice's amber outline while the app tries to reach the service.
    const auto noticePixels = [this] { return Pixels::count(grabWindow(), kNoticeArea, kDarkWarning, 10); };
    const auto signInPixels
        = [this] { return Pixels::count(grabWindow(), kSignInButtonArea, kPrimaryFill, kPrimaryTolerance); };

    // Started before the service: the sign-in screen says so and sign-in is dimmed.
    QElapsedTimer sinceStart;
    sinceStart.start();
    QVERIFY(startApp());
    QVERIFY(waitForWindow());
    QTRY_VERIFY_WITH_TIMEOUT(noticePixels() > 300, 1000);
    qInfo("service notice seen %lld ms after the app was started", sinceStart.elapsed());
    QVERIFY(signInPixels() < 100);

    // The service comes up: the notice goes by itself and sign-in works.
    QVERIFY(m_service->start({}));
    QVERIFY(m_service->waitFor(QStringLiteral("handshake accepted"), kStartTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(signInPixels() > 5000, kUiTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(noticePixels(), 0, kUiTimeoutMs);
    clickWindow(kSignInButton);
    QVERIFY(m_service->waitFor(QStringLiteral("command login_start"), kUiTimeoutMs));

    // It stops: the notice is back.
    m_service->stop();
    QTRY_VERIFY_WITH_TIMEOUT(noticePixels() > 300, kUiTimeoutMs);
}

void TestEndToEnd::trayPopupClosesOnFocusLoss()
{
    QVERIFY(startSignedIn());
    const QRect icon = m_desktop.trayIcon();
    QVERIFY(!icon.isEmpty());
    TestDesktop::Window popup = openTrayPopup();
    QVERIFY(!popup.id.isEmpty());
    if (m_desktop.kind() == TestDesktop::Kind::Wayland) {
        // No client places its windows on Wayland: the compositor centres the
        // popup in the area its bar leaves free.
        const QPoint centre(TestDesktop::screen().width() / 2, (TestDesktop::screen().height() - 32) / 2);
        QVERIFY2((popup.geometry.center() - centre).manhattanLength() < 8,
            qPrintable(QStringLiteral("popup at %1,%2").arg(popup.geometry.x()).arg(popup.geometry.y())));
    } else {
        // By the icon (XEmbed) or the pointer on it (StatusNotifierItem), within the gap.
        QVERIFY2(popup.geometry.adjusted(-40, -40, 40, 40).contains(icon.center()),
            qPrintable(QStringLiteral("popup at %1,%2").arg(popup.geometry.x()).arg(popup.geometry.y())));
    }

    // Another click on the icon closes it.
    m_desktop.activateTray();
    QTRY_VERIFY_WITH_TIMEOUT(!m_desktop.isViewable(popup.id), kUiTimeoutMs);

    // The main window takes the focus, and the popup goes.
    popup = openTrayPopup();
    QVERIFY(!popup.id.isEmpty());
    m_desktop.focus(m_window);
    QTRY_VERIFY_WITH_TIMEOUT(!m_desktop.isViewable(popup.id), kUiTimeoutMs);
    QVERIFY(m_desktop.isViewable(m_window.id));
}

void TestEndToEnd::trayItemFollowsState_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << QStringLiteral("en");
    QTest::newRow("Russian") << QStringLiteral("ru");
}

void TestEndToEnd::trayItemFollowsState()
{
    QFETCH(QString, language);
    QSettings(settingsPath(), QSettings::IniFormat).setValue(QStringLiteral("ui/language"), language);
    const QVariantMap texts = StringTable::forLanguage(language);
    QVERIFY(startSignedIn());

    // The panel's view of the item: its tooltip and the dot of both pixmaps.
    TestDesktop::TrayItem item;
    const auto shows = [&](const QString &state, const QColor &dot) {
        item = m_desktop.trayItem();
        const QRegularExpression toolTip(QStringLiteral("^VantrelVPN v\\S+ — %1$").arg(state));
        return (state.isEmpty() || toolTip.match(item.toolTip).hasMatch()) && item.pixmaps.contains(32)
            && item.pixmaps.contains(64) && Pixels::near(item.pixmaps.value(32).pixel(24, 24), dot)
            && Pixels::near(item.pixmaps.value(64).pixel(48, 48), dot)
            && Pixels::near(item.pixmaps.value(64).pixel(40, 48), dot);
    };
    QTRY_VERIFY2_WITH_TIMEOUT(
        shows(QStringLiteral("disconnected"), kDotGrey), qPrintable(item.toolTip), kUiTimeoutMs);
    QVERIFY(!item.service.isEmpty());
    QCOMPARE(item.title, kTitle);

    clickWindow(kDial);
    QVERIFY(m_service->waitFor(QStringLiteral("state connected"), kUiTimeoutMs));
    QTRY_VERIFY2_WITH_TIMEOUT(
        shows(QStringLiteral("connected"), kDotGreen), qPrintable(item.toolTip), kUiTimeoutMs);
    m_service->control(QStringLiteral("reconnecting 1"));
    QVERIFY(m_service->waitFor(QStringLiteral("state reconnecting"), kUiTimeoutMs));
    // While a notification is fresh (4 s) Qt makes it the item's tooltip.
    QTRY_VERIFY2_WITH_TIMEOUT(shows({}, kDotAmber), qPrintable(item.toolTip), kUiTimeoutMs);
    QVERIFY(m_service->waitFor(QStringLiteral("state connected"), kUiTimeoutMs, 2));
    clickWindow(kDial);
    QVERIFY(m_service->waitFor(QStringLiteral("state disconnected"), kUiTimeoutMs));
    QTRY_VERIFY2_WITH_TIMEOUT(
        shows(QStringLiteral("disconnected"), kDotGrey), qPrintable(item.toolTip), kUiTimeoutMs);

    // One notification for each new state that has one, in the app's language.
    const auto expected = [&](const char *key) {
        return QStringLiteral("VantrelVPN: ") + texts.value(QLatin1String(key)).toString();
    };
    const QStringList wanted {
        expected("notifyConnected"), expected("notifyReconnecting"), expected("notifyConnected")};
    QStringList received;
    const auto receivedNow = [&] {
        received.clear();
        const QList<TestDesktop::Notification> notifications = m_desktop.notifications();
        for (const TestDesktop::Notification &notification : notifications)
            received.append(notification.summary + QStringLiteral(": ") + notification.body);
        return received;
    };
    QTRY_COMPARE_WITH_TIMEOUT(receivedNow(), wanted, kUiTimeoutMs);
}

// The tray icon's menu as a panel reads and clicks it over D-Bus: its status
// line and main action follow the VPN state and a language switch made in
// the window, and its entries connect, disconnect and quit.
void TestEndToEnd::trayMenuFollowsStateAndLanguage()
{
    QVERIFY(startSignedIn());
    QVariantMap texts = StringTable::english();
    // Each entry as "+label" when it can be clicked, "-label" when not.
    QList<TestDesktop::MenuEntry> menu;
    const auto shown = [&] {
        menu = m_desktop.trayMenu();
        QStringList entries;
        for (const TestDesktop::MenuEntry &entry : std::as_const(menu))
            entries.append((entry.enabled ? u'+' : u'-') + entry.label);
        return entries;
    };
    const auto expected = [&](const char *status, const char *action) {
        const auto text = [&](const char *key) { return texts.value(QLatin1String(key)).toString(); };
        return QStringList {
            u'-' + text(status), u'+' + text(action), u'+' + text("trayOpen"), u'+' + text("quit")};
    };
    QTRY_COMPARE_WITH_TIMEOUT(shown(), expected("statusNotConnected", "connect"), kUiTimeoutMs);

    m_desktop.clickTrayMenu(menu.at(1).id);
    QVERIFY(m_service->waitFor(QStringLiteral("command connect"), kUiTimeoutMs));
    QVERIFY(m_service->waitFor(QStringLiteral("state connected"), kUiTimeoutMs));
    QTRY_COMPARE_WITH_TIMEOUT(shown(), expected("statusProtected", "disconnect"), kUiTimeoutMs);

    QVERIFY(openTab(kSettingsTab));
    QVERIFY(scrollToEnd());
    clickWindow(kLanguageRu);
    texts = StringTable::russian();
    QTRY_COMPARE_WITH_TIMEOUT(shown(), expected("statusProtected", "disconnect"), kUiTimeoutMs);

    m_desktop.clickTrayMenu(menu.at(1).id);
    QVERIFY(m_service->waitFor(QStringLiteral("command disconnect"), kUiTimeoutMs));
    QVERIFY(m_service->waitFor(QStringLiteral("state disconnected"), kUiTimeoutMs));
    QTRY_COMPARE_WITH_TIMEOUT(shown(), expected("statusNotConnected", "connect"), kUiTimeoutMs);

    // Quit as from the popup: with the kill switch off the service is asked to shut down.
    m_desktop.clickTrayMenu(menu.at(3).id);
    QVERIFY(waitForExit(*m_app));
    QCOMPARE(m_app->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_app->exitCode(), 0);
    QVERIFY(m_service->waitFor(QStringLiteral("client left"), kUiTimeoutMs));
    QCOMPARE(m_service->count(QStringLiteral("command shutdown")), 1);
}

// Wayland only: the window floats at its size with its rounded corners
// transparent, and its title bar moves it through the compositor.
void TestEndToEnd::windowShowsAndDrags()
{
    QVERIFY(startSignedIn());
    QVERIFY(Pixels::near(pixel(QPoint(1, 1)), kWaylandBackground, 16));
    QVERIFY(Pixels::near(pixel(QPoint(12, 12)), kWaylandBackground, 16));
    QVERIFY(Pixels::near(pixel(kBackgroundProbe), kDarkBg));

    const QRect before = m_window.geometry;
    const QPoint grip = before.topLeft() + QPoint(230, 20);
    m_desktop.drag(grip, grip + QPoint(-300, -40));
    m_desktop.parkPointer();
    QTRY_COMPARE_WITH_TIMEOUT(m_desktop.window(kTitle, kWindowSize).geometry.topLeft(),
        before.topLeft() + QPoint(-300, -40), kUiTimeoutMs);
    QVERIFY(waitForWindow());
    QVERIFY(Pixels::near(pixel(QPoint(1, 1)), kWaylandBackground, 16));
}

// Turned on, the switch connects at the next start, once, with no click: not again after the user
// disconnects, nor when the link to the service comes back.
void TestEndToEnd::connectOnStartOncePerRun()
{
    QVERIFY(startSignedIn());
    QVERIFY(openTab(kSettingsTab));
    clickWindow(kConnectOnStartSwitch);
    QVERIFY(waitForPixel(kConnectOnStartFill, kDarkSuccess));
    QTRY_VERIFY_WITH_TIMEOUT(
        QSettings(settingsPath(), QSettings::IniFormat).value(QStringLiteral("ui/connectOnStart")).toBool(),
        kUiTimeoutMs);

    QVERIFY(quitFromTray());
    QCOMPARE(m_service->count(QStringLiteral("command connect")), 0);
    QVERIFY(startApp({QStringLiteral("--minimized")}));
    QVERIFY(m_service->waitFor(QStringLiteral("state connected"), kStartTimeoutMs));
    QCOMPARE(m_service->count(QStringLiteral("command connect")), 1);

    QCOMPARE(runCommand({QStringLiteral("--disconnect")}), 0);
    QVERIFY(m_service->waitFor(QStringLiteral("state disconnected"), kUiTimeoutMs));
    m_service->control(QStringLiteral("drop"));
    QVERIFY(m_service->waitFor(QStringLiteral("handshake accepted"), kStartTimeoutMs, 3));
    // The instance answers once it has the service's report again, and would have connected by then.
    QByteArray status;
    QTRY_VERIFY_WITH_TIMEOUT(
        runCommand({QStringLiteral("--status")}, &status) == 1 && status == "disconnected\n", kUiTimeoutMs);
    QCOMPARE(m_service->count(QStringLiteral("command connect")), 1);
}

// What a shortcut or a script asks of the running app, with the exit codes. Another user's request
// finds no instance of theirs, and cannot reach this user's.
void TestEndToEnd::commandsSteerTheRunningApp()
{
    QVERIFY(startSignedIn());
    QByteArray status;
    QCOMPARE(runCommand({QStringLiteral("--status")}, &status), 1);
    QCOMPARE(status, "disconnected\n");

    QCOMPARE(runCommand({QStringLiteral("--toggle")}), 0);
    QVERIFY(m_service->waitFor(QStringLiteral("state connected"), kUiTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(runCommand({QStringLiteral("--status")}, &status) == 0, kUiTimeoutMs);
    QVERIFY2(QRegularExpression(QStringLiteral("^connected 127\\.0\\.0\\.1:\\d+ tls\n$"))
                 .match(QString::fromUtf8(status))
                 .hasMatch(),
        status.constData());

    if (::getpwnam("nobody")) {
        QCOMPARE(runCommand({QStringLiteral("--disconnect")}, nullptr, QStringLiteral("nobody")), 2);
        QCOMPARE(m_service->count(QStringLiteral("command disconnect")), 0);
    } else {
        qWarning("no user \"nobody\": the other user's request is left out");
    }

    QCOMPARE(runCommand({QStringLiteral("--toggle")}), 0);
    QVERIFY(m_service->waitFor(QStringLiteral("state disconnected"), kUiTimeoutMs));
    QCOMPARE(m_service->count(QStringLiteral("command connect")), 1);

    // The tray's quit path: with the kill switch off, the service is asked to shut down.
    QCOMPARE(runCommand({QStringLiteral("--quit")}), 0);
    QVERIFY(waitForExit(*m_app));
    QCOMPARE(m_app->exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_app->exitCode(), 0);
    QVERIFY(m_service->waitFor(QStringLiteral("client left"), kUiTimeoutMs));
    QCOMPARE(m_service->count(QStringLiteral("command shutdown")), 1);
}

// With no app running, a command that needs one says so; --connect starts it in the tray and connects
// once the service allows; --show starts it shown.
void TestEndToEnd::commandsWithoutRunningApp()
{
    QVERIFY(m_service->start({QStringLiteral("--signed-in")}));
    QCOMPARE(runCommand({QStringLiteral("--status")}), 2);
    QCOMPARE(runCommand({QStringLiteral("--toggle")}), 2);

    QVERIFY(startApp({QStringLiteral("--connect")}));
    QVERIFY(m_service->waitFor(QStringLiteral("state connected"), kStartTimeoutMs));
    QCOMPARE(m_service->count(QStringLiteral("command connect")), 1);
    QVERIFY(!m_desktop.isViewable(m_desktop.window(kTitle, kWindowSize).id));

    QCOMPARE(runCommand({QStringLiteral("--quit")}), 0);
    QVERIFY(waitForExit(*m_app));
    QVERIFY(startApp({QStringLiteral("--show")}));
    QVERIFY(waitForWindow());
    QTRY_VERIFY_WITH_TIMEOUT(runCommand({QStringLiteral("--status")}) == 0, kStartTimeoutMs);
    QCOMPARE(m_service->count(QStringLiteral("command connect")), 1);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
