#include "AppSettings.h"
#include "StringTable.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <tuple>

using namespace Qt::StringLiterals;

class TestStringTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void dictionaries();
    void translationsKeepTypography();
    void tFollowsLanguage();

private:
    [[nodiscard]] std::unique_ptr<AppSettings> open() const
    {
        return std::make_unique<AppSettings>(
            m_dir->filePath(u"VantrelVPN.conf"_s), QLocale(QLocale::English));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestStringTable::dictionaries()
{
    const QVariantMap &en = StringTable::english();
    const QVariantMap &ru = StringTable::russian();
    QCOMPARE(en.size(), 104);
    QCOMPARE(ru.keys(), en.keys());
    for (const QVariantMap *map : {&en, &ru}) {
        for (auto it = map->cbegin(); it != map->cend(); ++it) {
            QCOMPARE(it.value().metaType(), QMetaType::fromType<QString>());
            QVERIFY2(!it.value().toString().trimmed().isEmpty(), qPrintable(it.key()));
        }
    }

    const std::pair<const char16_t *, const char16_t *> fixedRussian[] = {
        {u"loginTitle", u"Добро пожаловать в VantrelVPN"},
        {u"statusProtected", u"Защищено"},
        {u"transportTls", u"WireGuard · игры доступны"},
        {u"connect", u"Подключить"},
        {u"traffic", u"Трафик"},
        {u"settings", u"Настройки"},
        {u"startWithWindows", u"Запуск вместе с Windows"},
        {u"startWithWindowsDesc", u"Запускать VantrelVPN при входе в систему"},
        {u"whitelist", u"Split Tunnel"},
        {u"whitelistDesc", u"Российские сайты — напрямую, остальное — через VPN"},
        {u"transportWireguard", u"WireGuard"},
        {u"transportReality", u"Reality"},
        {u"transportDesc", u"WireGuard = для игр и работы, Reality = более защищённый"},
        {u"connectionFailed", u"Сбой подключения"},
        {u"trayOpen", u"Открыть VantrelVPN"},
        {u"notifyConnected", u"Подключено"},
        {u"notifyReconnecting", u"Соединение потеряно — переподключение…"},
        {u"notifyFailed", u"Сбой подключения"},
        {u"tabSettings", u"Настройки"},
        {u"protectedTime", u"Под защитой"},
        {u"downloadDir", u"↓ загрузка"},
        {u"groupTraffic", u"Трафик"},
        {u"ksOnConnect", u"При подключении"},
        {u"splitTunnel", u"Split tunneling"},
        {u"loginStep1", u"Нажмите «Войти через браузер»"},
    };
    for (const auto &[key, text] : fixedRussian)
        QCOMPARE(ru.value(QString::fromUtf16(key)).toString(), QString::fromUtf16(text));

    // Pairs of keys, and whether their texts are equal in English and in Russian.
    const std::tuple<QString, QString, bool, bool> pairs[] = {
        {u"statusProtected"_s, u"protectedTime"_s, true, false},
        {u"connectionFailed"_s, u"notifyFailed"_s, true, true},
        {u"traffic"_s, u"groupTraffic"_s, true, true},
        {u"settings"_s, u"tabSettings"_s, true, true},
        // The tray's quit and the account's sign-out must not read alike.
        {u"logOut"_s, u"quit"_s, false, false},
    };
    for (const auto &[a, b, equalInEnglish, equalInRussian] : pairs) {
        QVERIFY2((en.value(a) == en.value(b)) == equalInEnglish, qPrintable(a));
        QVERIFY2((ru.value(a) == ru.value(b)) == equalInRussian, qPrintable(a));
    }
}

// Catches texts left untranslated and translations that lose the English punctuation or
// letter case the screens are laid out for.
void TestStringTable::translationsKeepTypography()
{
    static const QRegularExpression cyrillic(u"\\p{Cyrillic}"_s);
    const QStringList keptInEnglish {
        u"whitelist"_s, u"splitTunnel"_s, u"transportWireguard"_s, u"transportReality"_s};
    // Copies (implicitly shared): a reference bound through a temporary argument reads as dangling to gcc 14.
    const QVariantMap extraEn = StringTable::extraTextsForLanguage(u"en"_s);
    const QVariantMap extraRu = StringTable::extraTextsForLanguage(u"ru"_s);
    QCOMPARE(extraRu.keys(), extraEn.keys());
    QVariantMap english = StringTable::english();
    QVariantMap russian = StringTable::russian();
    english.insert(extraEn);
    russian.insert(extraRu);
    // The texts kept beside the table add keys, never replace one of it.
    QCOMPARE(english.size(), StringTable::english().size() + extraEn.size());
    for (const QString &key : english.keys()) {
        const QString en = english.value(key).toString();
        const QString ru = russian.value(key).toString();
        QVERIFY2(!en.trimmed().isEmpty() && !ru.trimmed().isEmpty(), qPrintable(key));
        QVERIFY2(keptInEnglish.contains(key) ? ru == en : ru.contains(cyrillic), qPrintable(key));
        for (const QString &mark : {u"…"_s, u"—"_s, u"↓"_s, u"·"_s})
            QVERIFY2(!en.contains(mark) || ru.contains(mark), qPrintable(key + u' ' + mark));
        QVERIFY2(en.contains(u'“') == ru.contains(u'«'), qPrintable(key));
        QVERIFY2(!ru.contains(u"..."_s) && !ru.contains(u" - "_s) && !ru.contains(u'"'), qPrintable(key));
        if (en.at(0).isLetter())
            QVERIFY2(en.at(0).isUpper() == ru.at(0).isUpper(), qPrintable(key));
    }
}

void TestStringTable::tFollowsLanguage()
{
    const auto settings = open();
    QQmlEngine engine;
    engine.rootContext()->setContextProperty(u"appSettings"_s, settings.get());
    QQmlExpression label(engine.rootContext(), nullptr, u"appSettings.t.connect"_s);
    QQmlExpression tab(engine.rootContext(), nullptr, u"appSettings.t[\"tabSettings\"]"_s);
    QQmlExpression missing(engine.rootContext(), nullptr, u"appSettings.t.noSuchKey === undefined"_s);
    label.setNotifyOnValueChanged(true);
    QSignalSpy relabelled(&label, &QQmlExpression::valueChanged);
    QCOMPARE(label.evaluate().toString(), u"Connect"_s);
    QCOMPARE(tab.evaluate().toString(), u"Settings"_s);
    QVERIFY(missing.evaluate().toBool());
    QVERIFY(settings->t().value(u"noSuchKey"_s).toString().isEmpty());
    // Every read hands out one of the two shared dictionaries.
    QVERIFY(settings->t().isSharedWith(StringTable::english()));

    QSignalSpy spy(settings.get(), &AppSettings::languageChanged);
    settings->setLanguage(u"ru"_s);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(relabelled.size(), 1);
    QCOMPARE(label.evaluate().toString(), u"Подключить"_s);
    QCOMPARE(tab.evaluate().toString(), u"Настройки"_s);

    QVERIFY(settings->t().isSharedWith(StringTable::russian()));
    QVERIFY(open()->t().isSharedWith(settings->t()));
}

QTEST_MAIN(TestStringTable)
#include "tst_stringtable.moc"
