#include "FakeService.h"
#include "PipeClient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QMetaMethod>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <unistd.h>

using namespace Qt::StringLiterals;

using Call = std::function<void(PipeClient &)>;
using Steps = QList<QByteArray>;
Q_DECLARE_METATYPE(Call)

// Records every signal of an object in emission order, with its arguments:
// "versionReceived(1.2)".
class SignalLog : public QObject
{
    Q_OBJECT

public:
    explicit SignalLog(QObject *source)
    {
        const QMetaObject *meta = source->metaObject();
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            if (meta->method(i).methodType() != QMetaMethod::Signal)
                continue;
            m_spies[i] = std::make_unique<QSignalSpy>(source, meta->method(i));
            QMetaObject::connect(source, i, this, metaObject()->indexOfSlot("record()"));
        }
    }

    QStringList names;

public slots:
    void record()
    {
        const int index = senderSignalIndex();
        QStringList args;
        for (const QVariant &arg : m_spies[index]->constLast())
            args.append(arg.toString());
        const QString name = QString::fromLatin1(sender()->metaObject()->method(index).name());
        names.append(args.isEmpty() ? name : name + u'(' + args.join(u',') + u')');
    }

private:
    std::map<int, std::unique_ptr<QSignalSpy>> m_spies;
};

namespace {
const QByteArray baseStatus = R"({"type":"status","authenticated":true,"kill_switch_mode":"always",
    "username":"ivan","status":"connected","ip":"10.0.0.2","transport":"tls","endpoint":"a.example:443",
    "attempt":0,"error":"","up":1000,"down":500,"connected_since":"S1"})";

QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

// The base "status" event with some members replaced; a null removes one.
QByteArray status(const QByteArray &changes = "{}")
{
    QJsonObject event = parse(baseStatus);
    const QJsonObject patch = parse(changes);
    for (auto it = patch.begin(); it != patch.end(); ++it) {
        if (it->isNull())
            event.remove(it.key());
        else
            event.insert(it.key(), *it);
    }
    return QJsonDocument(event).toJson(QJsonDocument::Compact);
}

// Script actions: forget the signals so far, move the clock, call sendApplyUpdate().
const QByteArray mark = R"({"do":"mark"})";
const QByteArray advance = R"({"do":"advance","ms":1500})";
const QByteArray apply = R"({"do":"apply"})";
} // namespace

class TestPipeClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void retriesUntilServiceAppears();
    void serviceClosingBeforeReadyBacksOff();
    void lossClearsLinkStateAndReconnects();
    void shutdownSuppressesOneReconnect();
    void connectToPipeWhileConnected();
    void accessDeniedStopsRetrying();

    void eventFraming();
    void statusEvents_data();
    void statusEvents() { runScript(); }
    void trafficEvents_data();
    void trafficEvents() { runScript(); }
    void updateEvents_data();
    void updateEvents() { runScript(); }
    void pollOnlyWhileActive();
    void diagnosticsCopy_data();
    void diagnosticsCopy();

    void commands_data();
    void commands();

private:
    void runScript();
    void compareProperties(const QString &expected);
    bool connectClient();
    bool deliver(const QByteArray &line);
    QLocalSocket *clientSocket() const { return m_client->findChild<QLocalSocket *>(); }
    QTimer *timer(bool singleShot) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeService> m_service;
    std::unique_ptr<PipeClient> m_client;
    qint64 m_now = 1'000'000;
};

void TestPipeClient::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(m_dir->path()).mkdir(u"Desktop"_s));
    QFile token(m_dir->filePath(u"pipe.token"_s));
    QVERIFY(token.open(QIODevice::WriteOnly));
    token.write("secret\n");
    const QString socketPath = m_dir->filePath(u"daemon.sock"_s);
    m_service = std::make_unique<FakeService>(socketPath);
    m_client = std::make_unique<PipeClient>(
        nullptr, socketPath, token.fileName(), m_dir->filePath(u"Desktop"_s), [this] { return m_now; });
}

void TestPipeClient::cleanup()
{
    m_client.reset();
    m_service.reset();
    m_dir.reset();
}

