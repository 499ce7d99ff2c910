#include "ServiceProcess.h"

#include <QTest>

namespace {
const QByteArray kLinePrefix = QByteArrayLiteral("simservice: ");
const QString kListening = QStringLiteral("listening on ");
constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 5000;
} // namespace

ServiceProcess::ServiceProcess(QString program, QObject *parent)
    : QObject(parent)
    , m_program(std::move(program))
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    connect(&m_process, &QProcess::readyReadStandardError, this, &ServiceProcess::onReadyRead);
}

ServiceProcess::~ServiceProcess()
{
    stop();
}

bool ServiceProcess::start(const QStringList &arguments)
{
    m_lines.clear();
    m_partial.clear();
    m_process.start(m_program, arguments);
    if (!m_process.waitForStarted(kStartTimeoutMs))
        return false;
    return QTest::qWaitFor(
               [this] {
                   return countStartingWith(kListening) > 0 || m_process.state() == QProcess::NotRunning;
               },
               kStartTimeoutMs)
        && m_process.state() == QProcess::Running;
}

void ServiceProcess::control(const QString &line)
{
    m_process.write(line.toUtf8() + '\n');
}

void ServiceProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(kStopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(kStopTimeoutMs);
    }
    onReadyRead();
}

QStringList ServiceProcess::log() const
{
    return m_lines;
}

int ServiceProcess::count(const QString &line) const
{
    return int(m_lines.count(line));
}

int ServiceProcess::countStartingWith(const QString &prefix) const
{
    return int(std::count_if(m_lines.cbegin(), m_lines.cend(),
        [&prefix](const QString &line) { return line.startsWith(prefix); }));
}

bool ServiceProcess::waitFor(const QString &line, int timeoutMs, int times)
{
    return QTest::qWaitFor([&] { return count(line) >= times; }, timeoutMs);
}

void ServiceProcess::onReadyRead()
{
    m_partial += m_process.readAllStandardError();
    qsizetype end = 0;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        QByteArray line = m_partial.left(end);
        m_partial.remove(0, end + 1);
        if (line.startsWith(kLinePrefix))
            line.remove(0, kLinePrefix.size());
        m_lines.append(QString::fromUtf8(line));
    }
}
