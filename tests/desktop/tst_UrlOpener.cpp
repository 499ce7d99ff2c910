#include "UrlOpener.h"

#include <QDesktopServices>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

const QByteArray WslKernel = "Linux version 5.15.133.1-microsoft-standard-WSL2 (root@1c602f52c2e4) #1 SMP\n";
const QByteArray WslKernelCapitals = "Linux version 4.4.0-19041-Microsoft (Microsoft@Microsoft.com) #1237\n";
const QByteArray DebianKernel = "Linux version 6.1.0-13-amd64 (debian-kernel@lists.debian.org) #1 SMP\n";

// Stands in for the desktop's URL handler.
class UrlSink : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void openUrl(const QUrl &url) { urls.append(url); }
};

} // namespace

class TestUrlOpener : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void desktopOpensWebAddresses_data();
    void desktopOpensWebAddresses();
    void windowsHostLaunch_data();
    void windowsHostLaunch();
    void versionFileReadOnEveryCall();
    void unsafeAddressesStayOneAddress_data();
    void unsafeAddressesStayOneAddress();
    void nonWebAddressesRefused_data();
    void nonWebAddressesRefused();

private:
    UrlOpener makeOpener();
    void writeVersionFile(const QByteArray &contents);
    static void expectDesktopRefusal();
    static QStringList handledSchemes();

    QTemporaryDir m_dir;
    QString m_versionPath;
    QList<QStringList> m_launches; // program first, then its arguments
    QSet<QString> m_failingPrograms;
    UrlSink m_sink;
};

void TestUrlOpener::init()
{
    QVERIFY(m_dir.isValid());
    m_versionPath = m_dir.filePath(QStringLiteral("version"));
    QFile::remove(m_versionPath);
    m_launches.clear();
    m_failingPrograms.clear();
    // Also catches any address handed to the platform that was not expected.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void TestUrlOpener::cleanup()
{
    // Handlers must go before their object does.
    for (const QString &scheme : handledSchemes())
        QDesktopServices::unsetUrlHandler(scheme);
    m_sink.urls.clear();
}

QStringList TestUrlOpener::handledSchemes()
{
    return {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("file"), QStringLiteral("ftp"),
        QStringLiteral("mailto"), QStringLiteral("javascript"), QStringLiteral("vantrel"),
        QStringLiteral("data")};
}

UrlOpener TestUrlOpener::makeOpener()
{
    return UrlOpener(m_versionPath, [this](const QString &program, const QStringList &arguments) {
        m_launches.append(QStringList {program} + arguments);
        return !m_failingPrograms.contains(program);
    });
}

void TestUrlOpener::writeVersionFile(const QByteArray &contents)
{
    QFile file(m_versionPath);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(contents), contents.size());
}

// The offscreen platform has no URL handler of its own: it refuses with a warning.
void TestUrlOpener::expectDesktopRefusal()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("does not support .*openUrl")));
}

void TestUrlOpener::desktopOpensWebAddresses_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QUrl>("handed");

    QTest::newRow("sign-in page") << QStringLiteral("https://login.vantrel.example/device?code=AB12&lang=en")
                                  << QUrl(QStringLiteral(
                                         "https://login.vantrel.example/device?code=AB12&lang=en"));
    QTest::newRow("plain http") << QStringLiteral("http://127.0.0.1:8080/cb")
                                << QUrl(QStringLiteral("http://127.0.0.1:8080/cb"));
    QTest::newRow("scheme in capitals") << QStringLiteral("HTTPS://Login.Vantrel.Example/")
                                        << QUrl(QStringLiteral("https://login.vantrel.example/"));
}

void TestUrlOpener::desktopOpensWebAddresses()
{
    QFETCH(QString, url);
    QFETCH(QUrl, handed);

    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_sink, "openUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_sink, "openUrl");
    // Would start cmd.exe if the opener went on after the desktop took the address.
    writeVersionFile(WslKernel);

    UrlOpener opener = makeOpener();
    QVERIFY(opener.open(url));
    QCOMPARE(m_sink.urls, QList<QUrl> {handed});
    QVERIFY(m_launches.isEmpty());
}

