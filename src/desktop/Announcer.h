#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

// The one way the app speaks to a screen reader: short messages, heard without the focus moving. How a
// message travels depends on the Qt version and is chosen here alone. Qt 6.8 sends a native announcement;
// before it the window holds a hidden notification item bound to message and shown, which shows anew for
// each message, and a shown notification is what older bridges and screen readers speak.
class Announcer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString message READ message NOTIFY messageChanged)
    Q_PROPERTY(bool shown READ shown NOTIFY shownChanged)
    Q_PROPERTY(
        bool focusNamesState READ focusNamesState WRITE setFocusNamesState NOTIFY focusNamesStateChanged)

public:
    explicit Announcer(QObject *parent = nullptr);

    [[nodiscard]] QString message() const { return m_message; }
    [[nodiscard]] bool shown() const { return m_shown; }
    // Whether the focused control's accessible name is the tunnel state (the home screen's dial).
    [[nodiscard]] bool focusNamesState() const { return m_focusNamesState; }
    void setFocusNamesState(bool focusNamesState);
    // The window whose accessibility tree carries native announcements.
    void setWindow(QObject *window);

    Q_INVOKABLE void say(const QString &text);
    // Says a new tunnel state unless the screen reader hears it already: where the bridge passes the
    // focused control's name changes on (Qt 6.8), the focused dial speaks for itself, and on every
    // version the focus arriving on the dial with the change (a screen change) speaks its name, the
    // state. The state waits a moment for such a focus.
    void sayState(const QString &text);

signals:
    void messageChanged();
    void shownChanged();
    void focusNamesStateChanged();

private:
    void setShown(bool shown);
    void onStateSettled();

    QPointer<QObject> m_window;
    QTimer m_stateDelay;
    QString m_pendingState;
    // Since the focus last came to the control naming the state.
    QElapsedTimer m_focusArrived;
    QString m_message;
    bool m_shown = false;
    bool m_focusNamesState = false;
};
