#include "X11Desktop.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>

#include <cstdlib>

namespace {
constexpr int kToolTimeoutMs = 10000;
const QString kXdotool = QStringLiteral("xdotool");

QRect parseShellGeometry(const QString &text)
{
    int x = 0, y = 0, width = 0, height = 0;
    const QStringList lines = text.split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QString key = line.section(u'=', 0, 0);
        const int value = line.section(u'=', 1).toInt();
        if (key == QLatin1String("X"))
            x = value;
        else if (key == QLatin1String("Y"))
            y = value;
        else if (key == QLatin1String("WIDTH"))
            width = value;
        else if (key == QLatin1String("HEIGHT"))
            height = value;
    }
    return {x, y, width, height};
}
} // namespace

QString X11Desktop::run(const QString &program, const QStringList &arguments, int *exitCode)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        if (exitCode)
            *exitCode = -1;
        return {};
    }
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QList<X11Desktop::Window> X11Desktop::windows(const QString &title) const
{
    QList<Window> found;
    const QString pattern = u'^' + QRegularExpression::escape(title) + u'$';
    const QStringList ids = run(kXdotool, {QStringLiteral("search"), QStringLiteral("--name"), pattern})
                                .split(u'\n', Qt::SkipEmptyParts);
    for (const QString &id : ids) {
        const QString shell
            = run(kXdotool, {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
        found.append({id.trimmed(), parseShellGeometry(shell)});
    }
    return found;
}

X11Desktop::Window X11Desktop::window(const QString &title, const QSize &size) const
{
    const QList<Window> candidates = windows(title);
    for (const Window &candidate : candidates) {
        if (candidate.geometry.size() == size)
            return candidate;
    }
    return {};
}

bool X11Desktop::isViewable(const QString &id) const
{
    if (id.isEmpty())
        return false;
    return run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id}).contains(QLatin1String("IsViewable"));
}

QRect X11Desktop::trayPanel() const
{
    const QStringList ids
        = run(kXdotool, {QStringLiteral("search"), QStringLiteral("--class"), QStringLiteral("^trayer$")})
              .split(u'\n', Qt::SkipEmptyParts);
    for (const QString &id : ids) {
        const QRect geometry = parseShellGeometry(
            run(kXdotool, {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id}));
        // trayer also keeps small helper windows off screen; the panel is the bar.
        if (geometry.height() == 32)
            return geometry;
    }
    return {};
}

QImage X11Desktop::grab(const QRect &area) const
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

void X11Desktop::click(const QPoint &screenPos, int button) const
{
    run(kXdotool,
        {QStringLiteral("mousemove"), QString::number(screenPos.x()), QString::number(screenPos.y()),
            QStringLiteral("click"), QString::number(button)});
}

void X11Desktop::scroll(const QPoint &screenPos, int steps) const
{
    // Buttons 4 and 5 are the wheel's up and down notches.
    run(kXdotool,
        {QStringLiteral("mousemove"), QString::number(screenPos.x()), QString::number(screenPos.y()),
            QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(std::abs(steps)),
            QStringLiteral("--delay"), QStringLiteral("30"),
            steps < 0 ? QStringLiteral("4") : QStringLiteral("5")});
}

void X11Desktop::parkPointer() const
{
    // The middle of the right half: no app window opens there.
    run(kXdotool, {QStringLiteral("mousemove"), QStringLiteral("900"), QStringLiteral("300")});
}

bool Pixels::near(QRgb pixel, const QColor &colour, int tolerance)
{
    return std::abs(qRed(pixel) - colour.red()) <= tolerance
        && std::abs(qGreen(pixel) - colour.green()) <= tolerance
        && std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

int Pixels::count(const QImage &image, const QRect &area, const QColor &colour, int tolerance)
{
    int matches = 0;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            if (near(image.pixel(x, y), colour, tolerance))
                ++matches;
        }
    }
    return matches;
}

QRect Pixels::bounds(const QImage &image, const QRect &area, const QColor &colour, int tolerance)
{
    QRect box;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            if (near(image.pixel(x, y), colour, tolerance))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

double Pixels::difference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    constexpr int kWobble = 24;
    qint64 differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (!near(a.pixel(x, y), QColor::fromRgb(b.pixel(x, y)), kWobble))
                ++differing;
        }
    }
    return double(differing) / (double(a.width()) * a.height());
}
