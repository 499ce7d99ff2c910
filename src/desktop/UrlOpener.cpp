#include "UrlOpener.h"

#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QUrl>

namespace {

bool startDetached(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    return process.startDetached();
}

// The address in a form that holds no spaces, quotes or non-ASCII text: every
// character that is not allowed in a URL is percent-encoded, so what is left
// is letters, digits, "%XX" and the URL delimiters. "!" is encoded as well,
// since cmd.exe expands "!name!" when delayed expansion is switched on.
QString encodedAddress(const QUrl &url)
{
    QString encoded = url.toString(QUrl::FullyEncoded);
    encoded.replace(u'!', QLatin1String("%21"));
    return encoded;
}

// cmd.exe reads its /c command line itself: "&", "|", "<", ">", "^" and
// parentheses are escaped with a caret so they stay part of the address, and
// every "%" gets a caret on both sides so that no text between two percent
// signs can match an environment variable (no variable name begins with "^").
QString forCmd(const QString &encoded)
{
    QString escaped;
    escaped.reserve(encoded.size() * 2);
    for (const QChar c : encoded) {
        switch (c.unicode()) {
        case u'%':
            escaped += QLatin1String("^%^");
            break;
        case u'^':
        case u'&':
        case u'|':
        case u'<':
        case u'>':
        case u'(':
        case u')':
        case u'"':
        case u'!':
            escaped += u'^';
            escaped += c;
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// In a single-quoted PowerShell string only the quote itself is special; it
// is written twice.
QString forPowerShell(const QString &encoded)
{
    QString quoted = encoded;
    quoted.replace(u'\'', QLatin1String("''"));
    return QStringLiteral("'%1'").arg(quoted);
}

} // namespace

UrlOpener::UrlOpener(QString versionPath, ProcessStarter startProcess, QObject *parent)
    : QObject(parent)
    , m_versionPath(std::move(versionPath))
    , m_startProcess(startProcess ? std::move(startProcess) : ProcessStarter(&startDetached))
{ }

bool UrlOpener::open(const QString &url)
{
    // The address comes from the service; anything but a web page could open
    // local files or start programs, so nothing else leaves this function.
    const QUrl parsed(url, QUrl::TolerantMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() || (scheme != u"http" && scheme != u"https") || parsed.host().isEmpty())
        return false;

    if (QDesktopServices::openUrl(parsed))
        return true;
    if (!runsInsideWsl(m_versionPath))
        return false;
    return openOnWindowsHost(encodedAddress(parsed));
}

bool UrlOpener::runsInsideWsl(const QString &versionPath)
{
    QFile file(versionPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return QString::fromUtf8(file.readAll()).contains(u"microsoft", Qt::CaseInsensitive);
}

bool UrlOpener::openOnWindowsHost(const QString &url) const
{
    if (m_startProcess(
            QStringLiteral("cmd.exe"), {QStringLiteral("/c"), QStringLiteral("start"), forCmd(url)}))
        return true;
    return m_startProcess(QStringLiteral("powershell.exe"),
        {QStringLiteral("-Command"), QStringLiteral("Start-Process"), forPowerShell(url)});
}
