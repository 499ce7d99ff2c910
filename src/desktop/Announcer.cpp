#include "Announcer.h"

#include <QAccessible>
#include <QtGlobal>

namespace {
// Qt 6.8 brings announcements to AT-SPI, and with them name changes in a form screen readers can speak;
// Qt 6.4's bridge sends name changes that Orca cannot read.
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
constexpr bool kNativeAnnouncements = true;

void announceNatively(QObject *source, const QString &text)
{
    QAccessibleAnnouncementEvent event(source, text);
    QAccessible::updateAccessibility(&event);
}
#else
constexpr bool kNativeAnnouncements = false;

void announceNatively(QObject *, const QString &)
{ }
#endif

// A screen change moves the focus a few event-loop turns after the state that caused it, or just
// before the state is told: a focus arriving this close to a state speaks it.
constexpr int kStateSettleMs = 250;
} // namespace

Announcer::Announcer(QObject *parent)
    : QObject(parent)
{
    m_stateDelay.setSingleShot(true);
    m_stateDelay.setInterval(kStateSettleMs);
    connect(&m_stateDelay, &QTimer::timeout, this, &Announcer::onStateSettled);
}

void Announcer::setFocusNamesState(bool focusNamesState)
{
    if (focusNamesState == m_focusNamesState)
        return;
    m_focusNamesState = focusNamesState;
    if (focusNamesState)
        m_focusArrived.start();
    emit focusNamesStateChanged();
}

void Announcer::setWindow(QObject *window)
{
    m_window = window;
}

void Announcer::say(const QString &text)
{
    if (text.isEmpty())
        return;
    if constexpr (kNativeAnnouncements) {
        if (m_window)
            announceNatively(m_window, text);
    } else {
        // Hidden first, so that the notification shows anew also for the message it holds; the new
        // name is in place before it shows.
        setShown(false);
        if (text != m_message) {
            m_message = text;
            emit messageChanged();
        }
        setShown(true);
    }
}

void Announcer::sayState(const QString &text)
{
    if (kNativeAnnouncements && m_focusNamesState)
        return;
    m_pendingState = text;
    m_stateDelay.start();
}

void Announcer::onStateSettled()
{
    const bool focusJustArrived
        = m_focusNamesState && m_focusArrived.isValid() && m_focusArrived.elapsed() < 2 * kStateSettleMs;
    if (!focusJustArrived)
        say(m_pendingState);
    m_pendingState.clear();
}

void Announcer::setShown(bool shown)
{
    if (shown == m_shown)
        return;
    m_shown = shown;
    emit shownChanged();
}