QTimer *TestPipeClient::timer(bool singleShot) const
{
    for (QTimer *timer : m_client->findChildren<QTimer *>()) {
        if (timer->isSingleShot() == singleShot)
            return timer;
    }
    return nullptr;
}

bool TestPipeClient::connectClient()
{
    if (!m_service->listen())
        return false;
    m_client->connectToPipe();
    if (!m_service->waitForClient() || !m_service->waitForReceived(1))
        return false;
    m_service->clearReceived();
    return true;
}

// Sends one line and returns once the client has read it.
bool TestPipeClient::deliver(const QByteArray &line)
{
    QSignalSpy read(clientSocket(), &QLocalSocket::readyRead);
    m_service->sendRaw(line + '\n');
    return read.wait(3000);
}

// "name=value;..." compared as text; "applyRequested" is no property but is read too.
void TestPipeClient::compareProperties(const QString &expected)
{
    for (const QString &pair : expected.split(u';', Qt::SkipEmptyParts)) {
        const QString name = pair.section(u'=', 0, 0);
        const QVariant actual = name == u"applyRequested" ? QVariant(m_client->applyRequested())
                                                          : m_client->property(name.toLatin1());
        QVERIFY2(actual.isValid(), qPrintable(name));
        QVERIFY2(actual.toString() == pair.section(u'=', 1), qPrintable(name + u" = "_s + actual.toString()));
    }
}

void TestPipeClient::retriesUntilServiceAppears()
{
    m_client->setSlowRetryInterval(1200);
    QTimer *retry = timer(true);
    QList<int> delays;
    QStringList statuses;
    QStringList links;
    QObject guard;
    connect(clientSocket(), &QLocalSocket::errorOccurred, &guard, [&] {
        delays.append(retry->isActive() ? retry->interval() : -1);
        links.append(m_client->linkState());
    });
    connect(m_client.get(), &PipeClient::statusChanged, &guard, [&] { statuses.append(m_client->status()); });
    QSignalSpy linkChanges(m_client.get(), &PipeClient::linkStateChanged);

    m_client->connectToPipe();
    QTRY_COMPARE_WITH_TIMEOUT(delays.size(), 12, 15000);
    QCOMPARE(delays, QList<int>(10, 500) << 1200 << 1200);
    // The interface learns of the spent fast attempts once, with the first slow one.
    QCOMPARE(links, QStringList(10, u"connecting"_s) << u"unreachable"_s << u"unreachable"_s);
    QCOMPARE(linkChanges.count(), 1);
    QCOMPARE(statuses.size(), 2);
    QCOMPARE(statuses.at(0), u"connecting..."_s);
    QVERIFY(statuses.at(1).startsWith(u"error: "_s));

    QVERIFY(m_service->listen());
    QVERIFY(m_service->waitForClient(3000));
    QVERIFY(m_service->waitForReceived(1));
    QCOMPARE(m_service->receivedBytes(),
        QByteArray(R"({"magic":"VANTRELVPN_IPC","token":"secret","version":1})"
                   "\n"));
    QCOMPARE(m_client->status(), u"connected \u2014 sending handshake"_s);
    // After failed attempts the link counts as up once the service answers.
    QCOMPARE(m_client->linkState(), u"unreachable"_s);
    m_service->sendLine(parse(R"({"type":"ready","version":"2.0"})"));
    QTRY_COMPARE(m_client->linkState(), u"up"_s);
}

