#include "AppUnderTest.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcessEnvironment>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
// The account file permissions are tested with when the suite runs as root.
constexpr uid_t kUnprivilegedId = 65534;
constexpr int kExitWaitMs = 5000;

const auto kRuntime = u"runtime"_s;
const auto kData = u"data"_s;
const auto kConfig = u"config"_s;
const auto kCache = u"cache"_s;
const auto kApplicationFolder = u"Vantrel/VantrelVPN"_s;
const auto kSettingsFile = u"Vantrel/VantrelVPN.conf"_s;

bool isRoot()
{
    return ::geteuid() == 0;
}
} // namespace

AppUnderTest::AppUnderTest(const QString &binary, QObject *parent)
    : QObject(parent)
    , m_binary(binary)
{
    m_process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    connect(&m_process, &QProcess::readyReadStandardError, this, [this] {
        const QByteArray chunk = m_process.readAllStandardError();
        m_errors += chunk;
        // Still shown, so a failing test's log tells what the app said.
        fputs(chunk.constData(), stderr);
    });
    const QDir home(m_home.path());
    for (const QString &folder : {kRuntime, kData, kConfig, kCache})
        home.mkpath(folder);
    QFile::setPermissions(home.filePath(kRuntime), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

AppUnderTest::~AppUnderTest()
{
    stop();
}

void AppUnderTest::setUnprivileged(bool unprivileged)
{
    m_unprivileged = unprivileged && isRoot();
}

QString AppUnderTest::dataDir() const
{
    return QDir(m_home.filePath(kData)).filePath(kApplicationFolder);
}

QString AppUnderTest::settingsFile() const
{
    return QDir(m_home.filePath(kConfig)).filePath(kSettingsFile);
}

void AppUnderTest::handOverHome() const
{
    if (!m_unprivileged)
        return;
    const QByteArray top = QFile::encodeName(m_home.path());
    [[maybe_unused]] int rc = ::chown(top.constData(), kUnprivilegedId, kUnprivilegedId);
    QDirIterator it(m_home.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
        QDirIterator::Subdirectories);
    while (it.hasNext())
        rc = ::chown(QFile::encodeName(it.next()).constData(), kUnprivilegedId, kUnprivilegedId);
}

bool AppUnderTest::start(const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, m_home.path());
    env.insert(u"XDG_RUNTIME_DIR"_s, m_home.filePath(kRuntime));
    env.insert(u"XDG_DATA_HOME"_s, m_home.filePath(kData));
    env.insert(u"XDG_CONFIG_HOME"_s, m_home.filePath(kConfig));
    env.insert(u"XDG_CACHE_HOME"_s, m_home.filePath(kCache));
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.remove(u"DISPLAY"_s);
    m_process.setProcessEnvironment(env);
    m_errors.clear();

    if (m_unprivileged) {
        handOverHome();
        const QString id = QString::number(kUnprivilegedId);
        m_process.start(u"setpriv"_s,
            QStringList {u"--reuid"_s, id, u"--regid"_s, id, u"--clear-groups"_s, u"--"_s, m_binary}
                + arguments);
    } else {
        m_process.start(m_binary, arguments);
    }
    return m_process.waitForStarted();
}

int AppUnderTest::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    m_process.terminate();
    if (!m_process.waitForFinished(kExitWaitMs)) {
        m_process.kill();
        m_process.waitForFinished(kExitWaitMs);
    }
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

bool AppUnderTest::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

qint64 AppUnderTest::pid() const
{
    return m_process.processId();
}

qint64 AppUnderTest::residentKiB() const
{
    if (!isRunning())
        return -1;
    // setpriv execs the app, so the pid stays the app's own.
    QFile status(u"/proc/%1/status"_s.arg(m_process.processId()));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

int AppUnderTest::countInErrors(const QString &text) const
{
    return int(m_errors.count(text.toUtf8()));
}
