#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QTextStream;

// The program's options: at most one command for the running instance ("vantrelvpn --toggle") and the
// start in the tray. Also the lines a command and its answer travel as between the two processes, and
// how a start reports that answer.
class CommandLine
{
public:
    enum class Command { None, Show, Connect, Disconnect, Toggle, Quit, Status };

    // Exit codes of a start that hands a command over, or cannot.
    static constexpr int exitDone = 0;
    static constexpr int exitNotDone = 1;
    static constexpr int exitUnusable = 2;

    // Parses the arguments, the program name first, as QCoreApplication::arguments() gives them.
    explicit CommandLine(const QStringList &arguments);

    [[nodiscard]] Command command() const { return m_command; }
    [[nodiscard]] bool minimized() const { return m_minimized; }
    [[nodiscard]] bool helpRequested() const { return m_help; }
    [[nodiscard]] QString helpText() const { return m_helpText; }
    // Why the arguments make no sense; empty when they do.
    [[nodiscard]] QString error() const { return m_error; }
    // Whether the start becomes the running instance when there is none. The other commands only ever
    // talk to one.
    [[nodiscard]] bool mayStartInterface() const;

    // False when the raw arguments, read before any application object exists, ask for help or name a
    // command that never opens the interface: such a start needs no display.
    [[nodiscard]] static bool mayStartInterface(int argc, const char *const *argv);

    // The request line a command travels as, without its line feed.
    [[nodiscard]] static QByteArray request(Command command);
    // The command a request names; anything else (empty, cut short, unknown) asks to show the window.
    [[nodiscard]] static Command fromRequest(const QByteArray &request);
    // The running instance's answer line: "done" or "not-done", a space and the state line.
    [[nodiscard]] static QByteArray answer(bool done, const QByteArray &stateLine);

    // Prints what the running instance answered (the state line for --status, the reason on the error
    // stream for a command not done) and returns the exit code. An empty or malformed answer means that
    // instance did not answer in time, or is an older one that only shows its window.
    static int report(Command command, const QByteArray &answer, QTextStream &out, QTextStream &err);

private:
    Command m_command = Command::None;
    bool m_minimized = false;
    bool m_help = false;
    QString m_helpText;
    QString m_error;
};
