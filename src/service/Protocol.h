#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QString>

// The line-oriented JSON control protocol spoken with the VPN service: the
// fixed endpoints, every wire name, the builders for what the client writes
// and the tolerant readers for what it receives. Shared by the client and by
// anything that stands in for the service.
namespace Protocol {

inline constexpr QLatin1StringView socketPath("/run/vantrelvpn/daemon.sock");
inline constexpr QLatin1StringView tokenPath("/run/vantrelvpn/pipe.token");
inline constexpr QLatin1StringView magic("VANTRELVPN_IPC");
inline constexpr int version = 1;

// Member names, in both directions.
namespace Key {
inline constexpr QLatin1StringView magic("magic");
inline constexpr QLatin1StringView version("version");
inline constexpr QLatin1StringView token("token");
inline constexpr QLatin1StringView cmd("cmd");
inline constexpr QLatin1StringView payload("payload");
inline constexpr QLatin1StringView type("type");
// "connect" and "set_kill_switch" payloads
inline constexpr QLatin1StringView whitelist("whitelist");
inline constexpr QLatin1StringView games("games");
inline constexpr QLatin1StringView transport("transport");
inline constexpr QLatin1StringView mode("mode");
// event members
inline constexpr QLatin1StringView loginUrl("login_url");
inline constexpr QLatin1StringView expiresAt("expires_at");
inline constexpr QLatin1StringView error("error");
inline constexpr QLatin1StringView authenticated("authenticated");
inline constexpr QLatin1StringView killSwitchMode("kill_switch_mode");
inline constexpr QLatin1StringView username("username");
inline constexpr QLatin1StringView status("status");
inline constexpr QLatin1StringView ip("ip");
inline constexpr QLatin1StringView endpoint("endpoint");
inline constexpr QLatin1StringView attempt("attempt");
inline constexpr QLatin1StringView up("up");
inline constexpr QLatin1StringView down("down");
inline constexpr QLatin1StringView connectedSince("connected_since");
inline constexpr QLatin1StringView diagPath("diag_path");
inline constexpr QLatin1StringView updateVersion("update_version");
inline constexpr QLatin1StringView updateUrl("update_url");
inline constexpr QLatin1StringView updateProgress("update_progress");
} // namespace Key

// Values of "cmd".
namespace Cmd {
inline constexpr QLatin1StringView ping("ping");
inline constexpr QLatin1StringView status("status");
inline constexpr QLatin1StringView loginStart("login_start");
inline constexpr QLatin1StringView loginCancel("login_cancel");
inline constexpr QLatin1StringView logout("logout");
inline constexpr QLatin1StringView connect("connect");
inline constexpr QLatin1StringView disconnect("disconnect");
inline constexpr QLatin1StringView setKillSwitch("set_kill_switch");
inline constexpr QLatin1StringView shutdown("shutdown");
inline constexpr QLatin1StringView getDiag("get_diag");
inline constexpr QLatin1StringView installUpdate("install_update");
inline constexpr QLatin1StringView applyUpdate("apply_update");
} // namespace Cmd

// Values of "type".
namespace Event {
inline constexpr QLatin1StringView ready("ready");
inline constexpr QLatin1StringView pong("pong");
inline constexpr QLatin1StringView browserOpened("browser_opened");
inline constexpr QLatin1StringView loginComplete("login_complete");
inline constexpr QLatin1StringView loginFailed("login_failed");
inline constexpr QLatin1StringView loggedOut("logged_out");
inline constexpr QLatin1StringView status("status");
inline constexpr QLatin1StringView diagReady("diag_ready");
inline constexpr QLatin1StringView updateAvailable("update_available");
inline constexpr QLatin1StringView updateProgress("update_progress");
inline constexpr QLatin1StringView updateReady("update_ready");
inline constexpr QLatin1StringView updating("updating");
inline constexpr QLatin1StringView error("error");
} // namespace Event

// VPN states and kill-switch modes.
namespace State {
inline constexpr QLatin1StringView disconnected("disconnected");
inline constexpr QLatin1StringView connecting("connecting");
inline constexpr QLatin1StringView connected("connected");
inline constexpr QLatin1StringView reconnecting("reconnecting");
inline constexpr QLatin1StringView failed("failed");
} // namespace State

namespace KillSwitch {
inline constexpr QLatin1StringView never("never");
inline constexpr QLatin1StringView onConnect("on_connect");
inline constexpr QLatin1StringView always("always");
} // namespace KillSwitch

// Compact JSON of the object followed by one line feed. QJsonObject keeps its
// keys sorted, so members come out in ascending key order.
QByteArray encode(const QJsonObject &message);

QByteArray handshake(const QString &token);
// {"cmd": name} without a payload member.
QByteArray command(const QString &name);
// {"cmd": name, "payload": payload}; the payload is sent even when empty.
QByteArray command(const QString &name, const QJsonObject &payload);

// "transport" is left out when empty.
QJsonObject connectPayload(bool whitelist, bool games, const QString &transport);
QJsonObject killSwitchPayload(const QString &mode);

// Whole file as UTF-8 with surrounding white space removed; empty when the
// file cannot be opened.
QString readToken(const QString &path);

// Member readers: a missing member or one of another JSON type reads as the
// fallback (empty, false, 0) instead of being rejected.
QString readString(const QJsonObject &object, QLatin1StringView key);
bool readBool(const QJsonObject &object, QLatin1StringView key);
// An integral number that fits 32 bits, else 0 (2.5 reads as 0).
int readInt(const QJsonObject &object, QLatin1StringView key);
// A number truncated toward zero (1536.9 reads as 1536); 0 when it does not
// fit 64 bits.
qint64 readNumber(const QJsonObject &object, QLatin1StringView key);

bool isActiveState(const QString &state);

} // namespace Protocol
