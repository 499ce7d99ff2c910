#include "AppSettings.h"
#include "FontFamilies.h"

#include <QFile>
#include <QMetaProperty>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

class TestAppSettings : public QObject
{
    Q_OBJECT

public slots:
    // Records what a reader sees at the moment a change signal arrives.
    void onChanged()
    {
        m_seenValue = m_watched.read(m_settings.get());
        m_seenStored = stored();
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();
    void freshProfile_data();
    void freshProfile();
    void storedValues_data();
    void storedValues();
    void setters_data();
    void setters();
    void autostartNeverStored();
    void autostartEntry_data();
    void autostartEntry();
    void themeAndPalette();
    void symbolFont_data();
    void symbolFont();

private:
    [[nodiscard]] QMap<QString, QString> stored() const;
    void seed(const QByteArray &ini) const;
    void open(const QLocale &locale = QLocale(QLocale::English), const QString &autostartDir = {})
    {
        m_settings = std::make_unique<AppSettings>(m_file, locale, autostartDir);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
    std::unique_ptr<AppSettings> m_settings;
    QMetaProperty m_watched;
    QVariant m_seenValue;
    QMap<QString, QString> m_seenStored;
};

void TestAppSettings::init()
{
    m_settings.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    m_file = m_dir->filePath(u"VantrelVPN.conf"_s);
}

// The settings file as another process would read it: "section/key" to raw text.
QMap<QString, QString> TestAppSettings::stored() const
{
    QMap<QString, QString> values;
    QFile file(m_file);
    QString section;
    for (const QByteArray &raw :
        file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QByteArrayList()) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'['))
            section = line.mid(1, line.size() - 2);
        else if (const qsizetype eq = line.indexOf(u'='); eq > 0)
            values.insert(section + u'/' + line.left(eq), line.mid(eq + 1));
    }
    return values;
}

void TestAppSettings::seed(const QByteArray &ini) const
{
    QFile file(m_file);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(ini);
}

void TestAppSettings::freshProfile_data()
{
    QTest::addColumn<QStringList>("locale");
    QTest::addColumn<QString>("expected");
    QTest::newRow("russian") << QStringList {u"LANG=ru_RU.UTF-8"_s} << u"ru tls 10000"_s;
    // The language counts, not the country.
    QTest::newRow("russian in Ukraine") << QStringList {u"LANG=ru_UA.UTF-8"_s} << u"ru tls 10000"_s;
    QTest::newRow("german over russian")
        << QStringList {u"LANG=ru_RU.UTF-8"_s, u"LC_ALL=de_DE.UTF-8"_s} << u"en tls 10000"_s;
}

// The real constructor and store on a fresh profile, in a child process with a home and a
// system locale of its own.
void TestAppSettings::freshProfile()
{
    QFETCH(QStringList, locale);
    QFETCH(QString, expected);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : {u"LC_ALL"_s, u"LC_MESSAGES"_s, u"LANG"_s, u"LANGUAGE"_s})
        env.remove(name);
    for (const QString &assignment : locale)
        env.insert(assignment.section(u'=', 0, 0), assignment.section(u'=', 1));
    env.insert(u"HOME"_s, m_dir->path());
    env.insert(u"XDG_CONFIG_HOME"_s, m_dir->filePath(u"config"_s));
    QProcess probe;
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral(PREFS_LOCALE_PROBE), {});
    QVERIFY(probe.waitForFinished(20000));
    QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()).trimmed(), expected);
    QVERIFY(QDir(m_dir->path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

void TestAppSettings::storedValues_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("values"); // transport and language, then as stored afterwards
    const auto row = [](const char *name, const QByteArray &ini, const QStringList &values) {
        QTest::newRow(name) << ini << values;
    };
    row("valid", "[ui]\ntransport=reality\nlanguage=en\n", {u"reality"_s, u"en"_s, u"reality"_s, u"en"_s});
    row("REALITY", "[ui]\ntransport=REALITY\n", {u"tls"_s, u"ru"_s, u"tls"_s, QString()});
    row("empty transport", "[ui]\ntransport=\n", {u"tls"_s, u"ru"_s, u"tls"_s, QString()});
    row("third language", "[ui]\nlanguage=de\n", {u"tls"_s, u"en"_s, QString(), u"de"_s});
    row("RU and Tls", "[ui]\nlanguage=RU\ntransport=Tls\n", {u"tls"_s, u"en"_s, u"tls"_s, u"RU"_s});
}

// Run on a Russian system, so a language that falls back to "en" cannot pass as the default.
void TestAppSettings::storedValues()
{
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, values);
    seed(ini);
    open(QLocale(QLocale::Russian));
    QCOMPARE((QStringList {m_settings->transport(), m_settings->language(), stored().value(u"ui/transport"_s),
                 stored().value(u"ui/language"_s)}),
        values);
}