void TestPipeClient::serviceClosingBeforeReadyBacksOff()
{
    m_client->setSlowRetryInterval(1500);
    QTimer *retry = timer(true);
    QList<int> delays;
    QStringList links;
    bool refuse = true;
    QObject guard;
    connect(clientSocket(), &QLocalSocket::disconnected, &guard, [&] {
        delays.append(retry->isActive() ? retry->interval() : -1);
        links.append(m_client->linkState());
    });
    // What a service does with a token it refuses: it closes the link unanswered.
    connect(m_service.get(), &FakeService::messageReceived, &guard, [&](const QJsonObject &message) {
        if (!message.contains(u"magic"_s))
            return;
        if (refuse)
            m_service->dropClient();
        else
            m_service->sendLine(parse(R"({"type":"ready","version":"2.0"})"));
    });
    QSignalSpy linkChanges(m_client.get(), &PipeClient::linkStateChanged);

    QVERIFY(m_service->listen());
    m_client->connectToPipe();
    QTRY_COMPARE_WITH_TIMEOUT(delays.size(), 12, 15000);
    QCOMPARE(delays, QList<int>(10, 500) << 1500 << 1500);
    QCOMPARE(links, QStringList(10, u"connecting"_s) << u"closed"_s << u"closed"_s);
    // Up for the first link only, then no flicker with each new one.
    QCOMPARE(linkChanges.count(), 3);

    // The next slow attempt finds the service accepting again, and its
    // "ready" brings the fast attempts back for a later loss.
    refuse = false;
    QTRY_COMPARE_WITH_TIMEOUT(m_client->linkState(), u"up"_s, 5000);
    QCOMPARE(m_client->status(), u"ready \u2014 daemon v2.0"_s);
    m_service->dropClient();
    QTRY_COMPARE(delays.size(), 13);
    QCOMPARE(delays.last(), 500);
    QCOMPARE(m_client->linkState(), u"connecting"_s);
}

void TestPipeClient::lossClearsLinkStateAndReconnects()
{
    QVERIFY(connectClient());
    QVERIFY(deliver(status()));
    m_now += 1500;
    QVERIFY(deliver(status(R"({"up":4000,"error":"slow"})")));
    QCOMPARE(m_client->upSpeed(), 2000.0);

    m_service->dropClient();
    QTRY_COMPARE(m_client->status(), u"disconnected"_s);
    QVERIFY(timer(true)->isActive());
    QCOMPARE(timer(true)->interval(), 500);
    QVERIFY(!timer(false)->isActive());
    compareProperties(
        u"authenticated=false;vpnState=disconnected;upSpeed=0;username=ivan;killSwitchMode=always;"
        "vpnIp=10.0.0.2;transport=tls;endpoint=a.example:443;errorText=slow;up=4000;connectedSince=S1;"
        "linkState=connecting"_s);

    QVERIFY(m_service->waitForClient(2000));
    QVERIFY(m_service->waitForReceived(1));
    QCOMPARE(parse(m_service->receivedBytes()).value(u"magic"_s).toString(), u"VANTRELVPN_IPC"_s);
}

void TestPipeClient::shutdownSuppressesOneReconnect()
{
    // Without a connection "shutdown" is dropped and sets no flag.
    QSignalSpy statusSpy(m_client.get(), &PipeClient::statusChanged);
    m_client->sendShutdown();
    QCOMPARE(statusSpy.count(), 0);
    QVERIFY(connectClient());
    m_service->dropClient();
    QVERIFY(m_service->waitForClient(2000));

    m_client->sendShutdown();
    QVERIFY(m_service->waitForCommand(u"shutdown"_s));
    m_service->dropClient();
    QTRY_COMPARE(m_client->status(), u"disconnected"_s);
    QVERIFY(!timer(true)->isActive());
    QCOMPARE(m_client->linkState(), u"unreachable"_s);
    QVERIFY(!m_service->waitForClient(1200));

    // The flag covered only that close.
    m_client->connectToPipe();
    QVERIFY(m_service->waitForClient());
    m_service->dropClient();
    QVERIFY(m_service->waitForClient(2000));
}

void TestPipeClient::connectToPipeWhileConnected()
{
    QVERIFY(connectClient());
    m_client->connectToPipe();
    QVERIFY(m_service->waitForClient());
    QVERIFY(m_service->waitForReceived(1));
    QCOMPARE(m_service->received().constFirst().value(u"token"_s).toString(), u"secret"_s);
    QVERIFY(!m_service->waitForClient(1000));
    QCOMPARE(m_service->connectionCount(), 2);
    QVERIFY(m_service->hasClient());
}

