#include "ui/symbol_image.h"

#include <QImage>
#include <QStringList>

#include <gtest/gtest.h>

namespace tessaly::testing {
namespace {

// Every symbol the window names.
const QStringList kSymbols =
    QStringLiteral("arrow.triangle.2.circlepath.circle.fill envelope info.circle "
                   "exclamationmark.triangle.fill arrow.down.doc arrow.down.circle.fill "
                   "shippingbox.fill doc.badge.gearshape.fill doc.fill eye wand.and.stars "
                   "arrow.triangle.2.circlepath aspectratio trash checkmark.circle.fill film "
                   "folder doc.text.magnifyingglass xmark.circle.fill externaldrive")
        .split(QLatin1Char(' '));

/// The share of pixels with any coverage, and whether every fully covered pixel is `tint`
/// (edges are blended, so only those compare exactly).
std::pair<double, bool> coverage(const QPixmap &pixmap, const QColor &tint) {
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int covered = 0;
    bool tinted = true;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 0)
                continue;
            ++covered;
            if (qAlpha(pixel) == 255)
                tinted &= qRed(pixel) == tint.red() && qGreen(pixel) == tint.green() &&
                          qBlue(pixel) == tint.blue();
        }
    }
    return {double(covered) / (image.width() * image.height()), tinted};
}

TEST(SymbolImage, EverySymbolTheWindowNamesIsShippedAndDrawnInItsTint) {
    const QColor tint(0xAF, 0x52, 0xDE);
    // An unknown name is not shipped, yet still draws something.
    const QString unknown = QStringLiteral("no.such.symbol");
    for (const QString &name : kSymbols + QStringList{unknown}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(hasSymbol(name), name != unknown);
        const QPixmap pixmap = symbolPixmap(name, 24, tint, 2.0);
        EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(24, 24));
        const auto [share, tinted] = coverage(pixmap, tint);
        EXPECT_GT(share, 0.08);
        EXPECT_TRUE(tinted);
    }
}

TEST(SymbolImage, KnockOutsAreHoles) {
    // The check mark is cut out of the disc: the disc's centre line shows the background.
    const QImage image =
        symbolPixmap(QStringLiteral("checkmark.circle.fill"), 48, Qt::black, 1.0).toImage();
    EXPECT_EQ(qAlpha(image.pixel(20, 31)), 0);
    EXPECT_EQ(qAlpha(image.pixel(10, 24)), 255);
}

} // namespace
} // namespace tessaly::testing
