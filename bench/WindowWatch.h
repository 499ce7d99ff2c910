#pragma once

#include <QSet>
#include <QSize>

struct xcb_connection_t;

// Watches the X display in DISPLAY from outside, as a user's desktop sees it: tells when a new
// top-level window of a given size is mapped and viewable. Windows that exist when the watch is
// made never count.
class WindowWatch
{
public:
    explicit WindowWatch(QSize size);
    ~WindowWatch();
    WindowWatch(const WindowWatch &) = delete;
    WindowWatch &operator=(const WindowWatch &) = delete;

    [[nodiscard]] bool connected() const { return m_connection != nullptr; }
    // One look at the display: whether such a window is viewable now.
    [[nodiscard]] bool mapped();

private:
    [[nodiscard]] QList<quint32> topLevels() const;

    QSize m_size;
    xcb_connection_t *m_connection = nullptr;
    quint32 m_root = 0;
    QSet<quint32> m_known;
};
