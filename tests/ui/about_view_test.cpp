#include "ui/about_view.h"
#include "ui/content_view.h"
#include "ui/push_button.h"
#include "widget_support.h"

#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace tessaly::testing {
namespace {

/// The About sheet as the window's About button opens it.
class AboutViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view = std::make_unique<ContentView>(std::make_shared<ScriptedChooser>());
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        openSheet();
    }

    void openSheet() {
        QTest::mouseClick(child<PushButton>(*view, "aboutButton"), Qt::LeftButton);
        sheet = view->findChild<AboutView *>();
        ASSERT_NE(sheet, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
        sheet->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
        close = child<PushButton>(*sheet, "closeButton");
    }

    std::unique_ptr<ContentView> view;
    QPointer<AboutView> sheet;
    PushButton *close = nullptr;
};

TEST_F(AboutViewTest, IsAWindowModalSheetThatCtrlEscapeClosesAndEscapeCancels) {
    EXPECT_TRUE(view->showAbout());
    EXPECT_EQ(sheet->size(), QSize(400, 400));
    EXPECT_EQ(sheet->minimumSize(), sheet->maximumSize());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    QStringList texts;
    const QList<QLabel *> labels = sheet->findChildren<QLabel *>();
    for (const QLabel *label : labels)
        texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Corvane: Tessaly")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Version 1.2")));
    EXPECT_TRUE(texts.join(QLatin1Char('\n')).contains(QStringLiteral("My Website")));

    EXPECT_EQ(close->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Escape));
    // Plain Escape is not the Close button's shortcut; it cancels the dialog, as Escape does
    // in every dialog of the desktop.
    const struct {
        Qt::KeyboardModifiers modifiers;
        int clicks;
        QDialog::DialogCode result;
    } cases[] = {
        {Qt::NoModifier, 0, QDialog::Rejected},
        {Qt::ControlModifier, 1, QDialog::Accepted},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.clicks ? "Ctrl+Escape" : "Escape");
        if (!sheet) // the sheet of the first key is gone; open it again
            openSheet();
        QSignalSpy clicked(close, &PushButton::clicked);
        QSignalSpy finished(sheet, &QDialog::finished);
        QTest::keyClick(sheet, Qt::Key_Escape, c.modifiers);
        QTest::qWait(300); // a shortcut clicks its button after a short press
        EXPECT_EQ(clicked.count(), c.clicks);
        ASSERT_EQ(finished.count(), 1);
        EXPECT_EQ(finished.front().front().toInt(), int(c.result));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !view->showAbout(); }, 2000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return sheet.isNull(); }, 2000));
    }
}

} // namespace
} // namespace tessaly::testing
