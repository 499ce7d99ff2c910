#include "AutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <utility>

namespace {

const auto kFileName = QLatin1String("vantrelvpn.desktop");
// The package's own desktop entry, compiled in, so both always show the same name and icon.
const auto kInstalledEntry = QLatin1String(":/vantrelvpn.desktop");
const QByteArray kGroup = QByteArrayLiteral("[Desktop Entry]");
const QByteArray kOursKey = QByteArrayLiteral("X-VantrelVPN-Autostart");

// The key and the whole line of every entry in the [Desktop Entry] group.
QList<std::pair<QByteArray, QByteArray>> mainGroup(const QByteArray &entry)
{
    QList<std::pair<QByteArray, QByteArray>> lines;
    bool inGroup = false;
    for (const QByteArray &raw : entry.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inGroup = line == kGroup;
        } else if (const qsizetype eq = line.indexOf('='); inGroup && eq > 0) {
            lines.append({line.left(eq).trimmed(), line});
        }
    }
    return lines;
}

QByteArray value(const QByteArray &line)
{
    return line.mid(line.indexOf('=') + 1).trimmed();
}

QByteArray readEntry(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

AutostartEntry::AutostartEntry(QString folder)
    : m_folder(std::move(folder))
{ }

QString AutostartEntry::filePath() const
{
    return QDir(m_folder).filePath(kFileName);
}

bool AutostartEntry::isEnabled() const
{
    if (!isSupported() || !QFile::exists(filePath()))
        return false;
    for (const auto &[key, line] : mainGroup(readEntry(filePath()))) {
        // Hidden is how desktops switch an entry off; GNOME has a key of its own for it.
        if ((key == "Hidden" && value(line) == "true")
            || (key == "X-GNOME-Autostart-enabled" && value(line) == "false"))
            return false;
    }
    return true;
}

bool AutostartEntry::enable()
{
    if (!isSupported())
        return false;
    QSaveFile file(filePath());
    if (!QDir().mkpath(m_folder) || !file.open(QIODevice::WriteOnly)
        || file.write(contents(readEntry(kInstalledEntry))) < 0 || !file.commit()) {
        qWarning().noquote() << "cannot write the autostart entry" << filePath() << file.errorString();
        return false;
    }
    return true;
}

bool AutostartEntry::disable()
{
    // Absent, or already switched off by the desktop: nothing to do.
    if (!isEnabled())
        return true;
    const auto lines = mainGroup(readEntry(filePath()));
    const bool ours = std::any_of(lines.cbegin(), lines.cend(),
        [](const auto &entry) { return entry.first == kOursKey && value(entry.second) == "true"; });
    if (!ours) {
        qWarning().noquote() << "leaving the autostart entry" << filePath()
                             << "alone: VantrelVPN did not write it";
        return false;
    }
    QFile file(filePath());
    if (!file.remove()) {
        qWarning().noquote() << "cannot remove the autostart entry" << filePath() << file.errorString();
        return false;
    }
    return true;
}

QByteArray AutostartEntry::contents(const QByteArray &installedEntry)
{
    QByteArray out = kGroup + "\nType=Application\n";
    for (const auto &[key, line] : mainGroup(installedEntry)) {
        const qsizetype locale = key.indexOf('[');
        const QByteArray base = locale < 0 ? key : key.first(locale);
        if (base == "Name" || base == "Comment" || base == "Icon")
            out += line + '\n';
    }
    // Started at sign-in, the app goes straight to the tray.
    out += "Exec=vantrelvpn --minimized\nTerminal=false\n" + kOursKey + "=true\n";
    return out;
}
