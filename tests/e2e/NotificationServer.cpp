#include "NotificationServer.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
} // namespace

bool NotificationServer::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.registerVirtualObject(kPath, this) && bus.registerService(kService);
}

QString NotificationServer::introspect(const QString &) const
{
    return QStringLiteral(R"(<interface name="org.freedesktop.Notifications">
  <method name="Notify">
    <arg direction="in" type="s"/><arg direction="in" type="u"/><arg direction="in" type="s"/>
    <arg direction="in" type="s"/><arg direction="in" type="s"/><arg direction="in" type="as"/>
    <arg direction="in" type="a{sv}"/><arg direction="in" type="i"/><arg direction="out" type="u"/>
  </method>
  <method name="CloseNotification"><arg direction="in" type="u"/></method>
  <method name="GetCapabilities"><arg direction="out" type="as"/></method>
  <method name="GetServerInformation">
    <arg direction="out" type="s"/><arg direction="out" type="s"/>
    <arg direction="out" type="s"/><arg direction="out" type="s"/>
  </method>
</interface>
)");
}

bool NotificationServer::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    const QString member = message.member();
    const QList<QVariant> arguments = message.arguments();
    QDBusMessage reply;
    if (member == QLatin1String("Notify") && arguments.size() == 8) {
        m_received.append({arguments.at(3).toString(), arguments.at(4).toString()});
        reply = message.createReply(QVariant::fromValue(++m_lastId));
    } else if (member == QLatin1String("CloseNotification")) {
        reply = message.createReply();
    } else if (member == QLatin1String("GetCapabilities")) {
        reply = message.createReply(QStringList {QStringLiteral("body")});
    } else if (member == QLatin1String("GetServerInformation")) {
        reply = message.createReply(QList<QVariant> {
            QStringLiteral("e2e"), QStringLiteral("Vantrel"), QStringLiteral("1.0"), QStringLiteral("1.2")});
    } else {
        return false;
    }
    return connection.send(reply);
}
