// Start-up of the real process: the command line, single instance, commands for the running instance
// and the exit codes. Most cases run the probe, which runs the very same start-up with a document that
// logs the window calls.
#include "AppStartup.h"
#include "CommandLine.h"
#include "SceneGraphChoice.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace {
const QByteArray kShown = "probe: showAndRaise"_ba;
const QByteArray kRunning = "probe: running"_ba;
constexpr int kTimeoutMs = 30000;

struct Launch
{
    QProcess process;
    QByteArray output;
};

// A private home for the processes of one test: runtime, temporary, configuration and data folders.
class Sandbox
{
public:
    Sandbox()
    {
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        m_env.insert(u"QT_LOGGING_RULES"_s, u"qml.debug=true"_s);
        for (const auto &[variable, sub] :
            {std::pair {"XDG_RUNTIME_DIR", "runtime"}, {"TMPDIR", "tmp"}, {"HOME", "home"},
                {"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"}, {"XDG_CACHE_HOME", "cache"}}) {
            QDir().mkpath(path(QLatin1String(sub)));
            m_env.insert(QLatin1String(variable), path(QLatin1String(sub)));
        }
        QFile::setPermissions(path(u"runtime"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~Sandbox()
    {
        for (auto &launch : m_launches) {
            launch->process.kill();
            launch->process.waitForFinished();
        }
    }

    [[nodiscard]] QString path(const QString &sub) const { return QDir(m_dir.path()).filePath(sub); }
    [[nodiscard]] QString instanceName() const { return path(u"runtime/vantrelvpn-ui-single"_s); }
    QProcessEnvironment &env() { return m_env; }

    Launch *start(const QStringList &args = {}, const QString &program = QStringLiteral(VANTREL_PROBE))
    {
        auto *launch = m_launches.emplace_back(std::make_unique<Launch>()).get();
        launch->process.setProcessEnvironment(m_env);
        launch->process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&launch->process, &QProcess::readyRead, &launch->process,
            [launch] { launch->output += launch->process.readAll(); });
        launch->process.start(program, args);
        return launch;
    }

private:
    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    std::vector<std::unique_ptr<Launch>> m_launches;
};

bool finishedWith(Launch *launch, int exitCode)
{
    return launch->process.waitForFinished(kTimeoutMs) && launch->process.exitStatus() == QProcess::NormalExit
        && launch->process.exitCode() == exitCode;
}

// Qt names its fallback runtime folder after the account, not after $USER.
QString userName()
{
    const passwd *account = getpwuid(geteuid());
    return account ? QString::fromLocal8Bit(account->pw_name) : QString();
}
} // namespace

enum class Occupant {
    CrashedInstance,
    PlainFile,
    SharedTempServer,
    ServerInOpenRuntimeDir,
    OpenFallbackFolder,
    NoPrivateFolder
};

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void sceneGraphChoice_data();
    void sceneGraphChoice();
    void secondStartHandsOver_data();
    void secondStartHandsOver();
    void commandsAndExitCodes();
    void nothingUnderTheNameBlocksTheStart_data();
    void nothingUnderTheNameBlocksTheStart();
    void documentWithoutRootObjectEndsWithMinusOne_data();
    void documentWithoutRootObjectEndsWithMinusOne();
    void realBinaryHandsOverToItself();
};

void tst_Startup::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments"); // after the program name
    QTest::addColumn<QString>("parsed"); // the command and "minimized", "help" or "error"
    QTest::addColumn<bool>("interface"); // whether the raw arguments may start the interface

    QTest::newRow("none") << QStringList {} << u"none"_s << true;
    QTest::newRow("minimised") << QStringList {u"--minimized"_s} << u"none minimized"_s << true;
    QTest::newRow("connect") << QStringList {u"--connect"_s} << u"connect"_s << true;
    QTest::newRow("toggle, with a needless option")
        << QStringList {u"--minimized"_s, u"--toggle"_s} << u"toggle minimized"_s << false;
    QTest::newRow("status") << QStringList {u"--status"_s} << u"status"_s << false;
    QTest::newRow("help") << QStringList {u"-h"_s} << u"help"_s << false;
    QTest::newRow("upper case is no option") << QStringList {u"--Minimized"_s} << u"error"_s << true;
    QTest::newRow("option with a value") << QStringList {u"--minimized=1"_s} << u"error"_s << true;
    QTest::newRow("two commands") << QStringList {u"--show"_s, u"--quit"_s} << u"error"_s << false;
    QTest::newRow("a word") << QStringList {u"status"_s} << u"error"_s << true;
}

