#pragma once

#include "AutostartEntry.h"

#include <QColor>
#include <QLocale>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QVariantMap>

// The user's preferences, persisted in the per-user settings store (the autostart switch as
// the app's XDG autostart entry), together with the colour palette, the font families and
// the string table that every QML document reads.
class AppSettings : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool darkTheme READ darkTheme WRITE setDarkTheme NOTIFY themeChanged)
    Q_PROPERTY(bool autostart READ autostart WRITE setAutostart NOTIFY autostartChanged)
    Q_PROPERTY(bool whitelist READ whitelist WRITE setWhitelist NOTIFY whitelistChanged)
    Q_PROPERTY(bool games READ games WRITE setGames NOTIFY gamesChanged)
    Q_PROPERTY(QString transport READ transport WRITE setTransport NOTIFY transportChanged)
    Q_PROPERTY(bool connectOnStart READ connectOnStart WRITE setConnectOnStart NOTIFY connectOnStartChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(QVariantMap t READ t NOTIFY languageChanged)
    Q_PROPERTY(QVariantMap extraTexts READ extraTexts NOTIFY languageChanged)
    Q_PROPERTY(QString fontFamily READ fontFamily CONSTANT)
    Q_PROPERTY(QColor bg READ bg NOTIFY themeChanged)
    Q_PROPERTY(QColor surface READ surface NOTIFY themeChanged)
    Q_PROPERTY(QColor surfaceAlt READ surfaceAlt NOTIFY themeChanged)
    Q_PROPERTY(QColor fg READ fg NOTIFY themeChanged)
    Q_PROPERTY(QColor fgMuted READ fgMuted NOTIFY themeChanged)
    Q_PROPERTY(QColor accent READ accent NOTIFY themeChanged)
    Q_PROPERTY(QColor accentText READ accentText NOTIFY themeChanged)
    Q_PROPERTY(QColor border READ border NOTIFY themeChanged)
    Q_PROPERTY(QColor success READ success NOTIFY themeChanged)
    Q_PROPERTY(QColor warning READ warning NOTIFY themeChanged)
    Q_PROPERTY(QColor danger READ danger NOTIFY themeChanged)
    Q_PROPERTY(QColor accentStrong READ accentStrong NOTIFY themeChanged)
    Q_PROPERTY(QColor borderStrong READ borderStrong NOTIFY themeChanged)
    Q_PROPERTY(QColor glow READ glow NOTIFY themeChanged)
    Q_PROPERTY(QString symbolFont READ symbolFont CONSTANT)

public:
    // The per-user store of organisation "Vantrel", application "VantrelVPN", and the
    // system locale for the language default. The autostart switch is the app's entry in
    // autostartDir; without one (no XDG session, as under WSL) it is kept in memory only.
    explicit AppSettings(const QString &autostartDir = {}, QObject *parent = nullptr);
    // Another INI file and another locale, so that tests can run on a profile of their own.
    AppSettings(const QString &settingsFile, const QLocale &systemLocale, const QString &autostartDir = {},
        QObject *parent = nullptr);

    [[nodiscard]] bool darkTheme() const { return m_darkTheme; }
    [[nodiscard]] bool autostart() const { return m_autostart; }
    [[nodiscard]] bool whitelist() const { return m_whitelist; }
    [[nodiscard]] bool games() const { return m_games; }
    [[nodiscard]] QString transport() const { return m_transport; }
    // Whether each start of the app connects the tunnel once the service allows.
    [[nodiscard]] bool connectOnStart() const { return m_connectOnStart; }
    [[nodiscard]] QString language() const { return m_language; }
    [[nodiscard]] QVariantMap t() const;
    [[nodiscard]] QVariantMap extraTexts() const;
    [[nodiscard]] QString fontFamily() const;
    [[nodiscard]] QColor bg() const;
    [[nodiscard]] QColor surface() const;
    [[nodiscard]] QColor surfaceAlt() const;
    [[nodiscard]] QColor fg() const;
    [[nodiscard]] QColor fgMuted() const;
    [[nodiscard]] QColor accent() const;
    [[nodiscard]] QColor accentText() const;
    [[nodiscard]] QColor border() const;
    [[nodiscard]] QColor success() const;
    [[nodiscard]] QColor warning() const;
    [[nodiscard]] QColor danger() const;
    [[nodiscard]] QColor accentStrong() const;
    [[nodiscard]] QColor borderStrong() const;
    [[nodiscard]] QColor glow() const;
    [[nodiscard]] QString symbolFont() const;

    Q_INVOKABLE void setDarkTheme(bool v);
    Q_INVOKABLE void toggleTheme();
    Q_INVOKABLE void setAutostart(bool v);
    Q_INVOKABLE void setWhitelist(bool v);
    Q_INVOKABLE void setGames(bool v);
    Q_INVOKABLE void setTransport(const QString &v);
    Q_INVOKABLE void setConnectOnStart(bool v);
    Q_INVOKABLE void setLanguage(const QString &lang);

signals:
    void themeChanged();
    void autostartChanged();
    void whitelistChanged();
    void gamesChanged();
    void transportChanged();
    void connectOnStartChanged();
    void languageChanged();

private:
    void load(const QLocale &systemLocale);
    void store(const QString &key, const QVariant &value);
    [[nodiscard]] QColor themed(QStringView dark, QStringView light) const;

    QSettings m_settings;
    AutostartEntry m_autostartEntry;
    bool m_darkTheme = true;
    bool m_autostart = false;
    bool m_whitelist = false;
    bool m_games = false;
    QString m_transport = QStringLiteral("tls");
    bool m_connectOnStart = false;
    QString m_language = QStringLiteral("en");
};
