#include "DaemonLauncher.h"

DaemonLauncher::DaemonLauncher(QObject *parent)
    : QObject(parent)
{ }

void DaemonLauncher::onStartup()
{
    // The client reaches the running service through its socket and retries on its own.
}

void DaemonLauncher::onRestartConfirmed()
{
    // The service restarts itself after an update; nothing is left to start here.
}
