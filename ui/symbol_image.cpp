#include "ui/symbol_image.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace tessaly {

namespace {

QString resourcePath(const QString &name) {
    return QStringLiteral(":/symbols/") + name + QStringLiteral(".svg");
}

void drawStandIn(QPainter &painter, int pixels) {
    painter.setPen(QPen(Qt::black, pixels / 12.0));
    painter.setBrush(Qt::NoBrush);
    const qreal inset = pixels / 8.0;
    painter.drawEllipse(QRectF(inset, inset, pixels - 2 * inset, pixels - 2 * inset));
}

} // namespace

bool hasSymbol(const QString &name) {
    return QFile::exists(resourcePath(name));
}

QPixmap symbolPixmap(const QString &name, int size, const QColor &color, qreal devicePixelRatio) {
    const int pixels = std::max(1, static_cast<int>(std::lround(size * devicePixelRatio)));
    QImage image(pixels, pixels, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QSvgRenderer renderer(resourcePath(name));
        if (renderer.isValid())
            renderer.render(&painter, QRectF(0, 0, pixels, pixels));
        else
            drawStandIn(painter, pixels);
    }
    // Lightness decides coverage: the knock-outs drawn in white must become holes, which a
    // plain source-in tint would fill with the colour instead.
    for (int y = 0; y < pixels; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < pixels; ++x) {
            const QRgb pixel = line[x];
            const int coverage = qAlpha(pixel) * (255 - qGray(pixel)) / 255;
            line[x] =
                qRgba(color.red(), color.green(), color.blue(), coverage * color.alpha() / 255);
        }
    }
    QPixmap pixmap = QPixmap::fromImage(std::move(image));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

} // namespace tessaly
