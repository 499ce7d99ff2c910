#pragma once

#include "NotificationServer.h"

#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QMap>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>

class QProcess;

// What a user sees and does on the test display, from outside the app: windows
// found by title and size, pixels read from the screen, clicks and wheel turns
// sent as real pointer events. The session (E2E_DESKTOP of session.sh) is X11
// with an XEmbed tray host (xdotool, xwininfo), X11 with a StatusNotifierItem
// panel and a notification server on a session bus, or Wayland on sway
// (swaymsg, grim, a virtual pointer) with the same bus services.
class TestDesktop
{
public:
    enum class Kind { XEmbed, Sni, Wayland };

    struct Window
    {
        QString id;
        QRect geometry;
    };

    // The app's StatusNotifierItem as the panel reads it over D-Bus.
    struct TrayItem
    {
        QString service; // empty: not registered with the watcher
        QString path;
        QString title;
        QString toolTip;
        QMap<int, QImage> pixmaps; // by width
        QString menu; // the object path of its menu
    };
    // An entry of the item's menu as the panel reads it (com.canonical.dbusmenu).
    struct MenuEntry
    {
        int id = 0;
        QString label;
        bool enabled = true;
    };
    using Notification = NotificationServer::Notification;

    TestDesktop();
    ~TestDesktop();
    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] static QRect screen() { return {0, 0, 1280, 800}; }

    // Windows titled exactly `title`, mapped or not.
    [[nodiscard]] QList<Window> windows(const QString &title) const;
    // X11 only: the mapped windows of that class (WM_CLASS), titled or not.
    [[nodiscard]] QList<Window> viewableWindowsOfClass(const QString &windowClass) const;
    // The one window of that title and size, or an empty id.
    [[nodiscard]] Window window(const QString &title, const QSize &size) const;
    [[nodiscard]] bool isViewable(const QString &id) const;
    // The panel of the tray host (trayer, xfce4-panel, swaybar).
    [[nodiscard]] QRect trayPanel() const;
    // Where the app's icon is drawn in the panel.
    [[nodiscard]] QRect trayIcon() const;
    // A primary, a secondary and a middle click on the tray icon. Under
    // XEmbed Qt shows the icon's menu on the secondary one. The panels
    // hosting StatusNotifierItems turn them into the item's Activate,
    // ContextMenu and SecondaryActivate calls; xfce4-panel shows the item's
    // menu instead of the secondary one, so there the call that the panels
    // reading no menu make (swaybar's) stands in.
    void activateTray() const;
    void secondaryClickTray() const;
    void middleClickTray() const;
    [[nodiscard]] TrayItem trayItem() const;
    // The item's menu as a panel reads it before showing it, in order; empty
    // without one.
    [[nodiscard]] QList<MenuEntry> trayMenu() const;
    // What a panel sends when an entry of that menu is clicked.
    void clickTrayMenu(int id) const;
    // What the notification server has received since the last call to
    // forgetNotifications(), oldest first.
    [[nodiscard]] QList<Notification> notifications() const { return m_notifications.received(); }
    void forgetNotifications() { m_notifications.clear(); }

    // A picture of the screen area, as drawn now.
    [[nodiscard]] QImage grab(const QRect &area) const;

    // Gives the window the input focus, as a window manager does when it is
    // clicked (the X11 sessions run none).
    void focus(const Window &window) const;
    [[nodiscard]] bool hasFocus(const Window &window) const;
    void click(const QPoint &screenPos, int button = 1) const;
    // Presses the left button at `from`, moves to `to` in steps and lets go.
    void drag(const QPoint &from, const QPoint &to) const;
    void scroll(const QPoint &screenPos, int steps) const;
    // Moves the pointer off every window, so no hover look is in a picture.
    void parkPointer() const;

    static QString run(const QString &program, const QStringList &arguments, int *exitCode = nullptr);

private:
    void pointer(const QStringList &commands) const;
    void clickTray(int button) const;

    Kind m_kind = Kind::XEmbed;
    NotificationServer m_notifications; // on the desktops with a session bus
    mutable std::unique_ptr<QProcess> m_pointer; // the Wayland virtual pointer
    mutable QElapsedTimer m_trayClicked;
};

// Pixel helpers for pictures from TestDesktop::grab.
namespace Pixels {
// Colours within `tolerance` per channel count as the same.
bool near(QRgb pixel, const QColor &colour, int tolerance = 6);
int count(const QImage &image, const QRect &area, const QColor &colour, int tolerance = 6);
// The smallest rectangle holding every pixel of that colour in `area`.
QRect bounds(const QImage &image, const QRect &area, const QColor &colour, int tolerance = 6);
// Share of pixels that differ by more than a rendering wobble.
double difference(const QImage &a, const QImage &b);
} // namespace Pixels
