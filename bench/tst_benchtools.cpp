// The arithmetic and the results file the benchmark programs rely on.

#include "BenchReport.h"
#include "ProcessProbe.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

using Switches = QHash<qint64, qint64>;

class TestBenchTools : public QObject
{
    Q_OBJECT

private slots:
    void switchesPerSecond_data();
    void switchesPerSecond();
    void cpuPercentOfOneCore();
    void reportsShareOneResultsFile();
    void probeReadsThisProcess();
};

void TestBenchTools::switchesPerSecond_data()
{
    QTest::addColumn<Switches>("from");
    QTest::addColumn<Switches>("to");
    QTest::addColumn<double>("expected");

    // Two seconds apart in every row.
    QTest::newRow("threads that live throughout")
        << Switches {{1, 10}, {2, 100}} << Switches {{1, 30}, {2, 120}} << 20.0;
    QTest::newRow("a thread that ended does not lower the rate")
        << Switches {{1, 10}, {2, 5000}} << Switches {{1, 30}} << 10.0;
    QTest::newRow("a thread that started counts from zero")
        << Switches {{1, 10}} << Switches {{1, 10}, {3, 8}} << 4.0;
    QTest::newRow("nothing happened") << Switches {{1, 7}} << Switches {{1, 7}} << 0.0;
}

void TestBenchTools::switchesPerSecond()
{
    QFETCH(Switches, from);
    QFETCH(Switches, to);
    QFETCH(double, expected);

    ProcessProbe::Sample a;
    a.contextSwitches = from;
    a.monotonicNs = 1'000'000'000;
    ProcessProbe::Sample b;
    b.contextSwitches = to;
    b.monotonicNs = 3'000'000'000;
    QCOMPARE(ProcessProbe::switchesPerSecond(a, b), expected);
    QCOMPARE(ProcessProbe::switchesPerSecond(b, b), 0.0);
}

void TestBenchTools::cpuPercentOfOneCore()
{
    const double ticksPerSecond = double(::sysconf(_SC_CLK_TCK));
    ProcessProbe::Sample a;
    a.cpuTicks = 1000;
    ProcessProbe::Sample b;
    b.cpuTicks = 1000 + qint64(ticksPerSecond * 3); // three CPU seconds
    b.monotonicNs = 10'000'000'000;
    QCOMPARE(ProcessProbe::cpuPercent(a, b), 30.0);
}

void TestBenchTools::reportsShareOneResultsFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"results.json"_s);
    const QStringList arguments {u"bench"_s, u"--json"_s, path};

    BenchReport first(u"first"_s);
    first.add(u"speed"_s, 1.5, u"x"_s);
    QVERIFY(first.finish(arguments));
    BenchReport second(u"second"_s);
    second.add(u"rate"_s, 42, u"per s"_s);
    second.addText(u"note"_s, u"text"_s);
    QVERIFY(second.finish(arguments));
    BenchReport again(u"first"_s);
    again.add(u"speed"_s, 2.5, u"x"_s);
    QVERIFY(again.finish(arguments));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject results = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(results.keys(), QStringList({u"first"_s, u"second"_s}));
    QCOMPARE(results.value(u"first"_s).toObject().value(u"speed"_s).toDouble(), 2.5);
    QCOMPARE(results.value(u"second"_s).toObject().value(u"rate"_s).toDouble(), 42.0);
    QCOMPARE(results.value(u"second"_s).toObject().value(u"note"_s).toString(), u"text"_s);

    QVERIFY(!BenchReport(u"x"_s).finish({u"bench"_s, u"--json"_s, dir.filePath(u"missing/results.json"_s)}));
}

void TestBenchTools::probeReadsThisProcess()
{
    const ProcessProbe probe(QCoreApplication::applicationPid());
    QVERIFY(probe.residentKiB() > 0);
    const ProcessProbe::Sample sample = probe.sample();
    QVERIFY(sample.contextSwitches.contains(QCoreApplication::applicationPid()));
    QVERIFY(sample.cpuTicks >= 0);
}

QTEST_GUILESS_MAIN(TestBenchTools)
#include "tst_benchtools.moc"
