#include "ui/elided_label.h"
#include "ui/scene_window.h"
#include "ui/tessaly_app.h"
#include "ui/wrapping_label.h"
#include "window_fixture.h"

#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QUrl>

#include <algorithm>
#include <optional>

#include <gtest/gtest.h>

namespace tessaly::testing {
namespace {

using ContentViewTest = WindowTest;

TEST_F(ContentViewTest, TheEmptyDropZoneChoosesTheInputAndTheRowsFollowTheChosenFiles) {
    auto *name = child<ElidedLabel>(*view, "outputName");
    auto *folder = child<ElidedLabel>(*view, "outputFolder");
    EXPECT_FALSE(button("changeOutputButton")->isEnabled());
    EXPECT_EQ(name->text(), QStringLiteral("Auto-generated alongside input"));
    EXPECT_FALSE(folder->isVisible());

    // Only the empty drop zone opens the chooser; once loaded, its Change button does.
    auto *dropZone = child<DropZoneView>(*view, "dropZone");
    chooser->inputAnswer = input;
    QTest::mouseClick(dropZone, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_EQ(model().inputURL(), input);
    QTest::mouseClick(dropZone, Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_EQ(chooser->inputTitles.size(), 1u);
    click("changeInputButton");
    EXPECT_EQ(chooser->inputTitles.size(), 2u);
    EXPECT_EQ(child<ElidedLabel>(*view, "inputName")->text(), QStringLiteral("Day1.fcpxml"));
    EXPECT_EQ(name->text(), QStringLiteral("Day1_braw.fcpxml"));
    EXPECT_TRUE(folder->isVisible());
    EXPECT_EQ(folder->text(), qt(temp.path()));

    chooser->outputAnswer = temp / "Finals" / "Final.fcpxml";
    click("changeOutputButton");
    EXPECT_EQ(name->text(), QStringLiteral("Final.fcpxml"));
    EXPECT_EQ(folder->text(), qt(temp / "Finals"));
}

TEST_F(ContentViewTest, NoAltKeyOfAButtonTitlePressesAButton) {
    model().setInput(input);
    click("previewButton");
    ASSERT_TRUE(settled());
    ASSERT_TRUE(button("applyButton")->isEnabled());
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));

    const QList<PushButton *> buttons = view->findChildren<PushButton *>();
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (PushButton *button : buttons)
        spies.push_back(std::make_unique<QSignalSpy>(button, &PushButton::clicked));
    // Every key a keyboard types with Alt; "Relink & Save" holds the ampersand.
    for (const char key : std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZ&"))
        QTest::keyClick(view.get(), Qt::Key(key), Qt::AltModifier);
    QTest::qWait(300); // a mnemonic presses its button with a short animation

    for (std::size_t i = 0; i < spies.size(); ++i)
        EXPECT_EQ(spies[i]->count(), 0) << buttons[qsizetype(i)]->title().toStdString();
    EXPECT_EQ(model().phase(), Phase::dryRunComplete);
    EXPECT_FALSE(fs::exists(temp / "Day1_braw.fcpxml"));
}

TEST(SceneWindows, AWindowTallerThanTheScreenScrollsItsContent) {
    TempDir temp;
    const fs::path input = temp / "Day1.fcpxml";
    fs::copy_file(sampleDocument(), input);
    // A user who chose larger text than the test screen has room for.
    const QFont previousFont = QApplication::font();
    QFont large = previousFont;
    large.setPixelSize(22);
    QApplication::setFont(large);
    QPointer<SceneWindow> window = TessalyApp::openWindow(std::make_shared<ScriptedChooser>());
    QApplication::setFont(previousFont);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.data()));
    ContentView &content = window->content();
    content.viewModel().setInput(input);
    content.viewModel().runDryRun();
    ASSERT_TRUE(settle(content));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Day1.fcpxml"));

    // The preview's result, below the edge, has been brought into view.
    QTest::qWait(100);
    QWidget *result = child<RevealContainer>(content, "results")->panel();
    ASSERT_NE(result, nullptr);
    QWidget *viewport = window->scrollArea().viewport();
    EXPECT_TRUE(
        viewport->rect().intersects(QRect(result->mapTo(viewport, QPoint(0, 0)), result->size())));

