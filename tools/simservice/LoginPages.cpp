#include "LoginPages.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QUuid>

namespace {
const char pageHead[] = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>VantrelVPN sign-in</title>
<style>
body { font-family: sans-serif; background: #101216; color: #E7EAEF; display: flex;
       align-items: center; justify-content: center; height: 100vh; margin: 0; }
main { background: #16191E; border: 1px solid #2a2e35; border-radius: 12px; padding: 32px; width: 360px; }
h1 { font-size: 20px; margin: 0 0 8px; }
p { color: #A8B0BD; }
button { font-size: 15px; padding: 10px 18px; border-radius: 8px; border: 0; margin-right: 8px; cursor: pointer; }
#confirm { background: #4C84F1; color: #FFFFFF; }
#deny { background: #1D2127; color: #E7EAEF; border: 1px solid #3a3f47; }
</style></head><body><main>
)";
} // namespace

LoginPages::LoginPages(QObject *parent)
    : QObject(parent)
{
    m_server.route(QStringLiteral("/login/<arg>"),
        [this](const QString &id) { return QHttpServerResponse("text/html", page(id).toUtf8()); });
    m_server.route(QStringLiteral("/login/<arg>/confirm"),
        [this](const QString &id) { return QHttpServerResponse("text/html", answer(id, true).toUtf8()); });
    m_server.route(QStringLiteral("/login/<arg>/deny"),
        [this](const QString &id) { return QHttpServerResponse("text/html", answer(id, false).toUtf8()); });
}

bool LoginPages::listen()
{
    // Qt 6.8's HTTP server has no listen() of its own any more; it serves a
    // TCP server listened by the caller (bind(), since 6.4), and owns it.
    auto *listener = new QTcpServer(&m_server);
    if (!listener->listen(QHostAddress::LocalHost, 0)) {
        delete listener;
        return false;
    }
    m_server.bind(listener);
    m_port = listener->serverPort();
    return true;
}

QString LoginPages::begin()
{
    const QString id = QUuid::createUuid().toString(QUuid::Id128);
    m_open.insert(id);
    return QStringLiteral("http://127.0.0.1:%1/login/%2").arg(m_port).arg(id);
}

void LoginPages::cancelAll()
{
    m_open.clear();
}

QString LoginPages::page(const QString &id) const
{
    QString html = QString::fromUtf8(pageHead);
    if (!m_open.contains(id)) {
        html += QStringLiteral("<h1>Link expired</h1><p>Start the sign-in again from the app.</p>");
    } else {
        html += QStringLiteral(
            "<h1>Sign in to VantrelVPN</h1><p>Allow the desktop app to use your account?</p>"
            "<form method=\"post\" action=\"/login/%1/confirm\" style=\"display:inline\">"
            "<button id=\"confirm\" type=\"submit\">Confirm</button></form>"
            "<form method=\"post\" action=\"/login/%1/deny\" style=\"display:inline\">"
            "<button id=\"deny\" type=\"submit\">Deny</button></form>")
                    .arg(id);
    }
    return html + QStringLiteral("</main></body></html>");
}

QString LoginPages::answer(const QString &id, bool confirm)
{
    QString html = QString::fromUtf8(pageHead);
    if (!m_open.remove(id))
        return html
            + QStringLiteral(
                "<h1>Link expired</h1><p>Start the sign-in again from the app.</p></main></body></html>");
    if (confirm) {
        html += QStringLiteral("<h1 id=\"done\">Signed in</h1><p>You can return to the app.</p>");
        emit confirmed();
    } else {
        html += QStringLiteral("<h1 id=\"done\">Sign-in denied</h1><p>You can close this page.</p>");
        emit denied();
    }
    return html + QStringLiteral("</main></body></html>");
}
