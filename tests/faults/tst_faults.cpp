// The real vantrelvpn binary against a misbehaving VPN service and damaged
// files: it must keep running, keep its link usable and leave stored data
// alone.

#include "AppUnderTest.h"
#include "ScriptedService.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

class tst_Faults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void serviceKilledAndRestarted();
    void badInput_data();
    void badInput();
    void silentService();
    void damagedStatsDatabase_data();
    void damagedStatsDatabase();
    void garbageSettings_data();
    void garbageSettings();

private:
    // Starts the app against a scripted service and waits until the link
    // works: the handshake arrived and a "ready" brings a "status" command.
    bool startLinked(AppUnderTest &app, ScriptedService &service);
    // Sends a "ready" and waits for the "status" command it brings: proof
    // that the app still reads and handles lines after whatever came before.
    bool linkAnswers(ScriptedService &service);
};

namespace {
const auto kServiceDir = u"/run/vantrelvpn"_s;
const auto kStatsWarning = u"StatsStore: cannot open"_s;
const auto kStatusCommand = u"status"_s;
constexpr int kRestarts = 100;
constexpr int kWarmUpRestarts = 5;
// Growth of the app's resident memory over the restarts that still counts
// as flat: allocator noise, not a per-connection leak.
constexpr qint64 kFlatMemoryKiB = 8 * 1024;
constexpr int kLinkTimeoutMs = 15000;
constexpr int kBusyServiceWaitMs = 300000;

bool sanitized()
{
    return qEnvironmentVariableIsSet("ASAN_OPTIONS");
}

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

// A sound database the app could use, were it allowed to write; returns its
// bytes.
QByteArray statsDatabaseWithOneDay(const QString &path)
{
    const QString name = u"fault-setup"_s;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(path);
        QSqlQuery query(db);
        if (!db.open()
            || !query.exec(u"CREATE TABLE days( date TEXT PRIMARY KEY, up INTEGER NOT NULL DEFAULT 0, "
                           u"down INTEGER NOT NULL DEFAULT 0, protected_seconds INTEGER NOT NULL DEFAULT 0, "
                           u"speed_sum REAL NOT NULL DEFAULT 0, speed_n INTEGER NOT NULL DEFAULT 0, "
                           u"ping_sum INTEGER NOT NULL DEFAULT 0, ping_n INTEGER NOT NULL DEFAULT 0)"_s)
            || !query.exec(u"INSERT INTO days(date, up, down) VALUES(date('now'), 10, 20)"_s))
            return {};
    }
    QSqlDatabase::removeDatabase(name);
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray statusLine(const QByteArray &state, const QByteArray &counters = {})
{
    return R"({"type":"status","status":")" + state + '"' + counters + "}\n";
}

const QByteArray kReady = R"({"type":"ready","version":"1.0"})"
                          "\n";
} // namespace

void tst_Faults::initTestCase()
{
    QVERIFY2(QFile::exists(QStringLiteral(APP_BINARY)), APP_BINARY);
    QVERIFY2(QFile::exists(QStringLiteral(SIMSERVICE_BINARY)), SIMSERVICE_BINARY);
    // The app reaches the service only at its fixed path.
    if (!QDir().mkpath(kServiceDir) || ::access(QFile::encodeName(kServiceDir).constData(), W_OK) != 0)
        QSKIP("needs to own /run/vantrelvpn (run as root)");
}

void tst_Faults::init()
{
    QVERIFY2(ScriptedService::waitUntilFree(kServiceDir, kBusyServiceWaitMs),
        "another service keeps /run/vantrelvpn busy");
}

bool tst_Faults::linkAnswers(ScriptedService &service)
{
    const int before = int(service.commands().count(kStatusCommand));
    service.send(kReady);
    return QTest::qWaitFor([&] { return service.commands().count(kStatusCommand) > before; }, kLinkTimeoutMs);
}

bool tst_Faults::startLinked(AppUnderTest &app, ScriptedService &service)
{
    if (!service.listen() || !app.start({u"--minimized"_s}))
        return false;
    if (!QTest::qWaitFor([&] { return service.handshakeReceived(); }, kLinkTimeoutMs))
        return false;
    return linkAnswers(service);
}

