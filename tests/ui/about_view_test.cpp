#include "ui/about_view.h"
#include "ui/content_view.h"
#include "ui/push_button.h"
#include "widget_support.h"

#include <QLabel>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

namespace tessaly::testing {
namespace {

TEST(AboutView, IsAWindowModalSheetThatCtrlEscapeCloses) {
    ContentView view(std::make_shared<ScriptedChooser>());
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QTest::mouseClick(child<PushButton>(view, "aboutButton"), Qt::LeftButton);
    QPointer<AboutView> sheet = view.findChild<AboutView *>();
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    sheet->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    EXPECT_TRUE(view.showAbout());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    QStringList texts;
    const QList<QLabel *> labels = sheet->findChildren<QLabel *>();
    for (const QLabel *label : labels)
        texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Corvane: Tessaly")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Version 1.2")));
    EXPECT_TRUE(texts.join(QLatin1Char('\n')).contains(QStringLiteral("My Website")));

    // Ctrl+Escape is the Close button's shortcut; plain Escape is left to cancel the dialog, as
    // in every dialog of the desktop.
    QTest::keyClick(sheet, Qt::Key_Escape, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return sheet.isNull() && !view.showAbout(); }, 2000));
}

} // namespace
} // namespace tessaly::testing
