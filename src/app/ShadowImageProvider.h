#pragma once

#include <QQuickImageProvider>

// Nine-patch images of a soft rectangular shadow, drawn once per look on the CPU, so that a BorderImage
// shows the same shadow on every scene graph without a shader. Ids read "<glow>/<spread>/<corner>/<extent>":
// the falloff's reach and its strengthening near the edge, the corner radius of the shadow's shape, and
// how many whole pixels the image reaches beyond the shadowed item. The image is square and odd-sized;
// its borders are (width - 1) / 2 wide and its centre pixel is the flat inside.
class ShadowImageProvider : public QQuickImageProvider
{
public:
    ShadowImageProvider();

    QImage requestImage(const QString &id, QSize *size, const QSize &requestedSize) override;

    // The image of one look, black with the shadow's falloff in its alpha; null when a value is out of
    // range.
    [[nodiscard]] static QImage draw(double glow, double spread, double corner, int extent);
};