void tst_Faults::serviceKilledAndRestarted()
{
    // Declared first: the service's last output arrives while it is destroyed.
    QByteArray serviceLog;
    QProcess service;
    service.setProcessChannelMode(QProcess::SeparateChannels);
    connect(&service, &QProcess::readyReadStandardError, this,
        [&] { serviceLog += service.readAllStandardError(); });
    const auto startService = [&] {
        serviceLog.clear();
        service.start(QStringLiteral(SIMSERVICE_BINARY), {u"--signed-in"_s});
        return service.waitForStarted();
    };
    const auto handshaken = [&] {
        return QTest::qWaitFor([&] { return serviceLog.contains("handshake accepted"); }, kLinkTimeoutMs);
    };

    QVERIFY(startService());
    AppUnderTest app(QStringLiteral(APP_BINARY));
    QVERIFY(app.start({u"--minimized"_s}));
    QVERIFY(handshaken());

    qint64 memoryBefore = -1;
    for (int restart = 1; restart <= kRestarts; ++restart) {
        service.kill();
        QVERIFY(service.waitForFinished());
        QVERIFY(startService());
        QVERIFY2(handshaken(), qPrintable(u"no reconnection after restart %1"_s.arg(restart)));
        QVERIFY2(app.isRunning(), qPrintable(u"the app ended at restart %1"_s.arg(restart)));
        if (restart == kWarmUpRestarts)
            memoryBefore = app.residentKiB();
    }
    const qint64 memoryAfter = app.residentKiB();
    qInfo("restarts survived: %d; app resident memory after %d restarts %lld KiB, after %d: %lld KiB",
        kRestarts, kWarmUpRestarts, memoryBefore, kRestarts, memoryAfter);
    QVERIFY(memoryBefore > 0);
    // AddressSanitizer keeps freed memory in quarantine, so a sanitized app
    // grows by design; its leaks are LeakSanitizer's to find.
    if (!sanitized())
        QVERIFY2(memoryAfter - memoryBefore < kFlatMemoryKiB, "memory grows with each reconnection");

    // Ended gracefully, so it removes its socket file.
    service.terminate();
    service.waitForFinished();
}

void tst_Faults::badInput_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("pieceSize"); // 0: one write

    QTest::newRow("binary garbage") << randomBytes(256 * 1024, 13) << 0;
    QTest::newRow("garbage in small pieces") << randomBytes(4096, 14) << 7;
    QTest::newRow("line over the cap") << QByteArray(3 * 1024 * 1024, 'x') + '\n' << 0;
    QTest::newRow("event with a string over the cap")
        << R"({"type":"error","error":")" + QByteArray(2 * 1024 * 1024, 'e') + "\"}\n"
        << 64 * 1024;
    QTest::newRow("unterminated megabytes then an event")
        << QByteArray(5 * 1024 * 1024, '{') + statusLine("failed") << 256 * 1024;
    QTest::newRow("status event byte by byte")
        << statusLine("failed", R"(,"error":"handshake timed out","up":12,"down":34)") << 1;
    QTest::newRow("invalid UTF-8") << QByteArray(
        "{\"type\":\"error\",\"error\":\"\xff\xfe\xc0\x80\"}\n\xed\xa0\x80\n"
        "{\"type\":\"status\",\"status\":\"\xf4\x90\x80\x80\",\"username\":\"\xc3\"}\n")
                                   << 0;
    QTest::newRow("multi-byte characters split between writes") << QByteArray(
        "{\"type\":\"status\",\"status\":\"disconnected\",\"username\":\"\xd0\x90\xd0\xbb\xd0"
        "\xb5\xd0\xba\xd1\x81\"}\n") << 1;
    QTest::newRow("NUL bytes and control characters") << QByteArray(
        "{\"type\":\0\"status\"}\n\0\0\0\n\r\r\t\n{\"type\":\"error\",\"error\":\"\x01\x1b[2J\"}\n", 60)
                                                      << 0;
    QTest::newRow("deep nesting") << QByteArray(200000, '[') + "\n" + QByteArray(100000, '{') + "\n" << 0;
    QTest::newRow("members of the wrong types")
        << QByteArray(R"({"type":"status","status":42,"authenticated":"yes","up":"many","down":[1],)"
                      R"("attempt":{},"endpoint":null,"error":true}
{"type":["status"]}
{"type":"update_progress","update_progress":"half"}
{"type":"diag_ready","diag_path":{"a":1}}
)") << 0;
    QTest::newRow("extreme numbers")
        << statusLine("connected", R"(,"connected_since":"a","up":1e308,"down":-1e308,"attempt":1e300)")
            + statusLine("connected", R"(,"connected_since":"a","up":9223372036854775807,"down":0)")
            + statusLine("connected", R"(,"connected_since":"a","up":-9223372036854775808,"down":0)")
            + statusLine("connected", R"(,"connected_since":"a","up":5,"down":5)")
            + R"({"type":"update_progress","update_progress":-2147483649})"
              "\n"
            + statusLine("disconnected")
        << 0;
    QTest::newRow("unknown, empty and missing types") << QByteArray(
        "{}\n{\"type\":\"\"}\n{\"type\":\"STATUS\"}\n{\"type\":\"reboot\",\"now\":true}\n"
        "null\n\"status\"\n[{\"type\":\"ready\"}]\n") << 0;
}

void tst_Faults::badInput()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, pieceSize);

    ScriptedService service(kServiceDir);
    AppUnderTest app(QStringLiteral(APP_BINARY));
    QVERIFY(startLinked(app, service));

    if (pieceSize > 0)
        service.sendInPieces(bytes, pieceSize);
    else
        service.send(bytes);
    // Whatever partial line the input left ends here.
    service.send("\n");
    QVERIFY2(linkAnswers(service), "the app stopped handling events after the input");
    QVERIFY(app.isRunning());
    QCOMPARE(service.connectionCount(), 1);
}

