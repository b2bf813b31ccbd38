#include "ui/theme.h"

#include <QString>

#include <gtest/gtest.h>

namespace tessaly::testing {
namespace {

TEST(Emphasized, PairedMarkersMakeBoldAndAnUnpairedOneStaysAsWritten) {
    const struct {
        const char *markdown;
        const char *html;
    } cases[] = {
        {"Hit **Relink & Save** to apply.", "Hit <b>Relink &amp; Save</b> to apply."},
        {"**a** b **c", "<b>a</b> b **c"},
        {"ends with **", "ends with **"},
        {"line\nnext", "line<br>next"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.markdown);
        EXPECT_EQ(emphasized(QString::fromUtf8(c.markdown)), QString::fromUtf8(c.html));
    }
}

} // namespace
} // namespace tessaly::testing
