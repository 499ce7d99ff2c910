#include "UrlOpener.h"

#include <QDesktopServices>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

using Launches = QList<QStringList>; // program, then its arguments

namespace {

const QByteArray WslKernel = "Linux version 5.15.133.1-microsoft-standard-WSL2 (root@1c602f52c2e4) #1 SMP\n";
const QByteArray OldWslKernel = "Linux version 4.4.0-19041-Microsoft (Microsoft@Microsoft.com) #1237\n";
const QByteArray DebianKernel = "Linux version 6.1.0-13-amd64 (debian-kernel@lists.debian.org) #1 SMP\n";
const QString SignIn = u"https://login.vantrel.example/device?code=AB12"_s;
const QRegularExpression NoHandler(u"does not support .*openUrl"_s);

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
    return {u"cmd.exe"_s, u"/c"_s, u"start"_s, argument};
}

QStringList powerShell(const QString &argument)
{
    return {u"powershell.exe"_s, u"-Command"_s, u"Start-Process"_s, argument};
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

    const QStringList m_schemes {u"http"_s, u"https"_s, u"file"_s, u"ftp"_s, u"javascript"_s, u"data"_s};
    QTemporaryDir m_dir;
    QString m_versionPath;
    Launches m_launches;
    QStringList m_failingPrograms;
    UrlSink m_sink;
};

void TestUrlOpener::init()
{
    m_versionPath = m_dir.filePath(u"version"_s);
    QFile::remove(m_versionPath);
    m_launches.clear();
    m_failingPrograms.clear();
    m_sink.urls.clear();
    // Also catches an address handed to the platform, which refuses with a warning.
    QTest::failOnWarning(QRegularExpression(u".*"_s));
}

void TestUrlOpener::cleanup()
{
    for (const QString &scheme : m_schemes)
        QDesktopServices::unsetUrlHandler(scheme);
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
    QDesktopServices::setUrlHandler(u"http"_s, &m_sink, "openUrl");
    QDesktopServices::setUrlHandler(u"https"_s, &m_sink, "openUrl");
    writeVersionFile(WslKernel); // cmd.exe would start if the opener went on

    QVERIFY(open(SignIn));
    QVERIFY(open(u"HTTP://127.0.0.1:8080/cb?a=1&b=2"_s));
    QCOMPARE(m_sink.urls, (QList<QUrl> {QUrl(SignIn), QUrl(u"http://127.0.0.1:8080/cb?a=1&b=2"_s)}));
    QVERIFY(m_launches.isEmpty());
}

void TestUrlOpener::windowsHostLaunch_data()
{
    QTest::addColumn<QByteArray>("kernel"); // null: no version file
    QTest::addColumn<QStringList>("failing");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<Launches>("launches");

    const Launches both {cmd(SignIn), powerShell(u'\'' + SignIn + u'\'')};
    QTest::newRow("not WSL") << DebianKernel << QStringList() << false << Launches();
    QTest::newRow("no version file") << QByteArray() << QStringList() << false << Launches();
    QTest::newRow("WSL: cmd") << WslKernel << QStringList() << true << Launches {cmd(SignIn)};
    QTest::newRow("WSL in capitals: cmd") << OldWslKernel << QStringList() << true << Launches {cmd(SignIn)};
    QTest::newRow("WSL: PowerShell after cmd") << WslKernel << QStringList {u"cmd.exe"_s} << true << both;
    QTest::newRow("WSL: neither") << WslKernel << QStringList {u"cmd.exe"_s, u"powershell.exe"_s} << false
                                  << both;
}

void TestUrlOpener::windowsHostLaunch()
{
    QFETCH(QByteArray, kernel);
    QFETCH(QStringList, failing);
    QFETCH(bool, opened);
    QFETCH(Launches, launches);

    if (!kernel.isNull())
        writeVersionFile(kernel);
    m_failingPrograms = failing;
    QTest::ignoreMessage(QtWarningMsg, NoHandler);
    QCOMPARE(open(SignIn), opened);
    QCOMPARE(m_launches, launches);
}

