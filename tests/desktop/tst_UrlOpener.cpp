#include "UrlOpener.h"

#include <QDesktopServices>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

const QByteArray WslKernel = "Linux version 5.15.133.1-microsoft-standard-WSL2 (root@1c602f52c2e4) #1 SMP\n";
const QByteArray OldWslKernel = "Linux version 4.4.0-19041-Microsoft (Microsoft@Microsoft.com) #1237\n";
const QByteArray DebianKernel = "Linux version 6.1.0-13-amd64 (debian-kernel@lists.debian.org) #1 SMP\n";
const QString SignIn = QStringLiteral("https://login.vantrel.example/device?code=AB12");

// Stands in for the desktop's URL handler.
class UrlSink : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void openUrl(const QUrl &url) { urls.append(url); }
};

QStringList cmd(const QString &argument)
{
    return {QStringLiteral("cmd.exe"), QStringLiteral("/c"), QStringLiteral("start"), argument};
}

QStringList powerShell(const QString &argument)
{
    return {QStringLiteral("powershell.exe"), QStringLiteral("-Command"), QStringLiteral("Start-Process"),
        argument};
}

} // namespace

class TestUrlOpener : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void desktopTakesWebAddresses();
    void windowsHostLaunch_data();
    void windowsHostLaunch();
    void versionFileReadOnEveryCall();
    void unsafeAddressesStayOneAddress_data();
    void unsafeAddressesStayOneAddress();
    void nonWebAddressesRefused_data();
    void nonWebAddressesRefused();

private:
    bool open(const QString &url);
    void writeVersionFile(const QByteArray &contents);
    static QStringList schemes();

    QTemporaryDir m_dir;
    QString m_versionPath;
    QList<QStringList> m_launches; // program, then its arguments
    QStringList m_failingPrograms;
    UrlSink m_sink;
};

void TestUrlOpener::init()
{
    m_versionPath = m_dir.filePath(QStringLiteral("version"));
    QFile::remove(m_versionPath);
    m_launches.clear();
    m_failingPrograms.clear();
    m_sink.urls.clear();
    // Also catches an address handed to the platform, which refuses with a warning.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void TestUrlOpener::cleanup()
{
    for (const QString &scheme : schemes())
        QDesktopServices::unsetUrlHandler(scheme);
}

QStringList TestUrlOpener::schemes()
{
    return {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file"), QStringLiteral("ftp"),
        QStringLiteral("javascript"), QStringLiteral("data")};
}

// A new opener every call, as nothing may carry over between calls.
bool TestUrlOpener::open(const QString &url)
{
    UrlOpener opener(m_versionPath, [this](const QString &program, const QStringList &arguments) {
        m_launches.append(QStringList {program} + arguments);
        return !m_failingPrograms.contains(program);
    });
    return opener.open(url);
}

void TestUrlOpener::writeVersionFile(const QByteArray &contents)
{
    QFile file(m_versionPath);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(contents), contents.size());
}

void TestUrlOpener::desktopTakesWebAddresses()
{
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_sink, "openUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_sink, "openUrl");
    writeVersionFile(WslKernel); // cmd.exe would start if the opener went on

    QVERIFY(open(SignIn));
    QVERIFY(open(QStringLiteral("HTTP://127.0.0.1:8080/cb?a=1&b=2")));
    QCOMPARE(
        m_sink.urls, (QList<QUrl> {QUrl(SignIn), QUrl(QStringLiteral("http://127.0.0.1:8080/cb?a=1&b=2"))}));
    QVERIFY(m_launches.isEmpty());
}

void TestUrlOpener::windowsHostLaunch_data()
{
    QTest::addColumn<QByteArray>("kernel"); // null: no version file
    QTest::addColumn<QStringList>("failing");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<QList<QStringList>>("launches");

    const QStringList cmdOnly {QStringLiteral("cmd.exe")};
    const QList<QStringList> both {cmd(SignIn), powerShell(QLatin1Char('\'') + SignIn + QLatin1Char('\''))};

    QTest::newRow("not WSL") << DebianKernel << QStringList() << false << QList<QStringList>();
    QTest::newRow("no version file") << QByteArray() << QStringList() << false << QList<QStringList>();
    QTest::newRow("WSL: cmd") << WslKernel << QStringList() << true << QList<QStringList> {cmd(SignIn)};
    QTest::newRow("WSL in capitals: cmd")
        << OldWslKernel << QStringList() << true << QList<QStringList> {cmd(SignIn)};
    QTest::newRow("WSL: PowerShell after cmd") << WslKernel << cmdOnly << true << both;
    QTest::newRow("WSL: neither") << WslKernel
                                  << (QStringList {
                                         QStringLiteral("cmd.exe"), QStringLiteral("powershell.exe")})
                                  << false << both;
}

void TestUrlOpener::windowsHostLaunch()
{
    QFETCH(QByteArray, kernel);
    QFETCH(QStringList, failing);
    QFETCH(bool, opened);
    QFETCH(QList<QStringList>, launches);

    if (!kernel.isNull())
        writeVersionFile(kernel);
    m_failingPrograms = failing;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("does not support .*openUrl")));
    QCOMPARE(open(SignIn), opened);
    QCOMPARE(m_launches, launches);
}

