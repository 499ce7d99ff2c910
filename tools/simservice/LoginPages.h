#pragma once

#include <QHttpServer>
#include <QObject>
#include <QSet>

// The sign-in pages the simulated service hands out: one page per sign-in
// attempt on 127.0.0.1, with a "Confirm" and a "Deny" button.
class LoginPages : public QObject
{
    Q_OBJECT
public:
    explicit LoginPages(QObject *parent = nullptr);

    bool listen();
    [[nodiscard]] quint16 port() const { return m_port; }

    // Opens a new sign-in attempt and returns its page address.
    QString begin();
    void cancelAll();

signals:
    void confirmed();
    void denied();

private:
    QString page(const QString &id) const;
    QString answer(const QString &id, bool confirm);

    QHttpServer m_server;
    QSet<QString> m_open;
    quint16 m_port = 0;
};