void TestUrlOpener::windowsHostLaunch_data()
{
    QTest::addColumn<QByteArray>("kernel"); // null: no version file
    QTest::addColumn<QStringList>("failing");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<QList<QStringList>>("launches");

    const QString url = QStringLiteral("https://login.vantrel.example/device");
    const QStringList cmd {QStringLiteral("cmd.exe"), QStringLiteral("/c"), QStringLiteral("start"), url};
    const QStringList powerShell {QStringLiteral("powershell.exe"), QStringLiteral("-Command"),
        QStringLiteral("Start-Process"), QLatin1Char('\'') + url + QLatin1Char('\'')};
    const QStringList none;

    QTest::newRow("not WSL") << DebianKernel << none << false << QList<QStringList> {};
    QTest::newRow("no version file") << QByteArray() << none << false << QList<QStringList> {};
    QTest::newRow("WSL, cmd starts") << WslKernel << none << true << QList<QStringList> {cmd};
    QTest::newRow("WSL with Microsoft in capitals")
        << WslKernelCapitals << none << true << QList<QStringList> {cmd};
    QTest::newRow("WSL, only PowerShell starts") << WslKernel << QStringList {QStringLiteral("cmd.exe")}
                                                 << true << QList<QStringList> {cmd, powerShell};
    QTest::newRow("WSL, neither starts")
        << WslKernel << QStringList {QStringLiteral("cmd.exe"), QStringLiteral("powershell.exe")} << false
        << QList<QStringList> {cmd, powerShell};
}

void TestUrlOpener::windowsHostLaunch()
{
    QFETCH(QByteArray, kernel);
    QFETCH(QStringList, failing);
    QFETCH(bool, opened);
    QFETCH(QList<QStringList>, launches);

    if (!kernel.isNull())
        writeVersionFile(kernel);
    m_failingPrograms = QSet<QString>(failing.cbegin(), failing.cend());

    UrlOpener opener = makeOpener();
    expectDesktopRefusal();
    QCOMPARE(opener.open(QStringLiteral("https://login.vantrel.example/device")), opened);
    QCOMPARE(m_launches, launches);
}

void TestUrlOpener::versionFileReadOnEveryCall()
{
    const QString url = QStringLiteral("https://login.vantrel.example/device");
    UrlOpener opener = makeOpener();

    writeVersionFile(WslKernel);
    expectDesktopRefusal();
    QVERIFY(opener.open(url));
    QCOMPARE(m_launches.size(), 1);

    writeVersionFile(DebianKernel);
    expectDesktopRefusal();
    QVERIFY(!opener.open(url));
    QCOMPARE(m_launches.size(), 1);

    QVERIFY(QFile::remove(m_versionPath));
    expectDesktopRefusal();
    QVERIFY(!opener.open(url));

    writeVersionFile(WslKernelCapitals);
    expectDesktopRefusal();
    QVERIFY(opener.open(url));
    QCOMPARE(m_launches.size(), 2);
}