void TestUrlOpener::versionFileReadOnEveryCall()
{
    QTest::ignoreMessage(QtWarningMsg, NoHandler);
    QTest::ignoreMessage(QtWarningMsg, NoHandler);
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

    // Paths below the same host; the PowerShell argument comes in single quotes.
    const auto row = [](const char *name, const QString &path, const QString &forCmd, const QString &forPs) {
        const QString host = u"https://h.example/"_s;
        QTest::newRow(name) << host + path << host + forCmd << u'\'' + host + forPs + u'\'';
    };
    row("ampersand", u"cb?a=1&calc"_s, u"cb?a=1^&calc"_s, u"cb?a=1&calc"_s);
    row("pipe", u"x|calc"_s, u"x^%^7Ccalc"_s, u"x%7Ccalc"_s);
    row("caret", u"a^b"_s, u"a^%^5Eb"_s, u"a%5Eb"_s);
    row("environment variable", u"%PATH%"_s, u"^%^25PATH^%^25"_s, u"%25PATH%25"_s);
    row("percent escapes kept", u"a%20b"_s, u"a^%^20b"_s, u"a%20b"_s);
    row("double quotes", u"\"&calc&\""_s, u"^%^22^&calc^&^%^22"_s, u"%22&calc&%22"_s);
    row("single quotes", u"?q=');calc;('"_s, u"?q='^);calc;^('"_s, u"?q='');calc;(''"_s);
    row("typographic quote", u"\u2019;calc"_s, u"^%^E2^%^80^%^99;calc"_s, u"%E2%80%99;calc"_s);
    row("redirection", u"a<b>c"_s, u"a^%^3Cb^%^3Ec"_s, u"a%3Cb%3Ec"_s);
    row("delayed expansion", u"!PATH!"_s, u"^%^21PATH^%^21"_s, u"%21PATH%21"_s);
    row("subexpression and space", u"$(calc) `x`"_s, u"$^(calc^)^%^20^%^60x^%^60"_s, u"$(calc)%20%60x%60"_s);
    row("line break", u"a\r\ncalc"_s, u"a^%^0D^%^0Acalc"_s, u"a%0D%0Acalc"_s);
}

void TestUrlOpener::unsafeAddressesStayOneAddress()
{
    QFETCH(QString, url);
    QFETCH(QString, forCmd);
    QFETCH(QString, forPowerShell);

    writeVersionFile(WslKernel);
    m_failingPrograms = QStringList {u"cmd.exe"_s};
    QTest::ignoreMessage(QtWarningMsg, NoHandler);
    QVERIFY(open(url));
    QCOMPARE(m_launches, (Launches {cmd(forCmd), powerShell(forPowerShell)}));
}

void TestUrlOpener::nonWebAddressesRefused_data()
{
    QTest::addColumn<QString>("url");

    QTest::newRow("file") << u"file:///mnt/c/Windows/System32/calc.exe"_s;
    QTest::newRow("javascript") << u"javascript:alert(1)"_s;
    QTest::newRow("ftp") << u"ftp://files.example/setup.exe"_s;
    QTest::newRow("data") << u"data:text/html,<script>alert(1)</script>"_s;
    QTest::newRow("Windows path") << u"C:\\Windows\\System32\\calc.exe"_s;
    QTest::newRow("program name") << u"calc.exe"_s;
    QTest::newRow("empty") << QString();
    QTest::newRow("web scheme without host") << u"https:calc.exe"_s;
}

void TestUrlOpener::nonWebAddressesRefused()
{
    QFETCH(QString, url);

    for (const QString &scheme : m_schemes)
        QDesktopServices::setUrlHandler(scheme, &m_sink, "openUrl");
    writeVersionFile(WslKernel);

    QVERIFY(!open(url));
    QVERIFY(m_sink.urls.isEmpty());
    QVERIFY(m_launches.isEmpty());
}

QTEST_MAIN(TestUrlOpener)
#include "tst_UrlOpener.moc"