void tst_Startup::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, parsed);
    QFETCH(bool, interface);

    arguments.prepend(u"vantrelvpn"_s);
    const CommandLine commandLine(arguments);
    QString seen = commandLine.command() == CommandLine::Command::None
        ? u"none"_s
        : QString::fromLatin1(CommandLine::request(commandLine.command()));
    if (commandLine.minimized())
        seen += u" minimized"_s;
    if (commandLine.helpRequested())
        seen = u"help"_s;
    if (!commandLine.error().isEmpty())
        seen = u"error"_s;
    QCOMPARE(seen, parsed);

    QList<QByteArray> raw;
    std::vector<const char *> argv;
    for (const QString &argument : std::as_const(arguments))
        raw.append(argument.toLocal8Bit());
    for (const QByteArray &argument : std::as_const(raw))
        argv.push_back(argument.constData());
    QCOMPARE(CommandLine::mayStartInterface(int(argv.size()), argv.data()), interface);
}

void tst_Startup::sceneGraphChoice_data()
{
    QTest::addColumn<QStringList>("environment");
    // A device under the fake /dev, which the user may or may not open for reading and writing.
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("mayOpen");
    QTest::addColumn<bool>("wsl");
    QTest::addColumn<bool>("software");

    const QString node = u"dri/renderD128"_s;
    QTest::newRow("GPU render node") << QStringList {} << node << true << false << false;
    QTest::newRow("no render node") << QStringList {} << QString() << true << false << true;
    QTest::newRow("render node the user may not open") << QStringList {} << node << false << false << true;
    QTest::newRow("WSL, host GPU") << QStringList {} << u"dxg"_s << true << true << false;
    QTest::newRow("host GPU device outside WSL") << QStringList {} << u"dxg"_s << true << false << true;
    QTest::newRow("no render node, the user's backend stands")
        << QStringList {u"QT_QUICK_BACKEND=rhi"_s} << QString() << true << false << false;
    QTest::newRow("no render node, the user's graphics API stands")
        << QStringList {u"QSG_RHI_BACKEND=opengl"_s} << QString() << true << false << false;
    QTest::newRow("no render node, empty choice is none")
        << QStringList {u"QT_QUICK_BACKEND="_s} << QString() << true << false << true;
    QTest::newRow("GPU, software GL forced")
        << QStringList {u"LIBGL_ALWAYS_SOFTWARE=1"_s} << node << true << false << true;
    QTest::newRow("GPU, software GL off")
        << QStringList {u"LIBGL_ALWAYS_SOFTWARE=0"_s} << node << true << false << false;
    QTest::newRow("GPU, llvmpipe named")
        << QStringList {u"GALLIUM_DRIVER=llvmpipe"_s} << node << true << false << true;
    QTest::newRow("GPU, hardware driver named")
        << QStringList {u"GALLIUM_DRIVER=radeonsi"_s} << node << true << false << false;
}

void tst_Startup::sceneGraphChoice()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, device);
    QFETCH(bool, mayOpen);
    QFETCH(bool, wsl);
    QFETCH(bool, software);

    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup
        | QFile::ReadOther | QFile::WriteOther;
    const auto enter = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
        | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QTemporaryDir dev;
    QVERIFY(QDir(dev.path()).mkdir(u"dri"_s));
    QVERIFY(QFile::setPermissions(dev.path(), enter) && QFile::setPermissions(dev.filePath(u"dri"_s), enter));
    // A display-only device (simpledrm, a VM's framebuffer) has a card node but no render node.
    QFile card(dev.filePath(u"dri/card0"_s));
    QVERIFY(card.open(QIODevice::WriteOnly) && card.setPermissions(open));
    if (!device.isEmpty()) {
        QFile file(dev.filePath(device));
        QVERIFY(
            file.open(QIODevice::WriteOnly) && file.setPermissions(mayOpen ? open : QFile::Permissions()));
    }
    QFile version(dev.filePath(u"version"_s));
    QVERIFY(version.open(QIODevice::WriteOnly));
    version.write(wsl ? "Linux version 5.15.153.1-microsoft-standard-WSL2 (root@1c602f52c2e4) #1 SMP\n"
                      : "Linux version 6.1.0-18-amd64 (debian-kernel@lists.debian.org) #1 SMP\n");
    version.close();
    QProcessEnvironment variables;
    for (const QString &entry : environment)
        variables.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));

    // access(2) answers for the real user, and root may open anything: ask as nobody.
    const bool root = ::getuid() == 0;
    if (root)
        QVERIFY(::setreuid(65534, uid_t(-1)) == 0);
    const bool prefersSoftware
        = SceneGraphChoice(variables, dev.path(), version.fileName()).prefersSoftware();
    if (root)
        QVERIFY(::setreuid(0, uid_t(-1)) == 0);
    QCOMPARE(prefersSoftware, software);
}

