#pragma once

#include <QObject>

// Start-up's hooks for the VPN service. The service runs on its own, so both hooks are deliberately
// empty; they mark where a launcher would act should the client ever start the service itself.
class DaemonLauncher : public QObject
{
    Q_OBJECT

public:
    explicit DaemonLauncher(QObject *parent = nullptr);

    void onStartup();
    static void onRestartConfirmed();
};