void TestUrlOpener::unsafeAddressesStayOneAddress_data()
{
    // cmd.exe gets the address with its special characters caret-escaped and
    // each "%" wrapped in carets; PowerShell gets it in single quotes. What the
    // shells pass on is the percent-encoded address, never a second command.
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("forCmd");
    QTest::addColumn<QString>("forPowerShell");

    QTest::newRow("ampersand") << QStringLiteral("https://h.example/cb?a=1&b=2&calc")
                               << QStringLiteral("https://h.example/cb?a=1^&b=2^&calc")
                               << QStringLiteral("'https://h.example/cb?a=1&b=2&calc'");
    QTest::newRow("pipe") << QStringLiteral("https://h.example/x|calc.exe")
                          << QStringLiteral("https://h.example/x^%^7Ccalc.exe")
                          << QStringLiteral("'https://h.example/x%7Ccalc.exe'");
    QTest::newRow("caret") << QStringLiteral("https://h.example/a^b")
                           << QStringLiteral("https://h.example/a^%^5Eb")
                           << QStringLiteral("'https://h.example/a%5Eb'");
    QTest::newRow("environment variable")
        << QStringLiteral("https://h.example/%PATH%") << QStringLiteral("https://h.example/^%^25PATH^%^25")
        << QStringLiteral("'https://h.example/%25PATH%25'");
    QTest::newRow("percent escapes") << QStringLiteral("https://h.example/a%20b?c=%3D")
                                     << QStringLiteral("https://h.example/a^%^20b?c=^%^3D")
                                     << QStringLiteral("'https://h.example/a%20b?c=%3D'");
    QTest::newRow("double quotes") << QStringLiteral("https://h.example/\"&calc&\"")
                                   << QStringLiteral("https://h.example/^%^22^&calc^&^%^22")
                                   << QStringLiteral("'https://h.example/%22&calc&%22'");
    QTest::newRow("single quotes") << QStringLiteral("https://h.example/?q=');Start-Process calc;('")
                                   << QStringLiteral("https://h.example/?q='^);Start-Process^%^20calc;^('")
                                   << QStringLiteral("'https://h.example/?q='');Start-Process%20calc;('''");
    QTest::newRow("typographic quotes")
        << QStringLiteral("https://h.example/a\u2019;calc;\u2018")
        << QStringLiteral("https://h.example/a^%^E2^%^80^%^99;calc;^%^E2^%^80^%^98")
        << QStringLiteral("'https://h.example/a%E2%80%99;calc;%E2%80%98'");
    QTest::newRow("redirection") << QStringLiteral("https://h.example/a<b>c")
                                 << QStringLiteral("https://h.example/a^%^3Cb^%^3Ec")
                                 << QStringLiteral("'https://h.example/a%3Cb%3Ec'");
    QTest::newRow("parentheses and exclamation marks")
        << QStringLiteral("https://h.example/(x)!PATH!")
        << QStringLiteral("https://h.example/^(x^)^%^21PATH^%^21")
        << QStringLiteral("'https://h.example/(x)%21PATH%21'");
    QTest::newRow("PowerShell subexpression") << QStringLiteral("https://h.example/$(calc)`x`")
                                              << QStringLiteral("https://h.example/$^(calc^)^%^60x^%^60")
                                              << QStringLiteral("'https://h.example/$(calc)%60x%60'");
    QTest::newRow("line break") << QStringLiteral("https://h.example/a\r\ncalc")
                                << QStringLiteral("https://h.example/a^%^0D^%^0Acalc")
                                << QStringLiteral("'https://h.example/a%0D%0Acalc'");
    QTest::newRow("non-ASCII host") << QStringLiteral("https://пример.example/")
                                    << QStringLiteral("https://xn--e1afmkfd.example/")
                                    << QStringLiteral("'https://xn--e1afmkfd.example/'");
}

void TestUrlOpener::unsafeAddressesStayOneAddress()
{
    QFETCH(QString, url);
    QFETCH(QString, forCmd);
    QFETCH(QString, forPowerShell);

    writeVersionFile(WslKernel);
    m_failingPrograms = {QStringLiteral("cmd.exe")};
    UrlOpener opener = makeOpener();
    expectDesktopRefusal();
    QVERIFY(opener.open(url));

    const QList<QStringList> expected {
        {QStringLiteral("cmd.exe"), QStringLiteral("/c"), QStringLiteral("start"), forCmd},
        {QStringLiteral("powershell.exe"), QStringLiteral("-Command"), QStringLiteral("Start-Process"),
            forPowerShell},
    };
    QCOMPARE(m_launches, expected);
}

void TestUrlOpener::nonWebAddressesRefused_data()
{
    QTest::addColumn<QString>("url");

    QTest::newRow("local file") << QStringLiteral("file:///etc/passwd");
    QTest::newRow("Windows program through file")
        << QStringLiteral("file:///mnt/c/Windows/System32/calc.exe");
    QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)");
    QTest::newRow("ftp") << QStringLiteral("ftp://files.example/setup.exe");
    QTest::newRow("mailto") << QStringLiteral("mailto:support@vantrel.example");
    QTest::newRow("own scheme") << QStringLiteral("vantrel://login");
    QTest::newRow("data") << QStringLiteral("data:text/html,<script>alert(1)</script>");
    QTest::newRow("Windows path") << QStringLiteral("C:\\Windows\\System32\\calc.exe");
    QTest::newRow("bare program name") << QStringLiteral("calc.exe");
    QTest::newRow("empty") << QString();
    QTest::newRow("web scheme without host") << QStringLiteral("https:calc.exe");
    QTest::newRow("web scheme with empty host") << QStringLiteral("http:///etc/passwd");
}

void TestUrlOpener::nonWebAddressesRefused()
{
    QFETCH(QString, url);

    for (const QString &scheme : handledSchemes())
        QDesktopServices::setUrlHandler(scheme, &m_sink, "openUrl");
    writeVersionFile(WslKernel);

    UrlOpener opener = makeOpener();
    QVERIFY(!opener.open(url));
    QVERIFY(m_sink.urls.isEmpty());
    QVERIFY(m_launches.isEmpty());
}

QTEST_MAIN(TestUrlOpener)
#include "tst_UrlOpener.moc"