void tst_Startup::secondStartHandsOver_data()
{
    QTest::addColumn<QStringList>("firstArguments");
    QTest::addColumn<int>("shownAtStart");

    // The offscreen desktop has no tray to hide the window in.
    QTest::newRow("to a window minimised for want of a tray") << QStringList {u"--minimized"_s} << 0;
    QTest::newRow("to a shown window") << QStringList {} << 1;
    QTest::newRow("to a window started with --show") << QStringList {u"--show"_s} << 1;
}

void tst_Startup::secondStartHandsOver()
{
    QFETCH(QStringList, firstArguments);
    QFETCH(int, shownAtStart);

    Sandbox sandbox;
    Launch *first = sandbox.start(firstArguments);
    QTRY_VERIFY_WITH_TIMEOUT(first->output.contains(kRunning), kTimeoutMs);
    // Start-up shows the window before the event loop runs, so that line would come first.
    QCOMPARE(first->output.count(kShown), shownAtStart);
    QCOMPARE(first->output.contains(kRunning + " minimised"), shownAtStart == 0);

    Launch *second = sandbox.start({u"--minimized"_s});
    QVERIFY2(finishedWith(second, 0), second->output.constData());
    QVERIFY(!second->output.contains(kRunning));
    QTRY_COMPARE_WITH_TIMEOUT(first->output.count(kShown), shownAtStart + 1, kTimeoutMs);
    QCOMPARE(first->process.state(), QProcess::Running);
}

// The probe's instance never reaches a service, so its state is always "service-unreachable".
void tst_Startup::commandsAndExitCodes()
{
    Sandbox sandbox;
    const auto run = [&sandbox](const QString &argument, int exitCode) {
        Launch *launch = sandbox.start({argument});
        return finishedWith(launch, exitCode) ? launch->output : "exit: "_ba + launch->output;
    };
    QVERIFY(run(u"--help"_s, 0).contains("--toggle"));
    for (const char *argument : {"--status", "--quit", "--toggle", "--bogus"})
        QVERIFY(run(QLatin1String(argument), 2).startsWith("vantrelvpn: "));

    Launch *first = sandbox.start({u"--minimized"_s});
    QTRY_VERIFY_WITH_TIMEOUT(first->output.contains(kRunning), kTimeoutMs);
    QCOMPARE(run(u"--status"_s, 1), "service-unreachable\n"_ba);
    QCOMPARE(run(u"--toggle"_s, 1), "vantrelvpn: cannot toggle now: service-unreachable\n"_ba);
    QCOMPARE(run(u"--show"_s, 0), QByteArray());
    QTRY_COMPARE_WITH_TIMEOUT(first->output.count(kShown), 1, kTimeoutMs);
    QCOMPARE(run(u"--quit"_s, 0), QByteArray());
    QVERIFY(finishedWith(first, 0));

    // An instance that takes the connection and never answers.
    QLocalServer hung;
    QVERIFY(hung.listen(sandbox.instanceName()));
    QCOMPARE(run(u"--status"_s, 1), "vantrelvpn: the running VantrelVPN did not answer\n"_ba);
}

void tst_Startup::nothingUnderTheNameBlocksTheStart_data()
{
    QTest::addColumn<Occupant>("occupant");
    QTest::addColumn<bool>("guarded");

    QTest::newRow("socket left by a crashed instance") << Occupant::CrashedInstance << true;
    QTest::newRow("plain file under the name") << Occupant::PlainFile << true;
    QTest::newRow("live server under the bare name in the shared temp dir")
        << Occupant::SharedTempServer << true;
    QTest::newRow("live server in a runtime dir open to others") << Occupant::ServerInOpenRuntimeDir << true;
    // Then the guard lives in a folder of the app's own in the user's cache.
    QTest::newRow("fallback folder open to others") << Occupant::OpenFallbackFolder << true;
    // Without any user-only folder the process runs unguarded rather than not at all, and says so.
    QTest::newRow("no private folder anywhere") << Occupant::NoPrivateFolder << false;
}

