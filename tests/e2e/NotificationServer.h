#pragma once

#include <QDBusVirtualObject>
#include <QList>
#include <QString>

// The session's notification server (org.freedesktop.Notifications), served
// by the test itself: it keeps what the app sends and shows nothing, so no
// desktop program's own faults come between the app and the test.
class NotificationServer : public QDBusVirtualObject
{
public:
    struct Notification
    {
        QString summary;
        QString body;
    };

    // False when the name is taken or there is no session bus.
    bool start();
    [[nodiscard]] const QList<Notification> &received() const { return m_received; }
    void clear() { m_received.clear(); }

    [[nodiscard]] QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    QList<Notification> m_received;
    uint m_lastId = 0;
};
