// Start-up of the real process: single instance, the start-minimised option and the exit codes. Most
// cases run the probe, which runs the very same start-up with a document that logs the window calls.
#include "AppStartup.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {
const QByteArray kShown = QByteArrayLiteral("probe: showAndRaise");
const QByteArray kRunning = QByteArrayLiteral("probe: running");
const auto kServerFileName = QLatin1String("vantrelvpn-ui-single");
constexpr int kStartTimeoutMs = 30000;

// One launched process with everything it printed so far.
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
        QDir root(m_dir.path());
        for (const char *sub : {"runtime", "tmp", "home", "config", "data"})
            root.mkpath(QLatin1String(sub));
        QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qml.debug=true"));
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
        m_env.insert(QStringLiteral("TMPDIR"), path(QStringLiteral("tmp")));
        m_env.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        m_env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        m_env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
    }

    [[nodiscard]] QString path(const QString &sub) const { return QDir(m_dir.path()).filePath(sub); }
    [[nodiscard]] QString runtimeDir() const { return path(QStringLiteral("runtime")); }
    [[nodiscard]] QString instanceName() const { return QDir(runtimeDir()).filePath(kServerFileName); }
    QProcessEnvironment &env() { return m_env; }

    Launch *start(const QString &program, const QStringList &args = {})
    {
        auto launch = std::make_unique<Launch>();
        Launch *raw = launch.get();
        raw->process.setProcessEnvironment(m_env);
        raw->process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&raw->process, &QProcess::readyRead, &raw->process,
            [raw] { raw->output += raw->process.readAll(); });
        raw->process.start(program, args);
        m_launches.push_back(std::move(launch));
        return raw;
    }

    Launch *startProbe(const QStringList &args = {}) { return start(QStringLiteral(VANTREL_PROBE), args); }

    ~Sandbox()
    {
        for (auto &launch : m_launches) {
            launch->process.kill();
            launch->process.waitForFinished();
        }
    }

private:
    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    std::vector<std::unique_ptr<Launch>> m_launches;
};

// Qt names its fallback runtime folder after the account, not after $USER.
QString userName()
{
    const passwd *account = getpwuid(geteuid());
    return account ? QString::fromLocal8Bit(account->pw_name) : QString();
}

bool finishedWith(Launch *launch, int exitCode)
{
    if (!launch->process.waitForFinished(kStartTimeoutMs))
        return false;
    launch->output += launch->process.readAll();
    return launch->process.exitStatus() == QProcess::NormalExit && launch->process.exitCode() == exitCode;
}
} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void minimizedOption_data();
    void minimizedOption();
    void firstWindowShownOnStart_data();
    void firstWindowShownOnStart();
    void secondStartHandsOver_data();
    void secondStartHandsOver();
    void nothingUnderTheNameBlocksTheStart_data();
    void nothingUnderTheNameBlocksTheStart();
    void documentWithoutRootObjectEndsWithMinusOne_data();
    void documentWithoutRootObjectEndsWithMinusOne();
    void realBinaryHandsOverToItself();
};

void tst_Startup::minimizedOption_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("minimized");

    const QString program = QStringLiteral("vantrelvpn");
    QTest::newRow("exact") << QStringList {program, QStringLiteral("--minimized")} << true;
    QTest::newRow("among others") << QStringList {program, QStringLiteral("-x"),
        QStringLiteral("--minimized")}
                                  << true;
    QTest::newRow("none") << QStringList {program} << false;
    QTest::newRow("upper case") << QStringList {program, QStringLiteral("--Minimized")} << false;
    QTest::newRow("with value") << QStringList {program, QStringLiteral("--minimized=1")} << false;
    QTest::newRow("trailing blank") << QStringList {program, QStringLiteral("--minimized ")} << false;
    QTest::newRow("single dash") << QStringList {program, QStringLiteral("-minimized")} << false;
    QTest::newRow("program name only") << QStringList {QStringLiteral("--minimized")} << false;
}

void tst_Startup::minimizedOption()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, minimized);
    QCOMPARE(AppStartup::startsMinimized(arguments), minimized);
}

void tst_Startup::firstWindowShownOnStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("shown");

    QTest::newRow("plain start") << QStringList {} << true;
    QTest::newRow("--minimized") << QStringList {QStringLiteral("--minimized")} << false;
    QTest::newRow("--Minimized is no option") << QStringList {QStringLiteral("--Minimized")} << true;
}

void tst_Startup::firstWindowShownOnStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, shown);

    Sandbox sandbox;
    Launch *first = sandbox.startProbe(arguments);
    QTRY_VERIFY_WITH_TIMEOUT(first->output.contains(kRunning), kStartTimeoutMs);
    // Start-up shows the window before the event loop runs, so its log line comes first.
    QCOMPARE(first->output.contains(kShown), shown);
}

void tst_Startup::secondStartHandsOver_data()
{
    QTest::addColumn<QStringList>("firstArguments");
    QTest::addColumn<QStringList>("secondArguments");

    const QStringList minimized {QStringLiteral("--minimized")};
    QTest::newRow("to a hidden window") << minimized << QStringList {};
    QTest::newRow("to a shown window") << QStringList {} << QStringList {};
    QTest::newRow("second asks for minimised") << minimized << minimized;
}

