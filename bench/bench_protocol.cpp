// Prints how many "status" events per second the service client handles
// (receive from the socket, split, decode, event handling with its change
// signals) next to the rate of parsing the same lines with QJsonDocument
// alone, and their ratio.
//
// Usage: bench_protocol [events per round] [--json file]   (default: 50000)

#include "BenchReport.h"
#include "LineReader.h"
#include "PipeClient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <poll.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRounds = 9;

// What the service sends once per poll while connected: every member the
// client reads, with counters that grow from one event to the next.
QByteArray statusLine(qint64 i)
{
    return QByteArray(R"({"attempt":0,"authenticated":true,"connected_since":"2026-03-10T08:00:00Z",)"
                      R"("down":)")
        + QByteArray::number(1'250'000'000 + i * 375'000)
        + R"(,"endpoint":"198.51.100.7:51820","error":"","ip":"10.8.0.2","kill_switch_mode":"on_connect",)"
          R"("status":"connected","transport":"tls","type":"status","up":)"
        + QByteArray::number(180'000'000 + i * 60'000) + R"(,"username":"alex@example.org"})" + '\n';
}

// Writes the whole stream from another thread, so the figure is the
// receiving side's cost and not the sender's.
void writeAll(int fd, const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p {fd, POLLOUT, 0};
            ::poll(&p, 1, 1000);
        } else if (n < 0 && errno != EINTR) {
            return;
        }
    }
}

qint64 threadCpuNs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int requested = args.size() > 1 ? args.at(1).toInt() : 0;
    const int events = requested > 0 ? requested : 50'000;

    QTemporaryDir dir;
    const QString socketPath = dir.filePath(u"daemon.sock"_s);
    const QString tokenPath = dir.filePath(u"pipe.token"_s);
    QFile token(tokenPath);
    if (!token.open(QIODevice::WriteOnly) || token.write("bench\n") < 0)
        return 1;
    token.close();

    QLocalServer server;
    if (!server.listen(socketPath)) {
        qWarning("cannot listen on %s", qPrintable(socketPath));
        return 1;
    }

    // Each event is 1.5 s after the previous one, as with the real poll, so
    // every event also computes speeds.
    qint64 fakeNow = 1'773'130'000'000;
    PipeClient client(nullptr, socketPath, tokenPath, dir.path(), [&] { return fakeNow += 1500; });
    int handled = 0;
    QEventLoop loop;
    QObject::connect(&client, &PipeClient::trafficChanged, &loop, [&] {
        if (++handled == events)
            loop.quit();
    });

    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, [&] { loop.exit(1); });

    // Connect and take the handshake line before the clock starts.
    client.connectToPipe();
    QLocalSocket *peer = nullptr;
    guard.start(5000);
    while (guard.isActive() && !(peer && peer->canReadLine())) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!peer && server.hasPendingConnections())
            peer = server.nextPendingConnection();
    }
    if (!peer || !peer->canReadLine()) {
        qWarning("the client did not connect");
        return 1;
    }
    peer->readAll();

    // The machine may be shared: each figure is the best of a few rounds,
    // and time is the CPU time of the thread that does the work, so waiting
    // for the sender or for another process does not count.
    double clientRate = 0, readerRate = 0, parseRate = 0;
    qint64 bytes = 0;
    for (int round = 0; round < kRounds; ++round) {
        QByteArray stream;
        QList<QByteArray> lines;
        lines.reserve(events);
        for (int i = 0; i < events; ++i) {
            const QByteArray line = statusLine(qint64(round) * events + i + 1);
            stream += line;
            lines.append(line.chopped(1));
        }
        bytes = stream.size();

        handled = 0;
        guard.start(120'000);
        const qint64 clientStart = threadCpuNs();
        std::thread writer(writeAll, int(peer->socketDescriptor()), stream);
        const int loopResult = loop.exec();
        const qint64 clientNs = threadCpuNs() - clientStart;
        writer.join();
        if (loopResult != 0) {
            qWarning("only %d of %d events arrived", handled, events);
            return 1;
        }

        LineReader reader;
        const qint64 readerStart = threadCpuNs();
        const qsizetype split = reader.feed(stream).size();
        const qint64 readerNs = threadCpuNs() - readerStart;

        int parsed = 0;
        const qint64 parseStart = threadCpuNs();
        for (const QByteArray &line : lines)
            parsed += QJsonDocument::fromJson(line).isObject() ? 1 : 0;
        const qint64 parseNs = threadCpuNs() - parseStart;
        if (parsed != events || split != events)
            return 1;

        clientRate = std::max(clientRate, events / (double(clientNs) / 1e9));
        readerRate = std::max(readerRate, events / (double(readerNs) / 1e9));
        parseRate = std::max(parseRate, events / (double(parseNs) / 1e9));
    }

    BenchReport report(u"protocol"_s);
    report.add(u"events_per_round"_s, events, u""_s, 0);
    report.add(u"line_bytes"_s, double(bytes) / events, u"bytes"_s, 0);
    report.add(u"client_events_per_s"_s, clientRate, u"events/s (receive, split, decode, handle)"_s, 0);
    report.add(u"line_reader_per_s"_s, readerRate, u"lines/s (split and decode only)"_s, 0);
    report.add(u"bare_parse_per_s"_s, parseRate, u"lines/s (QJsonDocument alone)"_s, 0);
    report.add(u"client_vs_bare_ratio"_s, clientRate / parseRate, u"(target >= 0.5)"_s, 2);
    return report.finish(args) ? 0 : 1;
}
