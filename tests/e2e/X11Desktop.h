#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

// What a user sees and does on the test display, from outside the app: windows
// found by title and size through xdotool and xwininfo, pixels read from the
// screen, clicks and wheel turns sent as real pointer events.
class X11Desktop
{
public:
    struct Window
    {
        QString id;
        QRect geometry;
    };

    // Windows titled exactly `title`, mapped or not.
    [[nodiscard]] QList<Window> windows(const QString &title) const;
    // The one window of that title and size, or an empty id.
    [[nodiscard]] Window window(const QString &title, const QSize &size) const;
    [[nodiscard]] bool isViewable(const QString &id) const;
    // The tray host's panel, where the app's icon is the only one embedded.
    [[nodiscard]] QRect trayPanel() const;

    // A picture of the screen area, as drawn now.
    [[nodiscard]] QImage grab(const QRect &area) const;

    void click(const QPoint &screenPos, int button = 1) const;
    void scroll(const QPoint &screenPos, int steps) const;
    // Moves the pointer off every window, so no hover look is in a picture.
    void parkPointer() const;

    static QString run(const QString &program, const QStringList &arguments, int *exitCode = nullptr);
};

// Pixel helpers for pictures from X11Desktop::grab.
namespace Pixels {
// Colours within `tolerance` per channel count as the same.
bool near(QRgb pixel, const QColor &colour, int tolerance = 6);
int count(const QImage &image, const QRect &area, const QColor &colour, int tolerance = 6);
// The smallest rectangle holding every pixel of that colour in `area`.
QRect bounds(const QImage &image, const QRect &area, const QColor &colour, int tolerance = 6);
// Share of pixels that differ by more than a rendering wobble.
double difference(const QImage &a, const QImage &b);
} // namespace Pixels
