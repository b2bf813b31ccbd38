#include "ui/symbol_image.h"

#include <QImage>
#include <QStringList>

#include <gtest/gtest.h>

namespace tessaly::testing {
namespace {

const QStringList kSymbols = {
    QStringLiteral("arrow.triangle.2.circlepath.circle.fill"),
    QStringLiteral("envelope"),
    QStringLiteral("info.circle"),
    QStringLiteral("exclamationmark.triangle.fill"),
    QStringLiteral("arrow.down.doc"),
    QStringLiteral("arrow.down.circle.fill"),
    QStringLiteral("shippingbox.fill"),
    QStringLiteral("doc.badge.gearshape.fill"),
    QStringLiteral("doc.fill"),
    QStringLiteral("eye"),
    QStringLiteral("wand.and.stars"),
    QStringLiteral("arrow.triangle.2.circlepath"),
    QStringLiteral("aspectratio"),
    QStringLiteral("trash"),
    QStringLiteral("checkmark.circle.fill"),
    QStringLiteral("film"),
    QStringLiteral("folder"),
    QStringLiteral("doc.text.magnifyingglass"),
    QStringLiteral("xmark.circle.fill"),
    QStringLiteral("externaldrive"),
};

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
    for (const QString &name : kSymbols) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(hasSymbol(name));
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

TEST(SymbolImage, AnUnknownNameStillDrawsSomething) {
    EXPECT_FALSE(hasSymbol(QStringLiteral("no.such.symbol")));
    const auto [share, tinted] =
        coverage(symbolPixmap(QStringLiteral("no.such.symbol"), 24, Qt::red, 1.0), Qt::red);
    EXPECT_GT(share, 0.05);
    EXPECT_TRUE(tinted);
}

} // namespace
} // namespace tessaly::testing
