#include "CommandLine.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace {

using Command = CommandLine::Command;

struct CommandOption
{
    Command command;
    // The option's name, and the request it is sent as.
    const char *name;
    bool startsInterface;
    const char *description;
};

const CommandOption kCommands[] = {
    {Command::Connect, "connect", true,
        "Connect the tunnel. Without a running VantrelVPN, start it in the tray and connect once the "
        "service allows."},
    {Command::Disconnect, "disconnect", false, "Disconnect the tunnel, or stop connecting."},
    {Command::Toggle, "toggle", false,
        "Connect when disconnected or failed; otherwise disconnect, or stop connecting."},
    {Command::Show, "show", true, "Show the window. Without a running VantrelVPN, start it."},
    {Command::Quit, "quit", false, "Quit VantrelVPN, as the Quit button of its tray popup does."},
    {Command::Status, "status", false,
        "Print the tunnel's state: connected (followed by the server and the protocol), connecting, "
        "reconnecting, disconnected, failed, signed-out or service-unreachable."},
};

const auto kDescription = QLatin1String(
    "Desktop client for the VantrelVPN service. A command goes to the VantrelVPN already running for this "
    "user.\n\nExit status: 0 done (for --status: connected), 1 not done (not connected), 2 no running "
    "VantrelVPN or a usage error.");
const auto kMinimizedDescription
    = QLatin1String("Start in the tray without showing the window (minimised where there is no tray).");
const auto kHelpDescription = QLatin1String("Show this help.");
const QByteArray kShowRequest = QByteArrayLiteral("show");
const QByteArray kDone = QByteArrayLiteral("done");
const QByteArray kNotDone = QByteArrayLiteral("not-done");
const auto kProgram = QLatin1String("vantrelvpn");

} // namespace

CommandLine::CommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, kHelpDescription);
    const QCommandLineOption minimized(QStringLiteral("minimized"), kMinimizedDescription);
    parser.addOption(help);
    parser.addOption(minimized);
    for (const CommandOption &entry : kCommands)
        parser.addOption(
            QCommandLineOption(QLatin1String(entry.name), QString::fromLatin1(entry.description)));
    m_helpText = parser.helpText();

    if (!parser.parse(arguments)) {
        m_error = parser.errorText();
        return;
    }
    if (!parser.positionalArguments().isEmpty()) {
        m_error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst());
        return;
    }
    m_help = parser.isSet(help);
    m_minimized = parser.isSet(minimized);
    for (const CommandOption &entry : kCommands) {
        if (!parser.isSet(QLatin1String(entry.name)))
            continue;
        if (m_command != Command::None) {
            m_command = Command::None;
            m_error = QStringLiteral("Give one command at a time.");
            return;
        }
        m_command = entry.command;
    }
}

bool CommandLine::mayStartInterface() const
{
    for (const CommandOption &entry : kCommands) {
        if (entry.command == m_command)
            return entry.startsInterface;
    }
    return true;
}

bool CommandLine::mayStartInterface(int argc, const char *const *argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView argument(argv[i]);
        if (argument == "-h" || argument == "--help")
            return false;
        for (const CommandOption &entry : kCommands) {
            if (!entry.startsInterface && argument == QByteArrayLiteral("--") + entry.name)
                return false;
        }
    }
    return true;
}

QByteArray CommandLine::request(Command command)
{
    for (const CommandOption &entry : kCommands) {
        if (entry.command == command)
            return entry.name;
    }
    return kShowRequest;
}

CommandLine::Command CommandLine::fromRequest(const QByteArray &request)
{
    for (const CommandOption &entry : kCommands) {
        if (request == entry.name)
            return entry.command;
    }
    return Command::Show;
}

QByteArray CommandLine::answer(bool done, const QByteArray &stateLine)
{
    return (done ? kDone : kNotDone) + ' ' + stateLine;
}

int CommandLine::report(Command command, const QByteArray &answer, QTextStream &out, QTextStream &err)
{
    const qsizetype space = answer.indexOf(' ');
    const QByteArray verdict = answer.left(space);
    const QByteArray stateLine = answer.mid(space + 1);
    if (space < 0 || stateLine.isEmpty() || (verdict != kDone && verdict != kNotDone)) {
        // An older instance takes any request for "show" and closes without a word.
        if (command == Command::None || command == Command::Show)
            return exitDone;
        err << kProgram << ": the running VantrelVPN did not answer\n";
        return exitNotDone;
    }
    const bool done = verdict == kDone;
    if (command == Command::Status)
        out << stateLine << '\n';
    else if (!done)
        err << kProgram << ": cannot " << request(command) << " now: " << stateLine << '\n';
    return done ? exitDone : exitNotDone;
}
