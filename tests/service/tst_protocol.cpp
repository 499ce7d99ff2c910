#include "LineReader.h"
#include "Protocol.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

using Chunks = QList<QByteArray>;

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void lineReader_data();
    void lineReader();
    void readers_data();
    void readers();
    void handshake_data();
    void handshake();
};

void TestProtocol::lineReader_data()
{
    QTest::addColumn<qsizetype>("cap");
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<Chunks>("expected");

    const qsizetype big = 1024 * 1024;
    const QByteArray a = R"({"type":"a"})";
    const QByteArray b = R"({"type":"b"})";
    const QByteArray ivan = u"{\"username\":\"Иван\"}"_s.toUtf8();
    const QByteArray longObject = R"({"type":"x","pad":")" + QByteArray(100, 'p') + R"("})";
    Chunks manyChunks(50, QByteArray(10, 'z'));
    manyChunks << "zz\n" + b.left(5) << b.mid(5) + "\n";

    QTest::newRow("two events in one read") << big << Chunks {a + "\n" + b + "\n"} << Chunks {a, b};
    QTest::newRow("one event over several reads, partial tail waits")
        << big << Chunks {R"({"ty)", R"(pe":")", R"(a"})", "\n" + b} << Chunks {a};
    // Byte 14 is the first byte of the two-byte "И".
    QTest::newRow("multi-byte character split across reads")
        << big << Chunks {ivan.left(14), ivan.mid(14) + "\n"} << Chunks {ivan};
    QTest::newRow("blanks, no-break spaces and carriage return trimmed")
        << big << Chunks {"  \t\xc2\xa0" + a + "\xc2\xa0 \r\n"} << Chunks {a};
    QTest::newRow("byte that is not UTF-8 read as a replacement character")
        << big << Chunks {QByteArray("{\"username\":\"a\xff\"}") + "\n" + b + "\n"}
        << Chunks {u"{\"username\":\"a\uFFFD\"}"_s.toUtf8(), b};
    QTest::newRow("blank, array, invalid and scalar lines skipped")
        << big << Chunks {"\n   \n[1,2]\n{\"type\":\n\"text\"\n42\n" + b + "\n"} << Chunks {b};
    QTest::newRow("line at the cap kept") << a.size() << Chunks {a + "\n" + b + "\n"} << Chunks {a, b};
    QTest::newRow("line one byte past the cap dropped") << a.size() - 1 << Chunks {a + "\n"} << Chunks {};
    QTest::newRow("over-long line dropped, next handled")
        << qsizetype(64) << Chunks {a + "\n" + longObject + "\n" + b + "\n"} << Chunks {a, b};
    QTest::newRow("over-long line in many chunks, next handled") << qsizetype(64) << manyChunks << Chunks {b};
}

void TestProtocol::lineReader()
{
    QFETCH(qsizetype, cap);
    QFETCH(Chunks, chunks);
    QFETCH(Chunks, expected);

    LineReader reader(cap);
    Chunks received;
    for (const QByteArray &chunk : chunks) {
        for (const QJsonObject &object : reader.feed(chunk))
            received.append(QJsonDocument(object).toJson(QJsonDocument::Compact));
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

    const auto number = [](const char *name, const char *json, int asInt, qint64 asNumber) {
        QTest::newRow(name) << QByteArray(json) << QString() << false << asInt << asNumber;
    };
    QTest::newRow("missing") << QByteArray() << QString() << false << 0 << qint64(0);
    QTest::newRow("null") << QByteArray("null") << QString() << false << 0 << qint64(0);
    QTest::newRow("string") << QByteArray(R"("tls")") << u"tls"_s << false << 0 << qint64(0);
    QTest::newRow("true") << QByteArray("true") << QString() << true << 0 << qint64(0);
    QTest::newRow("string true") << QByteArray(R"("true")") << u"true"_s << false << 0 << qint64(0);
    number("integer", "42", 42, 42);
    number("fraction 2.5", "2.5", 0, 2);
    number("fraction 1536.9", "1536.9", 0, 1536);
    number("negative fraction", "-7.9", 0, -7);
    number("32-bit min", "-2147483648", int(-2147483648LL), -2147483648LL);
    number("beyond 32 bits", "2147483648", 0, 2147483648LL);
    number("beyond 2^53 kept exact", "9007199254740993", 0, 9007199254740993LL);
    number("beyond 64 bits", "1e20", 0, 0);
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

void TestProtocol::handshake_data()
{
    // A null file content means the token file does not exist.
    QTest::addColumn<QByteArray>("fileContent");
    QTest::addColumn<QByteArray>("token");

    QTest::newRow("blanks and CRLF around the token")
        << QByteArray("  abc123 \r\n\n") << QByteArray("abc123");
    QTest::newRow("missing file gives an empty token") << QByteArray() << QByteArray();
    QTest::newRow("inner line feed escaped, framing kept")
        << QByteArray("a\"b\nc\n") << QByteArray(R"(a\"b\nc)");
}

void TestProtocol::handshake()
{
    QFETCH(QByteArray, fileContent);
    QFETCH(QByteArray, token);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"pipe.token"_s);
    if (!fileContent.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(fileContent);
    }
    QCOMPARE(Protocol::handshake(Protocol::readToken(path)),
        R"({"magic":"VANTRELVPN_IPC","token":")" + token + R"(","version":1})" + '\n');
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
