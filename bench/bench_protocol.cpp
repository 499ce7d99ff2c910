// Prints how many "status" events per second the service client handles
// (receive from the socket, split, decode, event handling with its change
// signals) next to the rate of parsing the same lines with QJsonDocument
// alone, and their ratio.
//
// Usage: bench_protocol [events] [--json file]   (default: 200000 events)

#include "BenchReport.h"
#include "LineReader.h"
#include "PipeClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <poll.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int requested = args.size() > 1 ? args.at(1).toInt() : 0;
    const int events = requested > 0 ? requested : 200'000;

    QByteArray stream;
    QList<QByteArray> lines;
    lines.reserve(events);
    for (int i = 0; i < events; ++i) {
        const QByteArray line = statusLine(i + 1);
        stream += line;
        lines.append(line.chopped(1));
    }

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
    guard.start(120'000);

    QElapsedTimer clientTimer;
    clientTimer.start();
    std::thread writer(writeAll, int(peer->socketDescriptor()), stream);
    const int loopResult = loop.exec();
    const qint64 clientNs = clientTimer.nsecsElapsed();
    writer.join();
    if (loopResult != 0) {
        qWarning("only %d of %d events arrived", handled, events);
        return 1;
    }

    int parsed = 0;
    QElapsedTimer parseTimer;
    parseTimer.start();
    for (const QByteArray &line : lines) {
        const QJsonDocument document = QJsonDocument::fromJson(line);
        parsed += document.isObject() ? 1 : 0;
    }
    const qint64 parseNs = parseTimer.nsecsElapsed();

    // The splitting and decoding step alone, to tell it from event handling.
    LineReader reader;
    QElapsedTimer readerTimer;
    readerTimer.start();
    const qsizetype split = reader.feed(stream).size();
    const qint64 readerNs = readerTimer.nsecsElapsed();
    if (parsed != events || split != events)
        return 1;

    const double clientRate = events / (double(clientNs) / 1e9);
    const double parseRate = events / (double(parseNs) / 1e9);
    const double readerRate = events / (double(readerNs) / 1e9);
    BenchReport report(u"protocol"_s);
    report.add(u"events"_s, events, u""_s, 0);
    report.add(u"line_bytes"_s, double(stream.size()) / events, u"bytes"_s, 0);
    report.add(u"client_events_per_s"_s, clientRate, u"events/s"_s, 0);
    report.add(u"line_reader_per_s"_s, readerRate, u"lines/s"_s, 0);
    report.add(u"bare_parse_per_s"_s, parseRate, u"lines/s"_s, 0);
    report.add(u"client_vs_bare_ratio"_s, clientRate / parseRate, u"(target >= 0.5)"_s, 2);
    return report.finish(args) ? 0 : 1;
}