void tst_Startup::nothingUnderTheNameBlocksTheStart()
{
    QFETCH(Occupant, occupant);
    QFETCH(bool, guarded);

    Sandbox sandbox;
    QLocalServer foreign;
    const auto openToOthers = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
        | QFile::WriteOther | QFile::ExeOther;
    switch (occupant) {
    case Occupant::CrashedInstance: {
        Launch *crashed = sandbox.start();
        QTRY_VERIFY_WITH_TIMEOUT(crashed->output.contains(kRunning), kTimeoutMs);
        crashed->process.kill();
        QVERIFY(crashed->process.waitForFinished());
        QVERIFY(QFile::exists(sandbox.instanceName()));
        break;
    }
    case Occupant::PlainFile: {
        QFile file(sandbox.instanceName());
        QVERIFY(file.open(QIODevice::WriteOnly));
        break;
    }
    case Occupant::SharedTempServer:
        QVERIFY(foreign.listen(sandbox.path(u"tmp/vantrelvpn-ui-single"_s)));
        break;
    case Occupant::ServerInOpenRuntimeDir:
        QVERIFY(QFile::setPermissions(sandbox.path(u"runtime"_s), openToOthers));
        QVERIFY(foreign.listen(sandbox.instanceName()));
        break;
    case Occupant::NoPrivateFolder: {
        QFile blocker(sandbox.path(u"cache/Vantrel"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        Q_FALLTHROUGH();
    }
    case Occupant::OpenFallbackFolder:
        sandbox.env().remove(u"XDG_RUNTIME_DIR"_s);
        QVERIFY(QDir().mkpath(sandbox.path(u"tmp/runtime-"_s + userName())));
        QVERIFY(QFile::setPermissions(sandbox.path(u"tmp/runtime-"_s + userName()), openToOthers));
        QVERIFY(foreign.listen(sandbox.path(u"tmp/runtime-%1/vantrelvpn-ui-single"_s.arg(userName()))));
        break;
    }

    // The umask most desktops have, which leaves new folders open to others.
    const mode_t umaskBefore = ::umask(022);
    Launch *first = sandbox.start();
    ::umask(umaskBefore);
    QTRY_VERIFY2_WITH_TIMEOUT(first->output.contains(kRunning), first->output.constData(), kTimeoutMs);
    if (foreign.isListening())
        QVERIFY2(!foreign.waitForNewConnection(0), "the request went to someone else's server");
    if (occupant == Occupant::OpenFallbackFolder) {
        const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
            | QFile::WriteOther | QFile::ExeOther;
        QCOMPARE(QFile::permissions(sandbox.path(u"cache/Vantrel/VantrelVPN/runtime"_s)) & others,
            QFile::Permissions());
    }

    Launch *second = sandbox.start();
    if (guarded) {
        QVERIFY2(finishedWith(second, 0), second->output.constData());
        QTRY_COMPARE_WITH_TIMEOUT(first->output.count(kShown), 2, kTimeoutMs);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(second->output.contains(kRunning), kTimeoutMs);
    }
    QCOMPARE(first->output.count("without the single-instance guard"), guarded ? 0 : 1);
}

void tst_Startup::documentWithoutRootObjectEndsWithMinusOne_data()
{
    QTest::addColumn<QString>("document");
    QTest::newRow("document with an error") << u"qrc:/probe/NoRoot.qml"_s;
    QTest::newRow("missing document") << u"qrc:/probe/Missing.qml"_s;
}

void tst_Startup::documentWithoutRootObjectEndsWithMinusOne()
{
    QFETCH(QString, document);

    Sandbox sandbox;
    sandbox.env().insert(u"VANTREL_PROBE_DOCUMENT"_s, document);
    Launch *launch = sandbox.start();
    QVERIFY2(finishedWith(launch, 255), launch->output.constData());

    // The guard went with the process, so the next start is a first instance again.
    sandbox.env().remove(u"VANTREL_PROBE_DOCUMENT"_s);
    Launch *next = sandbox.start();
    QTRY_VERIFY_WITH_TIMEOUT(next->output.contains(kRunning), kTimeoutMs);
}

void tst_Startup::realBinaryHandsOverToItself()
{
    Sandbox sandbox;
    const QString app = QStringLiteral(VANTREL_APP);
    Launch *first = sandbox.start({u"--minimized"_s}, app);
    // The server's socket file appears once the first instance has passed the check.
    QTRY_VERIFY2_WITH_TIMEOUT(QFile::exists(sandbox.instanceName()), first->output.constData(), kTimeoutMs);

    Launch *second = sandbox.start({}, app);
    QVERIFY2(finishedWith(second, 0), second->output.constData());
    QCOMPARE(first->process.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