void tst_Faults::silentService()
{
    ScriptedService service(kServiceDir);
    AppUnderTest app(QStringLiteral(APP_BINARY));
    QVERIFY(service.listen());
    QVERIFY(app.start({u"--minimized"_s}));
    QTRY_VERIFY_WITH_TIMEOUT(service.handshakeReceived(), kLinkTimeoutMs);

    // The client has no answer timeout: it just waits, sending nothing more.
    QVERIFY(!QTest::qWaitFor([&] { return !service.commands().isEmpty() || !app.isRunning(); }, 3000));

    // Once the silent service goes away the app comes back on its own.
    service.dropClient();
    QTRY_COMPARE_WITH_TIMEOUT(service.connectionCount(), 2, kLinkTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(service.handshakeReceived(), kLinkTimeoutMs);
    QVERIFY(linkAnswers(service));
}

void tst_Faults::damagedStatsDatabase_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<bool>("cannotOpen");

    QTest::newRow("garbage bytes") << u"garbage"_s << false;
    QTest::newRow("read-only database") << u"read-only"_s << false;
    QTest::newRow("unwritable directory") << u"unwritable-dir"_s << true;
    QTest::newRow("a file where the data directory belongs") << u"file-as-dir"_s << true;
    QTest::newRow("a directory named stats.db") << u"dir-as-file"_s << true;
}

void tst_Faults::damagedStatsDatabase()
{
    QFETCH(QString, damage);
    QFETCH(bool, cannotOpen);

    AppUnderTest app(QStringLiteral(APP_BINARY));
    const QString dataDir = app.dataDir();
    const QString dbPath = dataDir + u"/stats.db"_s;
    QVERIFY(QDir().mkpath(dataDir));
    QByteArray before;

    if (damage == u"garbage"_s) {
        before = randomBytes(64 * 1024, 7);
    } else if (damage == u"read-only"_s) {
        app.setUnprivileged(true);
        before = statsDatabaseWithOneDay(dbPath);
        QVERIFY(!before.isEmpty());
    } else if (damage == u"unwritable-dir"_s) {
        app.setUnprivileged(true);
    } else if (damage == u"file-as-dir"_s) {
        QVERIFY(QDir(dataDir).removeRecursively());
        before = "not a directory";
    } else if (damage == u"dir-as-file"_s) {
        QVERIFY(QDir().mkpath(dbPath));
    }
    const QString damagedPath = damage == u"file-as-dir"_s ? dataDir : dbPath;
    if (!before.isNull() && !QFile::exists(damagedPath)) {
        QFile file(damagedPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(before);
    }
    app.handOverHome();
    if (damage == u"read-only"_s)
        QVERIFY(QFile::setPermissions(dbPath, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    if (damage == u"unwritable-dir"_s)
        QVERIFY(QFile::setPermissions(dataDir, QFile::ReadOwner | QFile::ExeOwner));

    ScriptedService service(kServiceDir);
    QVERIFY(startLinked(app, service));
    // A whole session with traffic, which a working store would record.
    service.send(statusLine("connected", R"(,"connected_since":"s","up":1000,"down":2000)")
        + statusLine("connected", R"(,"connected_since":"s","up":5000,"down":9000)") + statusLine("failed"));
    QVERIFY(linkAnswers(service));
    QVERIFY(app.isRunning());

    const int warnings = app.countInErrors(kStatsWarning);
    if (cannotOpen)
        QCOMPARE(warnings, 1);
    else
        QVERIFY2(warnings <= 1, qPrintable(app.errorOutput()));
    if (!before.isNull()) {
        QFile file(damagedPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll() == before, "the damaged file was changed");
    }
}

void tst_Faults::garbageSettings_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("binary garbage") << randomBytes(16 * 1024, 21);
    QTest::newRow("values of the wrong kinds")
        << QByteArray("[ui]\ndarkTheme=@ByteArray(\xff\xfe)\nwhitelist=@Variant(\0\0\0\x7f\0\0\0\x10)\n"
                      "games=maybe\ntransport=@Invalid()\nlanguage=\xd1\x80\xd1\x83\n",
               100);
    QTest::newRow("broken sections") << QByteArray("[ui\n[[[\n=\n==\nui/darkTheme\n[ui]\n=true\n");
    QTest::newRow("one huge line") << QByteArray(4 * 1024 * 1024, 'k');
}

void tst_Faults::garbageSettings()
{
    QFETCH(QByteArray, content);

    AppUnderTest app(QStringLiteral(APP_BINARY));
    QVERIFY(QDir().mkpath(QFileInfo(app.settingsFile()).absolutePath()));
    QFile file(app.settingsFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    ScriptedService service(kServiceDir);
    // Started with the window shown, so the screens read the preferences.
    QVERIFY(service.listen());
    QVERIFY(app.start());
    QTRY_VERIFY_WITH_TIMEOUT(service.handshakeReceived(), kLinkTimeoutMs);
    QVERIFY(linkAnswers(service));
    QVERIFY(app.isRunning());
}

QTEST_GUILESS_MAIN(tst_Faults)
#include "tst_faults.moc"
