#pragma once

#include <QObject>
#include <QString>

class AppSettings;
class PipeClient;

// Decides what a screen reader is told about the service: each new state of the tunnel, sign-in and
// sign-out, the link to the service lost and back, an offered update and refused access, in the user's
// language. Like the tray's notifications it says each change once: status polls that repeat a state,
// or the same offer after a new handshake, say nothing.
class StateAnnouncer : public QObject
{
    Q_OBJECT

public:
    StateAnnouncer(PipeClient *client, AppSettings *settings, QObject *parent = nullptr);

signals:
    // tunnelState marks the texts that only name the tunnel's new state, which the control showing that
    // state may already say; a failure's reason is not among them.
    void announce(const QString &text, bool tunnelState);

public slots:
    void onVpnStateChanged();
    void onLinkStateChanged();
    void onLoginComplete();
    void onLoggedOut();
    void onUpdateAvailableChanged();
    void onAccessDenied();

private:
    void announceTunnel();
    [[nodiscard]] QString text(const QString &key) const;
    [[nodiscard]] QString extraText(const QString &key) const;

    PipeClient *m_client = nullptr;
    AppSettings *m_settings = nullptr;
    // The state last told with what made it news (transport, attempt or reason).
    QString m_toldTunnel;
    QString m_lastLink;
    // Whether the loss of the link, or its absence, has been told.
    bool m_linkDown = false;
    QString m_toldOffer;
};