void TestAppSettings::setters_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("initial");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QVariant>("expected");
    const auto row
        = [](const char *name, const QByteArray &property, const QVariant &initial, const QVariant &input,
              const QVariant &expected) { QTest::newRow(name) << property << initial << input << expected; };
    row("darkTheme off", "darkTheme", true, false, false);
    row("whitelist unchanged", "whitelist", false, false, false);
    row("connectOnStart on", "connectOnStart", false, true, true);
    row("reality", "transport", u"tls"_s, u"reality"_s, u"reality"_s);
    row("REALITY from reality", "transport", u"reality"_s, u"REALITY"_s, u"tls"_s);
    row("empty from tls", "transport", u"tls"_s, QString(), u"tls"_s);
    row("EN from ru", "language", u"ru"_s, u"EN"_s, u"en"_s);
    row("third language from en", "language", u"en"_s, u"de"_s, u"en"_s);
}

// Property writes go through the WRITE accessors: QML assignments take the very same path.
void TestAppSettings::setters()
{
    QFETCH(QByteArray, property);
    QFETCH(QVariant, initial);
    QFETCH(QVariant, input);
    QFETCH(QVariant, expected);
    const QString key = u"ui/"_s + QString::fromLatin1(property);
    seed("[ui]\n" + property + '=' + initial.toString().toUtf8() + '\n');
    open();
    // Without a file, any write by an equal-value call would show as a new file.
    QVERIFY(QFile::remove(m_file));
    m_watched = m_settings->metaObject()->property(m_settings->metaObject()->indexOfProperty(property));
    connect(m_settings.get(), m_watched.notifySignal(), this,
        metaObject()->method(metaObject()->indexOfSlot("onChanged()")));
    QSignalSpy spy(m_settings.get(), m_watched.notifySignal());

    QVERIFY(m_watched.write(m_settings.get(), input));

    QCOMPARE(m_watched.read(m_settings.get()), expected);
    if (expected == initial) {
        QCOMPARE(spy.size(), 0);
        QVERIFY(!QFile::exists(m_file));
    } else {
        QCOMPARE(spy.size(), 1);
        QCOMPARE(m_seenValue, expected);
        QCOMPARE(m_seenStored.value(key), expected.toString());
    }
}

// Without an autostart folder (WSL) the switch lives in memory only.
void TestAppSettings::autostartNeverStored()
{
    open();
    QSignalSpy spy(m_settings.get(), &AppSettings::autostartChanged);
    m_settings->setAutostart(true);
    m_settings->setAutostart(true);
    QVERIFY(m_settings->autostart());
    QCOMPARE(spy.size(), 1);
    QVERIFY(!QFile::exists(m_file));
    m_settings->setGames(true);
    QCOMPARE(stored().keys(), QStringList {u"ui/games"_s});
    open();
    QVERIFY(!m_settings->autostart());
}

void TestAppSettings::autostartEntry_data()
{
    QTest::addColumn<QByteArray>("seed"); // the entry found at start; "-" for a folder that is a file
    QTest::addColumn<bool>("startsOn");
    QTest::addColumn<bool>("endsOn"); // after asking for the other state, and after a restart
    QTest::addColumn<QString>("entryAfter"); // "ours", "seed" or "none"
    const QByteArray entry = "[Desktop Entry]\nType=Application\nName=VantrelVPN\nExec=vantrelvpn\n";
    QTest::newRow("absent") << QByteArray() << false << true << u"ours"_s;
    QTest::newRow("ours, from an older version") << entry + "X-VantrelVPN-Autostart=true\n"
                                                 << true << false << u"none"_s;
    QTest::newRow("Hidden=true") << entry + "Hidden=true\n" << false << true << u"ours"_s;
    QTest::newRow("switched off by GNOME") << entry + "X-GNOME-Autostart-enabled=false\n"
                                           << false << true << u"ours"_s;
    QTest::newRow("the user's own is not removed") << entry << true << true << u"seed"_s;
    QTest::newRow("unwritable folder") << QByteArray("-") << false << false << u"none"_s;
}