void TestPipeClient::accessDeniedStopsRetrying()
{
    QVERIFY(m_service->listen());
    QVERIFY(m_service->setAccessible(false));
    // Root ignores file modes: act as an unprivileged user, who cannot even
    // reach into the private temporary folder.
    const bool root = ::geteuid() == 0;
    if (root)
        QVERIFY(::seteuid(65534) == 0);
    const auto restore = qScopeGuard([root] {
        if (root)
            QVERIFY(::seteuid(0) == 0);
    });
    QSignalSpy denied(m_client.get(), &PipeClient::accessDenied);
    QSignalSpy errors(clientSocket(), &QLocalSocket::errorOccurred);

    m_client->connectToPipe();
    QTRY_COMPARE(denied.count(), 1);
    QVERIFY(m_client->status().startsWith(u"error: "_s));
    QCOMPARE(m_client->linkState(), u"refused"_s);
    QVERIFY(!timer(true)->isActive());
    QVERIFY(!errors.wait(1000));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(denied.count(), 1);
}

void TestPipeClient::eventFraming()
{
    QVERIFY(connectClient());
    SignalLog log(m_client.get());
    m_service->sendLines(
        {parse(R"({"type":"pong","version":"1.3"})"), parse(R"({"type":"login_failed","error":"expired"})"),
            parse(R"({"type":"browser_opened","login_url":"https://x/l","expires_at":"T1"})")});
    QTRY_COMPARE(log.names,
        QStringList({u"statusChanged"_s, u"versionReceived(1.3)"_s, u"loginFailed(expired)"_s,
            u"browserOpened(https://x/l,T1)"_s}));
    QCOMPARE(m_client->status(), u"pong v1.3"_s);

    // A two-byte character cut between writes, each write read on its own.
    const QByteArray line = status(R"({"username":"Иван"})") + '\n';
    const qsizetype cut = line.indexOf("\xd0\x98") + 1;
    for (const QByteArray &piece : {line.left(cut), line.mid(cut, 5), line.mid(cut + 5)}) {
        QSignalSpy read(clientSocket(), &QLocalSocket::readyRead);
        m_service->sendRaw(piece);
        QVERIFY(read.wait());
    }
    QCOMPARE(m_client->username(), u"Иван"_s);

    // Under the default cap a long but valid event is read; a line just over the cap is dropped
    // whole and the next line still counts.
    QVERIFY(deliver(R"({"type":"error","error":")" + QByteArray(4096, 'e') + R"("})"));
    QCOMPARE(m_client->errorText().size(), 4096);
    QByteArray tooLong = status(R"({"username":""})");
    tooLong.insert(
        tooLong.indexOf(R"("username":")") + 12, LineReader::defaultMaxLineBytes + 1 - tooLong.size(), 'x');
    QSignalSpy renamed(m_client.get(), &PipeClient::usernameChanged);
    m_service->sendRaw(tooLong + '\n' + status(R"({"username":"after"})") + '\n');
    QTRY_COMPARE(m_client->username(), u"after"_s);
    QCOMPARE(renamed.count(), 1);
}

// Each step is an event line or one of the actions above. The expected signals are a space-separated
// list; the expected properties are "name=value" pairs separated by semicolons, compared as text.
void TestPipeClient::runScript()
{
    QFETCH(Steps, steps);
    QFETCH(QString, expectedSignals);
    QFETCH(QString, expected);

    QVERIFY(connectClient());
    SignalLog log(m_client.get());
    for (const QByteArray &step : steps) {
        const QJsonObject object = parse(step);
        const QString action = object.value(u"do"_s).toString();
        if (action == u"advance")
            m_now += object.value(u"ms"_s).toInteger();
        else if (action == u"mark")
            log.names.clear();
        else if (action == u"apply")
            m_client->sendApplyUpdate();
        else
            QVERIFY2(deliver(step), step.constData());
    }
    QCOMPARE(log.names, expectedSignals.split(u' ', Qt::SkipEmptyParts));
    compareProperties(expected);
}

static void addScript(const char *name, const Steps &steps, const char *sigs, const char *props = "")
{
    QTest::newRow(name) << steps << QString::fromUtf8(sigs) << QString::fromUtf8(props);
}

static void scriptColumns()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QString>("expectedSignals");
    QTest::addColumn<QString>("expected");
}

void TestPipeClient::statusEvents_data()
{
    scriptColumns();
    const auto row
        = [](const char *name, const QByteArray &second, const char *sigs, const char *props = "") {
              addScript(name, {status(), mark, second}, sigs, props);
          };
    row("identical status while active", status(), "", "vpnState=connected");
    row("endpoint only", status(R"({"endpoint":"b:1"})"), "vpnStateChanged");
    row("state and error", status(R"({"status":"reconnecting","error":"timeout","attempt":2.5})"),
        "vpnStateChanged vpnStateChanged", "attempt=0;errorText=timeout");
    row("without authenticated the flag stays", status(R"({"authenticated":null})"), "",
        "authenticated=true");
    row("without username it is cleared", status(R"({"username":null})"), "usernameChanged", "username=");
    row("empty address and transport keep the last", status(R"({"ip":"","transport":""})"), "",
        "vpnIp=10.0.0.2;transport=tls");
    row("unknown type", R"({"type":"bogus","status":"failed"})", "");
    row("missing type", R"({"status":"failed"})", "");
    row("logged_out keeps the user name", R"({"type":"logged_out"})",
        "authenticatedChanged vpnStateChanged trafficChanged statusChanged loggedOut",
        "username=ivan;vpnState=disconnected;status=logged out");
}

void TestPipeClient::trafficEvents_data()
{
    scriptColumns();
    const QByteArray first = status();
    const QByteArray second = status(R"({"up":4000,"down":3500})");
    const QByteArray third = status(R"({"up":5000,"down":3600})");
    const QByteArray soon = R"({"do":"advance","ms":100})";
    const QByteArray down = status(R"({"up":4000,"down":3500,"status":"disconnected"})");

    addScript("first sample has no speed", {status(R"({"up":0,"down":0,"connected_since":""})"), mark, first},
        "trafficChanged", "up=1000;upSpeed=0;connectedSince=S1");
    addScript("two samples 1.5 s apart", {first, advance, mark, second}, "trafficChanged",
        "upSpeed=2000;downSpeed=2000");
    addScript("samples 0.1 s apart keep the speeds", {first, advance, second, soon, mark, third},
        "trafficChanged", "upSpeed=2000;downSpeed=2000;up=5000");
    addScript("samples 0.1 s apart move the baseline",
        {first, advance, second, soon, third, R"({"do":"advance","ms":1000})", mark,
            status(R"({"up":6000,"down":4600})")},
        "trafficChanged", "upSpeed=1000;downSpeed=1000");
    addScript("new session zeroes the speeds",
        {first, advance, second, advance, mark, status(R"({"up":9000,"down":9000,"connected_since":"S2"})")},
        "trafficChanged", "upSpeed=0;downSpeed=0;connectedSince=S2");
    addScript("counter going back zeroes the speeds",
        {first, advance, second, advance, mark, status(R"({"up":3000,"down":3600})")}, "trafficChanged",
        "upSpeed=0;downSpeed=0");
    addScript("unchanged counters keep the speeds", {first, advance, second, advance, mark, second}, "",
        "upSpeed=2000");
    addScript("connected to disconnected zeroes the speeds once", {first, advance, second, mark, down, down},
        "vpnStateChanged trafficChanged", "upSpeed=0;downSpeed=0;up=4000;down=3500");
    // A negative count read as is would overflow the next difference.
    addScript("negative counters read as zero",
        {status(R"({"up":-9223372036854775808,"down":-1})"), advance, mark,
            status(R"({"up":7000,"down":7000})")},
        "trafficChanged", "up=7000;down=7000");
}

void TestPipeClient::updateEvents_data()
{
    scriptColumns();
    const QByteArray offer = R"({"type":"update_available","update_version":"0.6.0","update_url":"u"})";
    const QByteArray progress = R"({"type":"update_progress","update_progress":40})";
    const QByteArray ready = R"({"type":"update_ready"})";
    const QByteArray updating = R"({"type":"updating"})";
    const auto error
        = [](const char *text) { return QByteArray(R"({"type":"error","error":")") + text + "\"}"; };

    addScript("offer resets the flow", {progress, ready, mark, offer},
        "updateAvailableChanged updating updateReadyChanged",
        "updateAvailable=true;updateVersion=0.6.0;isUpdating=false;updateProgress=0;updateReady=false");
    addScript("download then ready", {progress, ready}, "updating updating updateReadyChanged",
        "isUpdating=false;updateProgress=100;updateReady=true");
    addScript("updating without apply", {updating}, "updating", "updateProgress=100");
    addScript("updating after apply", {apply, updating}, "updating restartConfirmed", "applyRequested=true");
    addScript("update error during download", {progress, mark, error("update download failed")},
        "statusChanged vpnStateChanged updating",
        "isUpdating=false;updateProgress=0;status=error: update download failed;errorText=update download "
        "failed");
    addScript("update error cancels apply", {apply, error("update apply failed"), updating},
        "statusChanged vpnStateChanged updating updating", "applyRequested=false");
    addScript("prefix is case-sensitive", {progress, mark, error("Update failed")},
        "statusChanged vpnStateChanged", "isUpdating=true;updateProgress=40");
    addScript("same error twice", {error("boom"), mark, error("boom")}, "", "status=error: boom");
}

void TestPipeClient::pollOnlyWhileActive()
{
    QVERIFY(connectClient());
    QVERIFY(deliver(R"({"type":"ready","version":"1"})"));
    QVERIFY(m_service->waitForCommand(u"status"_s));
    m_service->clearReceived();

    QVERIFY(deliver(status(R"({"status":"connecting"})")));
    QCOMPARE(timer(false)->interval(), 1500);
    QVERIFY(timer(false)->isActive());
    QVERIFY(m_service->waitForCommand(u"status"_s, 2500));

    QVERIFY(deliver(status(R"({"status":"failed"})")));
    QVERIFY(!timer(false)->isActive());
    m_service->clearReceived();
    QVERIFY(!m_service->waitForCommand(u"status"_s, 1700));
}

void TestPipeClient::diagnosticsCopy_data()
{
    QTest::addColumn<QString>("source"); // relative to the temporary folder
    QTest::addColumn<QString>("occupant"); // what stands under the report's name on the desktop
    QTest::addColumn<bool>("copied");
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("older report replaced") << u"report.zip"_s << u"file"_s << true << QByteArray("new");
    QTest::newRow("missing source keeps the older report")
        << u"gone/report.zip"_s << u"file"_s << false << QByteArray("old");
    QTest::newRow("report already on the desktop")
        << u"Desktop/report.zip"_s << u"file"_s << true << QByteArray("old");
    QTest::newRow("read-only older report replaced")
        << u"report.zip"_s << u"read-only"_s << true << QByteArray("new");
    QTest::newRow("link replaced, not followed") << u"report.zip"_s << u"link"_s << true << QByteArray("new");
}

void TestPipeClient::diagnosticsCopy()
{
    QFETCH(QString, source);
    QFETCH(QString, occupant);
    QFETCH(bool, copied);
    QFETCH(QByteArray, content);

    const QString destination = m_dir->filePath(u"Desktop/report.zip"_s);
    const QString report = m_dir->filePath(u"report.zip"_s);
    const QString elsewhere = m_dir->filePath(u"elsewhere"_s);
    const auto privateMode = QFile::ReadOwner | QFile::WriteOwner;
    for (const auto &[path, bytes] : {std::pair {elsewhere, "old"}, {report, "new"}}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        // The service writes its reports for the user's eyes only.
        QVERIFY(file.setPermissions(privateMode));
    }
    QVERIFY(occupant == u"link" ? QFile::link(elsewhere, destination) : QFile::copy(elsewhere, destination));
    if (occupant == u"read-only")
        QVERIFY(QFile::setPermissions(destination, QFile::ReadOwner));
    else if (occupant == u"file")
        QVERIFY(QFile::setPermissions(destination, privateMode | QFile::ReadGroup | QFile::ReadOther));

    // The app runs as a user, to whom a read-only file is read-only; root ignores file modes.
    const bool root = ::geteuid() == 0;
    if (root) {
        for (const QString &path :
            {m_dir->path(), m_dir->filePath(u"Desktop"_s), report, elsewhere, destination})
            QVERIFY(::lchown(QFile::encodeName(path).constData(), 65534, 65534) == 0);
        QVERIFY(::setresuid(65534, 65534, 0) == 0);
    }
    const auto restore = qScopeGuard([root] {
        if (root)
            QVERIFY(::setresuid(0, 0, 0) == 0);
    });
    QVERIFY(connectClient());
    QSignalSpy ready(m_client.get(), &PipeClient::diagReady);
    const QJsonObject event {{u"type"_s, u"diag_ready"_s}, {u"diag_path"_s, m_dir->filePath(source)}};
    QVERIFY(deliver(QJsonDocument(event).toJson(QJsonDocument::Compact)));

    QCOMPARE(ready.count(), copied ? 1 : 0);
    if (copied)
        QCOMPARE(ready.constFirst().constFirst().toString(), destination);
    QCOMPARE(m_client->status() == u"diag copy failed", !copied);
    QFile file(destination);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
    if (copied)
        QCOMPARE(file.permissions(), QFile::permissions(m_dir->filePath(source)));
    QVERIFY(!QFileInfo(destination).isSymLink());
    QFile target(elsewhere);
    QVERIFY(target.open(QIODevice::ReadOnly));
    QCOMPARE(target.readAll(), QByteArray("old"));
    QCOMPARE(QDir(m_dir->filePath(u"Desktop"_s)).entryList(QDir::Files | QDir::Hidden), {u"report.zip"_s});
}

void TestPipeClient::commands_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<bool>("reportsOffline");

    // Called by name, as QML does, which also proves the method invokable.
    const auto invoke = [](const char *method) {
        return Call([method](PipeClient &c) { QVERIFY(QMetaObject::invokeMethod(&c, method)); });
    };
    const auto row
        = [](const char *name, const QByteArray &wire, const Call &call, bool reportsOffline = true) {
              QTest::newRow(name) << call << wire << reportsOffline;
          };
    row("ping", R"({"cmd":"ping"})", invoke("sendPing"));
    row("logout", R"({"cmd":"logout"})", invoke("sendLogout"));
    row("connect with defaults", R"({"cmd":"connect","payload":{"games":false,"whitelist":false}})",
        invoke("sendConnect"));
    row("connect with options",
        R"({"cmd":"connect","payload":{"games":false,"transport":"tls","whitelist":true}})",
        [](PipeClient &c) { c.sendConnect(true, false, u"tls"_s); });
    row("set_kill_switch then status",
        R"({"cmd":"set_kill_switch","payload":{"mode":"always"}})"
        "\n"
        R"({"cmd":"status"})",
        [](PipeClient &c) { c.sendSetKillSwitchMode(u"always"_s); });
    row("shutdown", R"({"cmd":"shutdown"})", invoke("sendShutdown"), false);
    row("apply_update", R"({"cmd":"apply_update"})", invoke("sendApplyUpdate"), false);
}

void TestPipeClient::commands()
{
    QFETCH(Call, call);
    QFETCH(QByteArray, wire);
    QFETCH(bool, reportsOffline);

    // Without a connection commands are dropped, and "not connected" is set only once.
    QSignalSpy changed(m_client.get(), &PipeClient::statusChanged);
    call(*m_client);
    call(*m_client);
    QCOMPARE(changed.count(), reportsOffline ? 1 : 0);
    QCOMPARE(m_client->status(), reportsOffline ? u"not connected"_s : u"disconnected"_s);
    QVERIFY(!m_client->applyRequested());

    QVERIFY(connectClient());
    call(*m_client);
    QTRY_COMPARE(m_service->receivedBytes(), wire + '\n');
    QCOMPARE(m_client->killSwitchMode(), u"never"_s);
    QCOMPARE(m_client->applyRequested(), QTest::currentDataTag() == QByteArray("apply_update"));
}

QTEST_GUILESS_MAIN(TestPipeClient)
#include "tst_pipeclient.moc"