void TestUrlOpener::versionFileReadOnEveryCall()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("does not support .*openUrl")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("does not support .*openUrl")));
    UrlOpener opener(m_versionPath, [this](const QString &program, const QStringList &arguments) {
        m_launches.append(QStringList {program} + arguments);
        return true;
    });

    writeVersionFile(WslKernel);
    QVERIFY(opener.open(SignIn));
    writeVersionFile(DebianKernel);
    QVERIFY(!opener.open(SignIn));
    QCOMPARE(m_launches.size(), 1);
}

void TestUrlOpener::unsafeAddressesStayOneAddress_data()
{
    // Whatever the address holds, cmd.exe and PowerShell must get one
    // percent-encoded address that their parsers cannot end early.
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("forCmd");
    QTest::addColumn<QString>("forPowerShell");

    QTest::newRow("ampersand") << QStringLiteral("https://h.example/cb?a=1&calc")
                               << QStringLiteral("https://h.example/cb?a=1^&calc")
                               << QStringLiteral("'https://h.example/cb?a=1&calc'");
    QTest::newRow("pipe") << QStringLiteral("https://h.example/x|calc")
                          << QStringLiteral("https://h.example/x^%^7Ccalc")
                          << QStringLiteral("'https://h.example/x%7Ccalc'");
    QTest::newRow("caret") << QStringLiteral("https://h.example/a^b")
                           << QStringLiteral("https://h.example/a^%^5Eb")
                           << QStringLiteral("'https://h.example/a%5Eb'");
    QTest::newRow("environment variable")
        << QStringLiteral("https://h.example/%PATH%") << QStringLiteral("https://h.example/^%^25PATH^%^25")
        << QStringLiteral("'https://h.example/%25PATH%25'");
    QTest::newRow("percent escapes kept")
        << QStringLiteral("https://h.example/a%20b") << QStringLiteral("https://h.example/a^%^20b")
        << QStringLiteral("'https://h.example/a%20b'");
    QTest::newRow("double quotes") << QStringLiteral("https://h.example/\"&calc&\"")
                                   << QStringLiteral("https://h.example/^%^22^&calc^&^%^22")
                                   << QStringLiteral("'https://h.example/%22&calc&%22'");
    QTest::newRow("single quotes") << QStringLiteral("https://h.example/?q=');calc;('")
                                   << QStringLiteral("https://h.example/?q='^);calc;^('")
                                   << QStringLiteral("'https://h.example/?q='');calc;('''");
    QTest::newRow("typographic quote") << QStringLiteral("https://h.example/\u2019;calc")
                                       << QStringLiteral("https://h.example/^%^E2^%^80^%^99;calc")
                                       << QStringLiteral("'https://h.example/%E2%80%99;calc'");
    QTest::newRow("redirection") << QStringLiteral("https://h.example/a<b>c")
                                 << QStringLiteral("https://h.example/a^%^3Cb^%^3Ec")
                                 << QStringLiteral("'https://h.example/a%3Cb%3Ec'");
    QTest::newRow("delayed expansion")
        << QStringLiteral("https://h.example/!PATH!") << QStringLiteral("https://h.example/^%^21PATH^%^21")
        << QStringLiteral("'https://h.example/%21PATH%21'");
    QTest::newRow("subexpression and space") << QStringLiteral("https://h.example/$(calc) `x`")
                                             << QStringLiteral("https://h.example/$^(calc^)^%^20^%^60x^%^60")
                                             << QStringLiteral("'https://h.example/$(calc)%20%60x%60'");
    QTest::newRow("line break") << QStringLiteral("https://h.example/a\r\ncalc")
                                << QStringLiteral("https://h.example/a^%^0D^%^0Acalc")
                                << QStringLiteral("'https://h.example/a%0D%0Acalc'");
}

void TestUrlOpener::unsafeAddressesStayOneAddress()
{
    QFETCH(QString, url);
    QFETCH(QString, forCmd);
    QFETCH(QString, forPowerShell);

    writeVersionFile(WslKernel);
    m_failingPrograms = QStringList {QStringLiteral("cmd.exe")};
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("does not support .*openUrl")));
    QVERIFY(open(url));
    QCOMPARE(m_launches, (QList<QStringList> {cmd(forCmd), powerShell(forPowerShell)}));
}

void TestUrlOpener::nonWebAddressesRefused_data()
{
    QTest::addColumn<QString>("url");

    QTest::newRow("file") << QStringLiteral("file:///mnt/c/Windows/System32/calc.exe");
    QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)");
    QTest::newRow("ftp") << QStringLiteral("ftp://files.example/setup.exe");
    QTest::newRow("data") << QStringLiteral("data:text/html,<script>alert(1)</script>");
    QTest::newRow("Windows path") << QStringLiteral("C:\\Windows\\System32\\calc.exe");
    QTest::newRow("program name") << QStringLiteral("calc.exe");
    QTest::newRow("empty") << QString();
    QTest::newRow("web scheme without host") << QStringLiteral("https:calc.exe");
}

void TestUrlOpener::nonWebAddressesRefused()
{
    QFETCH(QString, url);

    for (const QString &scheme : schemes())
        QDesktopServices::setUrlHandler(scheme, &m_sink, "openUrl");
    writeVersionFile(WslKernel);

    QVERIFY(!open(url));
    QVERIFY(m_sink.urls.isEmpty());
    QVERIFY(m_launches.isEmpty());
}

QTEST_MAIN(TestUrlOpener)
#include "tst_UrlOpener.moc"