void TestAppSettings::autostartEntry()
{
    QFETCH(QByteArray, seed);
    QFETCH(bool, startsOn);
    QFETCH(bool, endsOn);
    QFETCH(QString, entryAfter);
    const QString folder = m_dir->filePath(u"config/autostart"_s);
    const QString entry = folder + u"/vantrelvpn.desktop"_s;
    const auto read = [&entry] {
        QFile file(entry);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QVERIFY(QDir().mkpath(seed == "-" ? m_dir->filePath(u"config"_s) : folder));
    QFile seeded(seed == "-" ? folder : entry);
    QVERIFY(seed.isEmpty() || (seeded.open(QIODevice::WriteOnly) && seeded.write(seed) == seed.size()));
    seeded.close();

    open(QLocale(QLocale::English), folder);
    QCOMPARE(m_settings->autostart(), startsOn);
    QCOMPARE(read(), seed == "-" ? QByteArray() : seed);
    QSignalSpy spy(m_settings.get(), &AppSettings::autostartChanged);
    QTest::failOnWarning(QRegularExpression(u"autostart"_s));
    if (startsOn == endsOn)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"autostart entry"_s));
    m_settings->setAutostart(!startsOn);
    QCOMPARE(m_settings->autostart(), endsOn);
    QCOMPARE(spy.size(), startsOn == endsOn ? 0 : 1);

    const QByteArray after = read();
    if (entryAfter == u"ours") {
        // Named and drawn like the package's entry, started to the tray.
        for (const QByteArray &line : {QByteArray("Name=VantrelVPN"), QByteArray("Icon=vantrelvpn"),
                 QByteArray("Exec=vantrelvpn --minimized"), QByteArray("X-VantrelVPN-Autostart=true")})
            QVERIFY2(after.split('\n').contains(line), after.constData());
        QVERIFY(!after.contains("Hidden") && after.contains("\nComment[ru]="));
        // The package entry's launcher actions stay out: their names and commands are not the entry's.
        QCOMPARE(after.count("\nName="), 1);
        QVERIFY(!after.contains("Action") && !after.contains("--connect"));
        if (const QString validate = QStandardPaths::findExecutable(u"desktop-file-validate"_s);
            !validate.isEmpty())
            QCOMPARE(QProcess::execute(validate, {entry}), 0);
    } else {
        QCOMPARE(after, entryAfter == u"seed" ? seed : QByteArray());
    }
    open(QLocale(QLocale::English), folder);
    QCOMPARE(m_settings->autostart(), endsOn);
    QVERIFY(!QFile::exists(m_file));
}

void TestAppSettings::themeAndPalette()
{
    open();
    QSignalSpy spy(m_settings.get(), &AppSettings::themeChanged);
    for (const bool dark : {false, true}) {
        m_settings->toggleTheme();
        QCOMPARE(m_settings->darkTheme(), dark);
        QCOMPARE(stored().value(u"ui/darkTheme"_s), QVariant(dark).toString());
        // The alpha entries are where hand-written colour values most easily go wrong.
        QCOMPARE(m_settings->bg(), dark ? QColor(0x10, 0x12, 0x16) : QColor(0xFB, 0xFC, 0xFD));
        QCOMPARE(m_settings->border().rgba(), dark ? qRgba(255, 255, 255, 20) : qRgb(0xE3, 0xE6, 0xEB));
        QCOMPARE(
            m_settings->glow().rgba(), (m_settings->success().rgb() & 0xFFFFFF) | ((dark ? 33u : 36u) << 24));
    }
    QCOMPARE(m_settings->borderStrong().rgba(), qRgba(255, 255, 255, 38));
    QCOMPARE(spy.size(), 2);
}

void TestAppSettings::symbolFont_data()
{
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("noto before dejavu")
        << QStringList {u"DejaVu Sans"_s, u"Noto Sans Symbols 2"_s} << u"Noto Sans Symbols 2"_s;
    QTest::newRow("lower-case segoe")
        << QStringList {u"Inter"_s, u"segoe ui symbol"_s} << u"Segoe UI Symbol"_s;
    QTest::newRow("only a longer family") << QStringList {u"DejaVu Sans Mono"_s} << u"SF Pro Text"_s;
}

void TestAppSettings::symbolFont()
{
    QFETCH(QStringList, installed);
    QFETCH(QString, chosen);
    QCOMPARE(FontFamilies::chooseSymbol(installed), chosen);
}

QTEST_MAIN(TestAppSettings)
#include "tst_appsettings.moc"
