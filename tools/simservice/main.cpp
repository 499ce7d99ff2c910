// The simulated VPN service. Run it as root (it owns /run/vantrelvpn like the
// real service) or point it at another folder with --dir for tests. Lines typed
// on standard input inject faults; "help" lists them.

#include "SimService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

void say(const QString &line)
{
    QTextStream(stderr) << "simservice: " << line << Qt::endl;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantrelvpn-simservice"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated VantrelVPN service for development and tests."));
    parser.addHelpOption();
    const QCommandLineOption dirOption(QStringLiteral("dir"),
        QStringLiteral("Folder for the socket and token (tests only; default /run/vantrelvpn)."),
        QStringLiteral("dir"));
    const QCommandLineOption versionOption(
        QStringLiteral("service-version"), QStringLiteral("Reported version."), QStringLiteral("version"));
    const QCommandLineOption updateOption(QStringLiteral("offer-update"),
        QStringLiteral("Offer this update version after each handshake."), QStringLiteral("version"));
    const QCommandLineOption userOption(
        QStringLiteral("user"), QStringLiteral("Signed-in user's name."), QStringLiteral("name"));
    const QCommandLineOption signedInOption(QStringLiteral("signed-in"), QStringLiteral("Start signed in."));
    const QCommandLineOption connectedOption(
        QStringLiteral("connected"), QStringLiteral("Start signed in with the tunnel up."));
    const QCommandLineOption refuseOption(
        QStringLiteral("refuse-access"), QStringLiteral("Make the socket accessible to its owner only."));
    const QCommandLineOption failOption(QStringLiteral("fail-next-connect"),
        QStringLiteral("Fail the next connect with this error text."), QStringLiteral("text"));
    const QCommandLineOption pushOption(QStringLiteral("push-interval"),
        QStringLiteral("Send unasked status events every N ms while connected."), QStringLiteral("ms"));
    parser.addOptions({dirOption, versionOption, updateOption, userOption, signedInOption, connectedOption,
        refuseOption, failOption, pushOption});
    parser.process(app);

    SimService::Options options;
    if (parser.isSet(dirOption))
        options.directory = parser.value(dirOption);
    if (parser.isSet(versionOption))
        options.version = parser.value(versionOption);
    if (parser.isSet(userOption))
        options.username = parser.value(userOption);
    options.offeredUpdate = parser.value(updateOption);
    options.signedIn = parser.isSet(signedInOption);
    options.connected = parser.isSet(connectedOption);
    options.refuseAccess = parser.isSet(refuseOption);
    options.failNextConnect = parser.value(failOption);
    options.pushIntervalMs = parser.value(pushOption).toInt();

    SimService service(options);
    QObject::connect(&service, &SimService::log, &say);
    if (!service.start()) {
        say(service.errorString());
        return 1;
    }

    // SIGINT/SIGTERM end the event loop so the socket file is removed.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &service, [&] {
        char line[4096];
        if (!std::fgets(line, sizeof line, stdin)) {
            input.setEnabled(false); // end of input: keep serving
            return;
        }
        const QString text = QString::fromUtf8(line).trimmed();
        if (text == QLatin1String("quit"))
            QCoreApplication::quit();
        else if (!text.isEmpty())
            say(service.control(text));
    });

    const int result = app.exec();
    service.stop();
    return result;
}