    // The window's content is larger than the test screen.
    const QRect available = window->screen()->availableGeometry();
    ASSERT_GT(content.height(), available.height());
    EXPECT_LE(window->frameGeometry().height(), available.height());
    EXPECT_LE(window->frameGeometry().width(), available.width());
    EXPECT_EQ(content.size(), content.sizeHint()); // the content itself is not squeezed

    // Whatever is below the edge can be scrolled to.
    QScrollArea &scroller = window->scrollArea();
    EXPECT_TRUE(scroller.verticalScrollBar()->isVisible());
    auto *apply = child<PushButton>(content, "applyButton");
    scroller.ensureWidgetVisible(apply);
    const QRect shown(apply->mapTo(scroller.viewport(), QPoint(0, 0)), apply->size());
    EXPECT_TRUE(scroller.viewport()->rect().contains(shown));
    window->close();
}

TEST(SceneWindows, FilesNamedAtStartOpenAWindowEach) {
    TempDir temp;
    const fs::path document = temp / "Reel_04_Night" / "Day1.fcpxml";
    writeFile(document, readFile(sampleDocument()));
    fs::create_directories(temp / "Day2.fcpxmld");
    // Saved under another name, an export is still known by its first tag.
    writeFile(temp / "Day1 export", readFile(sampleDocument()));
    writeFile(temp / "notes.xml", "<?xml version=\"1.0\"?>\n<fcpxmlnotes/>\n");
    const struct {
        QString argument;
        std::optional<fs::path> input;
        const char *refusal; // why the file is not opened, when it is not
    } cases[] = {
        {qt(document), document, nullptr},
        {QUrl::fromLocalFile(qt(temp / "Day2.fcpxmld")).toString() + QLatin1Char('/'),
         temp / "Day2.fcpxmld", nullptr},
        {qt(temp / "Day9.fcpxml"), std::nullopt, "there is no such file or folder."},
        {qt(temp / "Day1 export"), temp / "Day1 export", nullptr},
        {qt(temp / "notes.xml"), std::nullopt,
         "Tessaly opens Final Cut Pro XML exports, .fcpxml documents and .fcpxmld bundles."},
    };
    QStringList arguments{QStringLiteral("--no-such-option")};
    for (const auto &c : cases)
        arguments << c.argument;
    const std::vector<SceneWindow *> windows =
        TessalyApp::openFiles(arguments, std::make_shared<ScriptedChooser>());
    ASSERT_EQ(windows.size(), std::size(cases));
    // Each file is examined in a job, off the GUI thread.
    const auto answered = [](SceneWindow *window) {
        const RelinkViewModel &model = window->content().viewModel();
        return model.inputURL() || model.phase() == RelinkViewModel::AppPhase::error;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::ranges::all_of(windows, answered); }, 20000));
    QTest::qWait(50); // the panels, built once per change
    for (std::size_t i = 0; i < windows.size(); ++i) {
        SCOPED_TRACE(cases[i].argument.toStdString());
        ContentView &content = windows[i]->content();
        EXPECT_TRUE(windows[i]->isVisible());
        EXPECT_EQ(content.viewModel().inputURL(), cases[i].input);
        QWidget *panel = child<RevealContainer>(content, "results")->panel();
        if (!cases[i].refusal) {
            EXPECT_EQ(panel, nullptr);
            continue;
        }
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->objectName(), QStringLiteral("errorBanner"));
        EXPECT_EQ(child<WrappingLabel>(*panel, "errorMessage")->text(),
                  QStringLiteral("Cannot open “") + cases[i].argument + QStringLiteral("”: ") +
                      QString::fromUtf8(cases[i].refusal));
    }
    for (SceneWindow *window : windows)
        window->close();

    // After "--", a name that looks like an option is a file, found from the working folder.
    writeFile(temp / "-v.fcpxml", readFile(sampleDocument()));
    const QString workingFolder = QDir::currentPath();
    QDir::setCurrent(qt(temp.path()));
    const std::vector<SceneWindow *> dashed = TessalyApp::openFiles(
        {QStringLiteral("-v"), QStringLiteral("--"), QStringLiteral("-v.fcpxml")});
    QDir::setCurrent(workingFolder);
    ASSERT_EQ(dashed.size(), 1u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return answered(dashed[0]); }, 20000));
    EXPECT_EQ(dashed[0]->content().viewModel().inputURL(), temp / "-v.fcpxml");
    dashed[0]->close();
}

} // namespace
} // namespace tessaly::testing
