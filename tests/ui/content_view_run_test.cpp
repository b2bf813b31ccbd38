#include "ui/elided_label.h"
#include "ui/tinted_label.h"
#include "window_fixture.h"

#include <QApplication>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace tessaly::testing {
namespace {

/// Runs through the real buttons on documents in a temporary folder.
using ContentViewRunTest = WindowTest;

TEST_F(ContentViewRunTest, PreviewThenApplyThroughTheButtons) {
    model().setInput(input);
    const std::string original = readFile(input);
    ASSERT_TRUE(settled());

    click("previewButton");
    // The run has started; its outcome arrives only through the event loop.
    EXPECT_TRUE(model().isRunning());
    EXPECT_EQ(actions(), "preview prominent busy disabled, apply bordered disabled");

    ASSERT_TRUE(settled());
    ASSERT_EQ(model().phase(), Phase::dryRunComplete);
    EXPECT_EQ(actions(), "preview bordered disabled, apply prominent");
    ASSERT_NE(panel(), nullptr);
    EXPECT_EQ(panel()->objectName(), QStringLiteral("dryRunResults"));
    EXPECT_EQ(panelTexts("badgeLabel"),
              (QStringList{QStringLiteral("Refs updated"), QStringLiteral("Formats updated"),
                           QStringLiteral("Orphans removed"), QStringLiteral("Originals found")}));
    EXPECT_FALSE(fs::exists(temp / "Day1_braw.fcpxml")); // a preview writes nothing

    click("applyButton");
    EXPECT_EQ(actions(), "preview bordered disabled, apply prominent busy disabled");
    // The preview's outcome stays on screen until the apply's arrives.
    EXPECT_EQ(panel()->objectName(), QStringLiteral("dryRunResults"));

    ASSERT_TRUE(settled());
    ASSERT_EQ(model().phase(), Phase::done);
    EXPECT_EQ(actions(), "preview prominent disabled, apply bordered disabled");
    ASSERT_EQ(panel()->objectName(), QStringLiteral("successBanner"));
    EXPECT_EQ(child<ElidedLabel>(*panel(), "savedTo")->text(),
              QStringLiteral("Saved to Day1_braw.fcpxml"));
    EXPECT_NE(panel()->findChild<PushButton *>(QStringLiteral("openLogButton")), nullptr);
    EXPECT_EQ(panelTexts("badgeLabel"),
              (QStringList{QStringLiteral("Clip sources"), QStringLiteral("Format elements"),
                           QStringLiteral("Originals found")}));
    // The sample's originals are on a drive this machine does not have, and its project keeps
    // the proxies' format, which therefore stays.
    EXPECT_EQ(panelTexts("badgeValue"),
              (QStringList{QStringLiteral("2"), QStringLiteral("0"), QStringLiteral("0 / 2")}));

    EXPECT_TRUE(fs::exists(temp / "Day1_braw.fcpxml"));
    EXPECT_EQ(readFile(input), original); // the input is never written

    // Another output chosen now is for the next run: the banner names the file written.
    chooser->outputAnswer = temp / "Elsewhere.fcpxml";
    model().selectOutput();
    ASSERT_TRUE(settled());
    EXPECT_EQ(child<ElidedLabel>(*panel(), "savedTo")->text(),
              QStringLiteral("Saved to Day1_braw.fcpxml"));

    // A new input returns to the start: no panel, Preview enabled.
    model().setInput(input);
    ASSERT_TRUE(settled());
    EXPECT_EQ(panel(), nullptr);
    EXPECT_TRUE(button("previewButton")->isEnabled());
}

TEST_F(ContentViewRunTest, AnErrorIsShownWholeWrappedAndSelectableInsideTheCard) {
    // The engine names the missing file, so a long name makes a long one-line message.
    model().setInput(temp / (std::string(300, 'x') + ".fcpxml"));
    ASSERT_TRUE(settled());
    click("previewButton");
    ASSERT_TRUE(settled());
    ASSERT_EQ(model().phase(), Phase::error);
    ASSERT_EQ(panel()->objectName(), QStringLiteral("errorBanner"));
    auto *message = child<QLabel>(*panel(), "errorMessage");
    EXPECT_EQ(message->text(), model().errorMessage());
    EXPECT_EQ(message->textFormat(), Qt::PlainText);
    EXPECT_TRUE(message->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_GE(message->height(), 3 * message->fontMetrics().lineSpacing());
    EXPECT_LE(message->mapTo(view.get(), QPoint(message->width(), 0)).x(), view->width());
    // After an error, Preview is the prominent action again.
    EXPECT_EQ(actions(), "preview prominent, apply bordered disabled");
}

TEST_F(ContentViewRunTest, MissingOriginalsAreNamedAndAnApplyWithoutItsChangeLogIsDone) {
    // The first name is longer than the window is wide.
    const std::string longStem = "Harbour_Night_" + std::string(200, 'x') + "_Take_03";
    writeFile(temp / "Found_A.braw", "");
    const fs::path document = temp / "Day2.fcpxml";
    writeFile(document,
              proxiesIn(temp.path(), {longStem, "Found_A", "Gone_C", "Gone_D", "Gone_E"}));
    // Where the change log of the output would go stands a folder with content.
    writeFile(temp / "Day2_braw.relink.log" / "notes.txt", "");
    model().setInput(document);
    ASSERT_TRUE(settled());
    const int width = view->width();
    click("previewButton");
    ASSERT_TRUE(settled());
    ASSERT_EQ(model().phase(), Phase::dryRunComplete);

    // The first three missing are named in order, and how many more there are.
    EXPECT_EQ(panel()->findChild<QWidget *>(QStringLiteral("readyRow")), nullptr);
    auto *warning = child<QWidget>(*panel(), "missingOriginals");
    const QList<ElidedLabel *> files =
        warning->findChildren<ElidedLabel *>(QStringLiteral("missingOriginal"));
    QStringList shown;
    for (const ElidedLabel *file : files)
        shown << file->text();
    EXPECT_EQ(shown, (QStringList{QString::fromStdString(longStem + ".braw"),
                                  QStringLiteral("Gone_C.braw"), QStringLiteral("Gone_D.braw")}));
    EXPECT_EQ(child<QLabel>(*warning, "moreMissing")->text(), QStringLiteral("and 1 more"));
    // The long name is shortened in its middle, on one line, and the window keeps its width.
    EXPECT_TRUE(files[0]->shownText().contains(QChar(0x2026)));
    EXPECT_TRUE(files[0]->shownText().endsWith(QStringLiteral("_Take_03.braw")));
    EXPECT_EQ(view->width(), width);

    // A drive may simply not be connected: the apply is the user's call. The document is
    // written even where its change log cannot be, so the apply is done.
    click("applyButton");
    ASSERT_TRUE(settled());
    ASSERT_EQ(model().phase(), Phase::done);
    ASSERT_EQ(panel()->objectName(), QStringLiteral("successBanner"));
    auto *badge = child<QWidget>(*panel(), "originalsBadge");
    EXPECT_EQ(child<QLabel>(*badge, "badgeValue")->text(), QStringLiteral("1 / 5"));
    EXPECT_EQ(child<TintedLabel>(*badge, "badgeValue")->tint(), Tint::orange);
    ASSERT_TRUE(model().logError());
    EXPECT_EQ(panel()->findChild<PushButton *>(QStringLiteral("openLogButton")), nullptr);
    EXPECT_EQ(child<QLabel>(*panel(), "logError")->text(), *model().logError());
}

// Keyboard alone: Locate Originals… adds a folder and previews again at once; the card lists
// the folder with its Remove, the originals it made ambiguous with their candidates, and,
// once removed, offers the folder again among the recent ones.
TEST_F(ContentViewRunTest, LocatedOriginalsAreSearchedListedRemovedAndOfferedAgain) {
    const fs::path raid = temp / "RAID";
    writeFile(temp / "Found_A.braw", "");
    writeFile(raid / "Far_E.braw", "");
    writeFile(raid / "a" / "Twin_D.braw", "");
    writeFile(raid / "b" / "Twin_D.braw", "");
    const fs::path document = temp / "Day2.fcpxml";
    writeFile(document, proxiesIn(temp.path(), {"Found_A", "Gone_C", "Twin_D", "Far_E"}));
    model().setInput(document);
    click("previewButton");
    ASSERT_TRUE(settled());
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    const auto press = [&](const char *name, const QString &accessibleName = {}) {
        PushButton *target = button(name);
        for (PushButton *b : panel()->findChildren<PushButton *>(QString::fromLatin1(name)))
            target = b->accessibleName() == accessibleName ? b : target;
        target->setFocus(Qt::TabFocusReason);
        QTest::keyClick(target, Qt::Key_Space);
        return settled();
    };
    const auto labels = [&](const char *name) {
        QStringList texts;
        for (const ElidedLabel *label :
             panel()->findChildren<ElidedLabel *>(QString::fromLatin1(name)))
            texts << label->text();
        return texts;
    };
    const auto found = [&] {
        return child<QLabel>(*child<QWidget>(*panel(), "originalsBadge"), "badgeValue")->text();
    };

    chooser->folderAnswer = raid;
    ASSERT_TRUE(press("locateOriginalsButton"));
    EXPECT_EQ(model().searchFolders(), std::vector{raid});
    EXPECT_EQ(found(), QStringLiteral("2 / 4")) << "an ambiguous original is not found";
    EXPECT_EQ(labels("missingOriginal"), QStringList{QStringLiteral("Gone_C.braw")});
    EXPECT_EQ(labels("ambiguousOriginal"), QStringList{QStringLiteral("Twin_D.braw (2 files)")});
    EXPECT_EQ(labels("ambiguousCandidate"),
              (QStringList{qt(raid / "a" / "Twin_D.braw"), qt(raid / "b" / "Twin_D.braw")}));
    EXPECT_EQ(labels("searchFolder"), QStringList{qt(raid)});
    EXPECT_EQ(QApplication::focusWidget(), button("locateOriginalsButton"));

    ASSERT_TRUE(press("removeSearchFolderButton", QStringLiteral("Remove search folder RAID")));
    EXPECT_TRUE(model().searchFolders().empty());
    EXPECT_EQ(found(), QStringLiteral("1 / 4"));
    EXPECT_TRUE(labels("searchFolder").isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), button("locateOriginalsButton"));

    auto *menu = child<QMenu>(*button("recentFoldersButton"), "recentFoldersMenu");
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions().front()->toolTip(), qt(raid));
    menu->actions().front()->trigger();
    ASSERT_TRUE(settled());
    EXPECT_EQ(model().searchFolders(), std::vector{raid});
    EXPECT_EQ(found(), QStringLiteral("2 / 4"));
}

} // namespace
} // namespace tessaly::testing
