#include "ui/symbol_image.h"

#include <QImage>

#include <gtest/gtest.h>

namespace tessaly::testing {
namespace {

TEST(SymbolImage, KnockOutsAreHoles) {
    // The check mark is cut out of the disc: the disc's centre line shows the background.
    const QImage image =
        symbolPixmap(QStringLiteral("checkmark.circle.fill"), 48, Qt::black, 1.0).toImage();
    EXPECT_EQ(qAlpha(image.pixel(20, 31)), 0);
    EXPECT_EQ(qAlpha(image.pixel(10, 24)), 255);
}

} // namespace
} // namespace tessaly::testing
