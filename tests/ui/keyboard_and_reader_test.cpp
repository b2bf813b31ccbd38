#include "ui/information_options.h"
#include "window_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <sstream>

namespace tessaly::testing {
namespace {

using KeyboardAndReaderTest = WindowTest;

/// What a screen reader is told about the widgets named `name`, one "role: name" each.
QStringList readOut(const QWidget &root, const char *name) {
    QStringList read;
    const QList<QWidget *> widgets = root.findChildren<QWidget *>(QString::fromLatin1(name));
    for (QWidget *widget : widgets) {
        QAccessibleInterface *element = QAccessible::queryAccessibleInterface(widget);
        if (!element) {
            read << QStringLiteral("none");
            continue;
        }
        read << QString::number(int(element->role())) + QStringLiteral(": ") +
                    element->text(QAccessible::Name);
    }
    return read;
}

QString as(QAccessible::Role role, const QString &name) {
    return QString::number(int(role)) + QStringLiteral(": ") + name;
}

// Every text is read as its whole text and every control by what it acts on, in each state of
// the window, however narrow the window has shortened the names.
TEST_F(KeyboardAndReaderTest, AScreenReaderHearsEveryNameInEveryState) {
    const QString folder = qt(temp.path());
    const auto text = [](const QString &name) { return as(QAccessible::StaticText, name); };
    const auto button = [](const char *name) {
        return as(QAccessible::Button, QString::fromUtf8(name));
    };
    const struct {
        Phase phase;
        const char *widget;
        QStringList heard;
    } cases[] = {
        {Phase::idle, "inputName", {text(QStringLiteral("Day1.fcpxml"))}},
        {Phase::idle, "inputFolder", {text(folder)}},
        {Phase::idle, "outputName", {text(QStringLiteral("Day1_braw.fcpxml"))}},
        {Phase::idle, "outputFolder", {text(folder)}},
        {Phase::idle, "changeInputButton", {button("Change Input…")}},
        {Phase::idle, "changeOutputButton", {button("Change Output…")}},
        // The sample's originals are on a drive this machine does not have.
        {Phase::dryRunComplete,
         "missingOriginal",
         {text(QStringLiteral("A001_C002.braw")), text(QStringLiteral("A001_C003.braw"))}},
        {Phase::dryRunComplete, "searchFolder", {text(qt(temp / "Day1"))}},
        {Phase::dryRunComplete, "locateOriginalsButton", {button("Locate Originals…")}},
        {Phase::dryRunComplete, "removeSearchFolderButton", {button("Remove search folder Day1")}},
        {Phase::done, "savedTo", {text(QStringLiteral("Saved to Day1_braw.fcpxml"))}},
        {Phase::done, "revealButton", {button(REVEAL_TITLE)}},
    };
    view->setFixedWidth(360); // every name is shortened on screen
    fs::create_directories(temp / "Day1");
    model().addSearchFolder(temp / "Day1");
    model().setInput(input);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.widget);
        if (model().phase() != c.phase) {
            c.phase == Phase::dryRunComplete ? model().runDryRun() : model().runApply();
            ASSERT_TRUE(settled());
            ASSERT_EQ(model().phase(), c.phase);
        }
        EXPECT_EQ(readOut(*view, c.widget), c.heard);
    }
}

// Keyboard alone: the focus follows the work to its next step, with a ring that shows on the
// filled button, and never rests where nothing shows it.
TEST_F(KeyboardAndReaderTest, FocusMovesToTheNextStepWithAVisibleRing) {
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    model().setInput(input);
    ASSERT_TRUE(settled());
    PushButton *preview = button("previewButton");
    preview->setFocus(Qt::TabFocusReason);
    QTest::keyClick(preview, Qt::Key_Space);
    ASSERT_TRUE(settled());
    PushButton *apply = button("applyButton");
    ASSERT_EQ(QApplication::focusWidget(), apply);
    EXPECT_TRUE(apply->showsFocusRing());
    const QImage ringed = apply->grab().toImage();
    apply->clearFocus();
    EXPECT_NE(apply->grab().toImage(), ringed) << "no ring is seen on the filled button";

    apply->setFocus(Qt::TabFocusReason);
    QTest::keyClick(apply, Qt::Key_Space);
    ASSERT_TRUE(settled());
    ASSERT_EQ(model().phase(), Phase::done);
    const auto *first = panel()->findChild<PushButton *>();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(QApplication::focusWidget(), first);
    EXPECT_TRUE(first->showsFocusRing());
}

TEST(InformationOptions, HelpAndVersionAreAnsweredBeforeAnyWindow) {
    const struct {
        std::vector<const char *> arguments;
        std::optional<int> status;
        const char *printed; // the start of what is printed
    } cases[] = {
        {{"Quorlan", "--help"}, 0, "Usage: Quorlan [OPTION]... [FILE]..."},
        {{"Quorlan", "Day1.fcpxml", "-h"}, 0, "Usage: Quorlan"},
        {{"Quorlan", "--version"}, 0, "Quorlan 1."},
        {{"Quorlan", "--", "--help"}, std::nullopt, ""},
        {{"Quorlan", "-platform", "offscreen", "Day1.fcpxml"}, std::nullopt, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.back());
        std::vector<char *> argv;
        for (const char *argument : c.arguments)
            argv.push_back(const_cast<char *>(argument));
        argv.push_back(nullptr);
        std::ostringstream out;
        EXPECT_EQ(answerInformationOptions(int(c.arguments.size()), argv.data(), out), c.status);
        EXPECT_EQ(out.str().rfind(c.printed, 0), 0u) << out.str();
    }
}

} // namespace
} // namespace tessaly::testing
