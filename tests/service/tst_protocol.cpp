#include "LineReader.h"
#include "Protocol.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void lineReader_data();
    void lineReader();
    void readers_data();
    void readers();
    void commandBytes_data();
    void commandBytes();
    void handshake_data();
    void handshake();
};

static QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void TestProtocol::lineReader_data()
{
    QTest::addColumn<qsizetype>("cap");
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<QByteArray>>("expected");

    const qsizetype big = 1024 * 1024;
    const QByteArray a = R"({"type":"a"})";
    const QByteArray b = R"({"type":"b"})";
    const QByteArray cyrillic = u"{\"username\":\"Иван\"}\n"_s.toUtf8();
    // Byte 14 is the first byte of the two-byte "И".
    QVERIFY(static_cast<unsigned char>(cyrillic.at(13)) == 0xD0);

    QTest::newRow("two events in one read")
        << big << QList<QByteArray> {a + "\n" + b + "\n"} << QList<QByteArray> {a, b};
    QTest::newRow("one event over several reads")
        << big << QList<QByteArray> {R"({"ty)", R"(pe":")", R"(a"})", "\n"} << QList<QByteArray> {a};
    QTest::newRow("multi-byte character split across reads")
        << big << QList<QByteArray> {cyrillic.left(14), cyrillic.mid(14)}
        << QList<QByteArray> {u"{\"username\":\"Иван\"}"_s.toUtf8()};
    QTest::newRow("carriage return and blanks trimmed")
        << big << QList<QByteArray> {"  \t" + a + " \r\n"} << QList<QByteArray> {a};
    QTest::newRow("no-break spaces around the line trimmed")
        << big << QList<QByteArray> {"\xc2\xa0" + a + "\xc2\xa0\n"} << QList<QByteArray> {a};
    QTest::newRow("byte that is not UTF-8 read as a replacement character")
        << big << QList<QByteArray> {QByteArray("{\"username\":\"a\xff\"}") + "\n" + b + "\n"}
        << QList<QByteArray> {u"{\"username\":\"a\uFFFD\"}"_s.toUtf8(), b};
    QTest::newRow("blank, array, invalid and scalar lines skipped")
        << big << QList<QByteArray> {"\n   \n[1,2]\n{\"type\":\n\"text\"\n42\n" + b + "\n"}
        << QList<QByteArray> {b};
    QTest::newRow("partial trailing line waits")
        << big << QList<QByteArray> {a + "\n" + R"({"type":)"} << QList<QByteArray> {a};
    QTest::newRow("line at the cap kept")
        << qsizetype(a.size()) << QList<QByteArray> {a + "\n" + b + "\n"} << QList<QByteArray> {a, b};
    const QByteArray longObject = R"({"type":"x","pad":")" + QByteArray(100, 'p') + R"("})";
    QTest::newRow("over-long line dropped, next handled")
        << qsizetype(64) << QList<QByteArray> {a + "\n" + longObject + "\n" + b + "\n"}
        << QList<QByteArray> {a, b};
    QTest::newRow("over-long line one byte past the cap")
        << qsizetype(a.size() - 1) << QList<QByteArray> {a + "\n"} << QList<QByteArray> {};
    QList<QByteArray> manyChunks;
    for (int i = 0; i < 50; ++i)
        manyChunks.append(QByteArray(10, 'z'));
    manyChunks.append("zz\n" + b.left(5));
    manyChunks.append(b.mid(5) + "\n");
    QTest::newRow("over-long line in many chunks, next handled")
        << qsizetype(64) << manyChunks << QList<QByteArray> {b};
}

void TestProtocol::lineReader()
{
    QFETCH(qsizetype, cap);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<QByteArray>, expected);

    LineReader reader(cap);
    QList<QByteArray> received;
    for (const QByteArray &chunk : chunks) {
        for (const QJsonObject &object : reader.feed(chunk))
            received.append(compact(object));
        QVERIFY(reader.bufferedBytes() <= cap);
    }
    QCOMPARE(received, expected);
}

