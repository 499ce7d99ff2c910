#pragma once

#include <QByteArray>
#include <QString>

// The app's entry in the user's XDG autostart folder, which makes the desktop start it at sign-in.
// Only an entry written here is ever removed; a copy the desktop disabled reads as off and stays.
class AutostartEntry
{
public:
    // An empty folder: the system has no autostart folder, and nothing is read or written.
    explicit AutostartEntry(QString folder = {});

    [[nodiscard]] bool isSupported() const { return !m_folder.isEmpty(); }
    [[nodiscard]] QString filePath() const;
    // The entry exists and the desktop has not disabled it.
    [[nodiscard]] bool isEnabled() const;
    // Both return whether the entry is now as asked, and log one warning when it is not.
    bool enable();
    bool disable();

    // The entry written: the name, comment and icon of the installed desktop entry given, started
    // minimised, with the key that marks it as ours.
    [[nodiscard]] static QByteArray contents(const QByteArray &installedEntry);

private:
    QString m_folder;
};
