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

TEST(SymbolImage, EverySymbolTheWindowNamesIsShippedAndNeverBlank) {
    for (const QString &name : kSymbols) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(hasSymbol(name));
        const QPixmap pixmap = symbolPixmap(name, 24, Qt::black, 2.0);
        EXPECT_EQ(pixmap.deviceIndependentSize(), QSizeF(24, 24));
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        int covered = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                covered += qAlpha(image.pixel(x, y)) > 0;
        }
        EXPECT_GT(covered, image.width() * image.height() / 12);
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