void TestProtocol::readers_data()
{
    // The member "v" is given as raw JSON text; an empty text leaves it out.
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("asString");
    QTest::addColumn<bool>("asBool");
    QTest::addColumn<int>("asInt");
    QTest::addColumn<qint64>("asNumber");

    QTest::newRow("missing") << QByteArray() << QString() << false << 0 << qint64(0);
    QTest::newRow("null") << QByteArray("null") << QString() << false << 0 << qint64(0);
    QTest::newRow("string") << QByteArray(R"("tls")") << u"tls"_s << false << 0 << qint64(0);
    QTest::newRow("true") << QByteArray("true") << QString() << true << 0 << qint64(0);
    QTest::newRow("string true") << QByteArray(R"("true")") << u"true"_s << false << 0 << qint64(0);
    QTest::newRow("integer") << QByteArray("42") << QString() << false << 42 << qint64(42);
    QTest::newRow("integral with exponent") << QByteArray("4.2e1") << QString() << false << 42 << qint64(42);
    QTest::newRow("fraction 2.5") << QByteArray("2.5") << QString() << false << 0 << qint64(2);
    QTest::newRow("fraction 1536.9") << QByteArray("1536.9") << QString() << false << 0 << qint64(1536);
    QTest::newRow("negative fraction") << QByteArray("-7.9") << QString() << false << 0 << qint64(-7);
    QTest::newRow("32-bit max") << QByteArray("2147483647") << QString() << false << 2147483647
                                << qint64(2147483647);
    QTest::newRow("32-bit min") << QByteArray("-2147483648") << QString() << false << int(-2147483648LL)
                                << qint64(-2147483648LL);
    QTest::newRow("beyond 32 bits") << QByteArray("2147483648") << QString() << false << 0
                                    << qint64(2147483648LL);
    QTest::newRow("beyond 2^53 kept exact")
        << QByteArray("9007199254740993") << QString() << false << 0 << qint64(9007199254740993LL);
    QTest::newRow("beyond 64 bits") << QByteArray("1e20") << QString() << false << 0 << qint64(0);
}

void TestProtocol::readers()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, asString);
    QFETCH(bool, asBool);
    QFETCH(int, asInt);
    QFETCH(qint64, asNumber);

    const QByteArray text = value.isEmpty() ? QByteArray("{}") : R"({"v":)" + value + "}";
    const QJsonObject object = QJsonDocument::fromJson(text).object();
    QVERIFY(value.isEmpty() || object.contains(u"v"_s));
    const QLatin1StringView key("v");
    QCOMPARE(Protocol::readString(object, key), asString);
    QCOMPARE(Protocol::readBool(object, key), asBool);
    QCOMPARE(Protocol::readInt(object, key), asInt);
    QCOMPARE(Protocol::readNumber(object, key), asNumber);
}

void TestProtocol::commandBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("ping") << Protocol::command(Protocol::Cmd::ping) << QByteArray("{\"cmd\":\"ping\"}\n");
    QTest::newRow("connect with transport")
        << Protocol::command(Protocol::Cmd::connect, Protocol::connectPayload(true, false, u"tls"_s))
        << QByteArray(R"({"cmd":"connect","payload":{"games":false,"transport":"tls","whitelist":true}})"
                      "\n");
    QTest::newRow("connect without transport")
        << Protocol::command(Protocol::Cmd::connect, Protocol::connectPayload(false, false, QString()))
        << QByteArray(R"({"cmd":"connect","payload":{"games":false,"whitelist":false}})"
                      "\n");
    QTest::newRow("set_kill_switch") << Protocol::command(
        Protocol::Cmd::setKillSwitch, Protocol::killSwitchPayload(u"always"_s))
                                     << QByteArray(R"({"cmd":"set_kill_switch","payload":{"mode":"always"}})"
                                                   "\n");
}

void TestProtocol::commandBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, expected);
    QCOMPARE(bytes, expected);
}

void TestProtocol::handshake_data()
{
    // A null file content means the token file does not exist.
    QTest::addColumn<QByteArray>("fileContent");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("token ending in a line feed")
        << QByteArray("abc123\n")
        << QByteArray(R"({"magic":"VANTRELVPN_IPC","token":"abc123","version":1})"
                      "\n");
    QTest::newRow("blanks and CRLF around the token")
        << QByteArray("  abc123 \r\n\n")
        << QByteArray(R"({"magic":"VANTRELVPN_IPC","token":"abc123","version":1})"
                      "\n");
    QTest::newRow("missing file gives an empty token")
        << QByteArray()
        << QByteArray(R"({"magic":"VANTRELVPN_IPC","token":"","version":1})"
                      "\n");
    QTest::newRow("inner line feed escaped, framing kept")
        << QByteArray("a\"b\nc\n")
        << QByteArray(R"({"magic":"VANTRELVPN_IPC","token":"a\"b\nc","version":1})"
                      "\n");
}

void TestProtocol::handshake()
{
    QFETCH(QByteArray, fileContent);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"pipe.token"_s);
    if (!fileContent.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(fileContent);
    }
    QCOMPARE(Protocol::handshake(Protocol::readToken(path)), expected);
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
