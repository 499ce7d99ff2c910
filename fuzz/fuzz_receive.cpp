// Bytes from the service, as they come off the control socket, through the
// client's whole receive path: socket, line splitting, JSON decoding and the
// event handler with its property updates and signals.
//
// Each input gets a fresh client on a fresh connection, so a crash reproduces
// from its input alone. After the input a line feed and a sentinel event are
// sent; the sentinel must come through, whatever the input was, or the
// receive path lost its footing (the target then aborts).

#include "PipeClient.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxRounds = 100000;

struct Harness
{
    QTemporaryDir dir;
    QLocalServer server;
    QString socketPath;
    QString tokenPath;
    // Diagnostics copies go nowhere: the input may name any file.
    QString desktopDir;
    qint64 clockMs = 0;
    quint64 round = 0;
};

Harness *harness = nullptr;

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_receive: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static int qtArgc = 1;
    static char *qtArgv[] = {(*argv)[0], nullptr};
    Q_UNUSED(argc)
    new QCoreApplication(qtArgc, qtArgv);
    harness = new Harness;
    if (!harness->dir.isValid())
        fail("no temporary directory");
    harness->socketPath = harness->dir.filePath(u"daemon.sock"_s);
    harness->tokenPath = harness->dir.filePath(u"pipe.token"_s);
    harness->desktopDir = harness->dir.filePath(u"no-desktop"_s);
    if (!harness->server.listen(harness->socketPath))
        fail("cannot listen");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Harness &h = *harness;
    // A clock that moves one second per reading keeps speeds deterministic.
    PipeClient client(nullptr, h.socketPath, h.tokenPath, h.desktopDir, [&h] { return h.clockMs += 1000; });
    client.connectToPipe();
    if (!h.server.waitForNewConnection(5000))
        fail("client did not connect");
    QLocalSocket *peer = h.server.nextPendingConnection();
    for (int i = 0; i < kMaxRounds && !client.status().startsWith(u"connected"_s); ++i)
        QCoreApplication::processEvents();

    const QString sentinel = u"sentinel-"_s + QString::number(++h.round);
    peer->write(reinterpret_cast<const char *>(data), qint64(size));
    peer->write("\n{\"type\":\"pong\",\"version\":\"" + sentinel.toUtf8() + "\"}\n");
    peer->flush();
    const QString expected = u"pong v"_s + sentinel;
    int rounds = 0;
    while (client.status() != expected) {
        if (++rounds > kMaxRounds)
            fail("the event after the input was never handled");
        peer->readAll(); // the client's commands are of no interest
        QCoreApplication::processEvents();
    }

    peer->abort();
    delete peer;
    return 0;
}
