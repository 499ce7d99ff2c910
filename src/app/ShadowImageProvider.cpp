#include "ShadowImageProvider.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
constexpr int kMaxExtent = 256;

double smoothstep(double edge0, double edge1, double x)
{
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}
} // namespace

ShadowImageProvider::ShadowImageProvider()
    : QQuickImageProvider(QQuickImageProvider::Image)
{ }

QImage ShadowImageProvider::requestImage(const QString &id, QSize *size, const QSize &requestedSize)
{
    Q_UNUSED(requestedSize)
    const QStringList parts = id.split(u'/');
    QImage image;
    if (parts.size() == 4)
        image = draw(parts[0].toDouble(), parts[1].toDouble(), parts[2].toDouble(), parts[3].toInt());
    if (image.isNull())
        qWarning().noquote() << "no shadow image for" << id;
    if (size)
        *size = image.size();
    return image;
}

QImage ShadowImageProvider::draw(double glow, double spread, double corner, int extent)
{
    if (!(glow >= 0) || !(corner >= 0) || !(spread >= 0 && spread < 1) || extent < 0 || extent > kMaxExtent)
        return {};
    // The falloff is that of a rectangular glow: each axis ramps up smoothly over `ramp` pixels from the
    // outer edge, which lies glow + corner outside the item; the product of the two rounds the corners,
    // and the spread lifts the part near the item.
    const double reach = glow + corner;
    const double ramp = (1 - spread) * (1 - spread) * glow + 2 * corner;
    if (ramp <= 0)
        return {};
    const int border = std::max(0, int(std::ceil(ramp + extent - reach - 0.5)));
    const int side = 2 * border + 1;
    std::vector<double> axis(size_t(side), 0.0);
    for (int i = 0; i < side; ++i) {
        const int fromEdge = std::min(i, side - 1 - i);
        axis[size_t(i)] = smoothstep(0, ramp, fromEdge + 0.5 - extent + reach);
    }
    const double low = spread / 2;
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < side; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < side; ++x) {
            const double lifted
                = std::clamp((axis[size_t(x)] * axis[size_t(y)] - low) / (1 - 2 * low), 0.0, 1.0);
            line[x] = qRgba(0, 0, 0, int(std::lround(lifted * lifted * 255)));
        }
    }
    return image;
}
