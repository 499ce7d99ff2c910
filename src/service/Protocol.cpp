#include "Protocol.h"

#include <QFile>
#include <QJsonDocument>

#include <cmath>
#include <limits>

namespace Protocol {

QByteArray encode(const QJsonObject &message)
{
    QByteArray line = QJsonDocument(message).toJson(QJsonDocument::Compact);
    line.append('\n');
    return line;
}

QByteArray handshake(const QString &token)
{
    return encode({{Key::magic, magic}, {Key::version, version}, {Key::token, token}});
}

QByteArray command(const QString &name)
{
    return encode({{Key::cmd, name}});
}

QByteArray command(const QString &name, const QJsonObject &payload)
{
    return encode({{Key::cmd, name}, {Key::payload, payload}});
}

QJsonObject connectPayload(bool whitelist, bool games, const QString &transport)
{
    QJsonObject payload {{Key::whitelist, whitelist}, {Key::games, games}};
    if (!transport.isEmpty())
        payload.insert(Key::transport, transport);
    return payload;
}

QJsonObject killSwitchPayload(const QString &mode)
{
    return {{Key::mode, mode}};
}

QString readToken(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

// The readers go through the object's iterator: unlike value() it hands out
// the member without building a QJsonValue copy, and a status event reads
// thirteen members. QJsonValueConstRef's conversions answer the default for
// a member of another type, as the readers require.
QString readString(const QJsonObject &object, QLatin1StringView key)
{
    const auto member = object.constFind(key);
    return member != object.constEnd() ? member->toString() : QString();
}

bool readBool(const QJsonObject &object, QLatin1StringView key)
{
    const auto member = object.constFind(key);
    return member != object.constEnd() && member->toBool();
}

int readInt(const QJsonObject &object, QLatin1StringView key)
{
    const auto member = object.constFind(key);
    if (member == object.constEnd() || !member->isDouble())
        return 0;
    const double number = member->toDouble();
    // NaN fails the first test, infinities the range test.
    if (number != std::trunc(number) || number < std::numeric_limits<int>::min()
        || number > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(number);
}

qint64 readNumber(const QJsonObject &object, QLatin1StringView key)
{
    const auto member = object.constFind(key);
    if (member == object.constEnd() || !member->isDouble())
        return 0;
    // Integral values are kept exactly; going through double would round
    // values above 2^53. The smallest qint64 doubles as "not integral": it
    // is exact in double too, so the path below gives it back unchanged.
    constexpr qint64 notIntegral = std::numeric_limits<qint64>::min();
    const qint64 exact = member->toInteger(notIntegral);
    if (exact != notIntegral)
        return exact;
    const double truncated = std::trunc(member->toDouble());
    // 2^63 is exactly representable; anything at or beyond it (or NaN) would
    // make the conversion undefined.
    constexpr double limit = 9223372036854775808.0;
    if (!(truncated < limit && truncated >= -limit))
        return 0;
    return static_cast<qint64>(truncated);
}

bool isActiveState(const QString &state)
{
    return state == State::connecting || state == State::connected || state == State::reconnecting;
}

} // namespace Protocol
