#include "AppSettings.h"

#include "FontFamilies.h"
#include "StringTable.h"

namespace {

const QString kOrganisation = QStringLiteral("Vantrel");
const QString kApplication = QStringLiteral("VantrelVPN");

const QString kKeyDarkTheme = QStringLiteral("ui/darkTheme");
const QString kKeyWhitelist = QStringLiteral("ui/whitelist");
const QString kKeyGames = QStringLiteral("ui/games");
const QString kKeyTransport = QStringLiteral("ui/transport");
const QString kKeyConnectOnStart = QStringLiteral("ui/connectOnStart");
const QString kKeyLanguage = QStringLiteral("ui/language");

const QString kTransportTls = QStringLiteral("tls");
const QString kTransportReality = QStringLiteral("reality");
const QString kLanguageRussian = QStringLiteral("ru");
const QString kLanguageEnglish = QStringLiteral("en");

QString normalisedTransport(const QString &v)
{
    return v == kTransportReality ? kTransportReality : kTransportTls;
}

QString normalisedLanguage(const QString &v)
{
    return v == kLanguageRussian ? kLanguageRussian : kLanguageEnglish;
}

} // namespace

AppSettings::AppSettings(const QString &autostartDir, QObject *parent)
    : QObject(parent)
    , m_settings(kOrganisation, kApplication)
    , m_autostartEntry(autostartDir)
{
    load(QLocale::system());
}

AppSettings::AppSettings(
    const QString &settingsFile, const QLocale &systemLocale, const QString &autostartDir, QObject *parent)
    : QObject(parent)
    , m_settings(settingsFile, QSettings::IniFormat)
    , m_autostartEntry(autostartDir)
{
    load(systemLocale);
}

void AppSettings::load(const QLocale &systemLocale)
{
    m_darkTheme = m_settings.value(kKeyDarkTheme, true).toBool();
    m_autostart = m_autostartEntry.isEnabled();
    m_whitelist = m_settings.value(kKeyWhitelist, false).toBool();
    m_games = m_settings.value(kKeyGames, false).toBool();
    m_transport = m_settings.value(kKeyTransport, kTransportTls).toString();
    m_connectOnStart = m_settings.value(kKeyConnectOnStart, false).toBool();
    const QString localeDefault
        = systemLocale.language() == QLocale::Russian ? kLanguageRussian : kLanguageEnglish;
    m_language = m_settings.value(kKeyLanguage, localeDefault).toString();

    // An unknown language only falls back for this run; the stored code stays until the
    // user picks a language.
    if (m_language != kLanguageRussian && m_language != kLanguageEnglish)
        m_language = kLanguageEnglish;
    // An unknown transport is repaired in the store too, since connect commands carry it.
    if (m_transport != kTransportReality && m_transport != kTransportTls) {
        m_transport = kTransportTls;
        store(kKeyTransport, m_transport);
    }
}

void AppSettings::store(const QString &key, const QVariant &value)
{
    m_settings.setValue(key, value);
    // The file must hold the change before anyone hears of it.
    m_settings.sync();
}

QVariantMap AppSettings::t() const
{
    return StringTable::forLanguage(m_language);
}

QVariantMap AppSettings::extraTexts() const
{
    return StringTable::extraTextsForLanguage(m_language);
}

QString AppSettings::fontFamily() const
{
    return FontFamilies::text();
}

QString AppSettings::symbolFont() const
{
    return FontFamilies::symbol();
}

QColor AppSettings::themed(QStringView dark, QStringView light) const
{
    return QColor::fromString(m_darkTheme ? dark : light);
}

QColor AppSettings::bg() const
{
    return themed(u"#101216", u"#FBFCFD");
}

QColor AppSettings::surface() const
{
    return themed(u"#16191E", u"#FFFFFF");
}

QColor AppSettings::surfaceAlt() const
{
    return themed(u"#1D2127", u"#F2F4F7");
}

QColor AppSettings::fg() const
{
    return themed(u"#E7EAEF", u"#15181E");
}

QColor AppSettings::fgMuted() const
{
    return themed(u"#A8B0BD", u"#666D7A");
}

QColor AppSettings::accent() const
{
    return themed(u"#4C84F1", u"#3D6FE3");
}

QColor AppSettings::accentText() const
{
    return themed(u"#FFFFFF", u"#FFFFFF");
}

QColor AppSettings::border() const
{
    return m_darkTheme ? QColor(255, 255, 255, 20) : QColor::fromString(u"#E3E6EB");
}

QColor AppSettings::success() const
{
    return themed(u"#34C98E", u"#23A470");
}

QColor AppSettings::warning() const
{
    return themed(u"#E8B34B", u"#BF8B2E");
}

QColor AppSettings::danger() const
{
    return themed(u"#E5544B", u"#D23B3B");
}

QColor AppSettings::accentStrong() const
{
    return themed(u"#6E9BF4", u"#2D57C9");
}

QColor AppSettings::borderStrong() const
{
    return m_darkTheme ? QColor(255, 255, 255, 38) : QColor::fromString(u"#D2D6DD");
}

QColor AppSettings::glow() const
{
    return m_darkTheme ? QColor(52, 201, 142, 33) : QColor(35, 164, 112, 36);
}

void AppSettings::setDarkTheme(bool v)
{
    if (m_darkTheme == v)
        return;
    m_darkTheme = v;
    store(kKeyDarkTheme, v);
    emit themeChanged();
}

void AppSettings::toggleTheme()
{
    setDarkTheme(!m_darkTheme);
}

void AppSettings::setAutostart(bool v)
{
    if (m_autostart == v)
        return;
    m_autostart = v;
    // The autostart entry stands in for a settings key. One that cannot be written or removed
    // leaves the switch as the desktop sees it; the entry has logged why.
    if (m_autostartEntry.isSupported() && !(v ? m_autostartEntry.enable() : m_autostartEntry.disable())) {
        m_autostart = !v;
        return;
    }
    emit autostartChanged();
}

void AppSettings::setWhitelist(bool v)
{
    if (m_whitelist == v)
        return;
    m_whitelist = v;
    store(kKeyWhitelist, v);
    emit whitelistChanged();
}

void AppSettings::setGames(bool v)
{
    if (m_games == v)
        return;
    m_games = v;
    store(kKeyGames, v);
    emit gamesChanged();
}

void AppSettings::setTransport(const QString &v)
{
    const QString transport = normalisedTransport(v);
    if (m_transport == transport)
        return;
    m_transport = transport;
    store(kKeyTransport, transport);
    emit transportChanged();
}

void AppSettings::setConnectOnStart(bool v)
{
    if (m_connectOnStart == v)
        return;
    m_connectOnStart = v;
    store(kKeyConnectOnStart, v);
    emit connectOnStartChanged();
}

void AppSettings::setLanguage(const QString &lang)
{
    const QString language = normalisedLanguage(lang);
    if (m_language == language)
        return;
    m_language = language;
    store(kKeyLanguage, language);
    emit languageChanged();
}