void tst_Startup::secondStartHandsOver()
{
    QFETCH(QStringList, firstArguments);
    QFETCH(QStringList, secondArguments);

    Sandbox sandbox;
    Launch *first = sandbox.startProbe(firstArguments);
    QTRY_VERIFY_WITH_TIMEOUT(first->output.contains(kRunning), kStartTimeoutMs);
    const int shownBefore = first->output.count(kShown);

    Launch *second = sandbox.startProbe(secondArguments);
    QVERIFY2(finishedWith(second, 0), second->output.constData());
    QVERIFY(!second->output.contains(kRunning));

    QTRY_COMPARE_WITH_TIMEOUT(first->output.count(kShown), shownBefore + 1, kStartTimeoutMs);
    QCOMPARE(first->process.state(), QProcess::Running);

    // Every further start is one more request.
    Launch *third = sandbox.startProbe();
    QVERIFY2(finishedWith(third, 0), third->output.constData());
    QTRY_COMPARE_WITH_TIMEOUT(first->output.count(kShown), shownBefore + 2, kStartTimeoutMs);
}

enum class Occupant {
    CrashedInstance,
    PlainFile,
    SharedTempServer,
    ServerInOpenRuntimeDir,
    OpenFallbackFolder,
};

void tst_Startup::nothingUnderTheNameBlocksTheStart_data()
{
    QTest::addColumn<Occupant>("occupant");
    QTest::addColumn<bool>("guarded");

    QTest::newRow("socket left by a crashed instance") << Occupant::CrashedInstance << true;
    QTest::newRow("plain file under the name") << Occupant::PlainFile << true;
    QTest::newRow("live server under the bare name in the shared temp dir")
        << Occupant::SharedTempServer << true;
    QTest::newRow("live server in a runtime dir open to others") << Occupant::ServerInOpenRuntimeDir << true;
    // Without any user-only folder the process runs unguarded rather than not at all.
    QTest::newRow("fallback folder open to others") << Occupant::OpenFallbackFolder << false;
}

void tst_Startup::nothingUnderTheNameBlocksTheStart()
{
    QFETCH(Occupant, occupant);
    QFETCH(bool, guarded);

    Sandbox sandbox;
    QLocalServer foreign;
    const auto openToOthers = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
        | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    switch (occupant) {
    case Occupant::CrashedInstance: {
        Launch *crashed = sandbox.startProbe();
        QTRY_VERIFY_WITH_TIMEOUT(crashed->output.contains(kRunning), kStartTimeoutMs);
        crashed->process.kill();
        QVERIFY(crashed->process.waitForFinished());
        QVERIFY(QFile::exists(sandbox.instanceName()));
        break;
    }
    case Occupant::PlainFile: {
        QFile file(sandbox.instanceName());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("show");
        break;
    }
    case Occupant::SharedTempServer:
        QVERIFY(foreign.listen(QDir(sandbox.path(QStringLiteral("tmp"))).filePath(kServerFileName)));
        break;
    case Occupant::ServerInOpenRuntimeDir:
        QVERIFY(QFile::setPermissions(sandbox.runtimeDir(), openToOthers));
        QVERIFY(foreign.listen(sandbox.instanceName()));
        break;
    case Occupant::OpenFallbackFolder: {
        sandbox.env().remove(QStringLiteral("XDG_RUNTIME_DIR"));
        const QString fallback
            = QDir(sandbox.path(QStringLiteral("tmp"))).filePath(QLatin1String("runtime-") + userName());
        QVERIFY(QDir().mkpath(fallback));
        QVERIFY(QFile::setPermissions(fallback, openToOthers));
        QVERIFY(foreign.listen(QDir(fallback).filePath(kServerFileName)));
        break;
    }
    }

    Launch *first = sandbox.startProbe();
    QTRY_VERIFY2_WITH_TIMEOUT(first->output.contains(kRunning), first->output.constData(), kStartTimeoutMs);
    if (foreign.isListening()) {
        bool timedOut = false;
        QVERIFY2(!foreign.waitForNewConnection(0, &timedOut), "the request went to someone else's server");
    }

    Launch *second = sandbox.startProbe();
    if (guarded) {
        QVERIFY2(finishedWith(second, 0), second->output.constData());
        QTRY_VERIFY_WITH_TIMEOUT(first->output.count(kShown) == 2, kStartTimeoutMs);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(second->output.contains(kRunning), kStartTimeoutMs);
    }
}

void tst_Startup::documentWithoutRootObjectEndsWithMinusOne_data()
{
    QTest::addColumn<QString>("document");

    QTest::newRow("document with an error") << QStringLiteral("qrc:/probe/NoRoot.qml");
    QTest::newRow("missing document") << QStringLiteral("qrc:/probe/Missing.qml");
}

void tst_Startup::documentWithoutRootObjectEndsWithMinusOne()
{
    QFETCH(QString, document);

    Sandbox sandbox;
    sandbox.env().insert(QStringLiteral("VANTREL_PROBE_DOCUMENT"), document);
    Launch *launch = sandbox.startProbe();
    QVERIFY2(finishedWith(launch, 255), launch->output.constData());

    // The guard went with the process, so the next start is a first instance again.
    sandbox.env().remove(QStringLiteral("VANTREL_PROBE_DOCUMENT"));
    Launch *next = sandbox.startProbe();
    QTRY_VERIFY_WITH_TIMEOUT(next->output.contains(kRunning), kStartTimeoutMs);
}

void tst_Startup::realBinaryHandsOverToItself()
{
    Sandbox sandbox;
    Launch *first = sandbox.start(QStringLiteral(VANTREL_APP), {QStringLiteral("--minimized")});
    // The server's socket file appears once the first instance has passed the check.
    QTRY_VERIFY2_WITH_TIMEOUT(
        QFile::exists(sandbox.instanceName()), first->output.constData(), kStartTimeoutMs);

    Launch *second = sandbox.start(QStringLiteral(VANTREL_APP));
    QVERIFY2(finishedWith(second, 0), second->output.constData());
    QCOMPARE(first->process.state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
