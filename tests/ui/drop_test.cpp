#include "window_fixture.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

namespace tessaly::testing {
namespace {

/// Drags and drops sent to the drop zone of a shown window.
class DropTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        dropZone = child<DropZoneView>(*view, "dropZone");
    }

    static std::unique_ptr<QMimeData> files(const QList<QUrl> &urls) {
        auto data = std::make_unique<QMimeData>();
        data->setUrls(urls);
        return data;
    }

    QUrl file(const char *name) const { return QUrl::fromLocalFile(qt(temp / name)); }

    /// Sends a drag entering the zone that offers `actions`; the action the zone took, or
    /// Qt::IgnoreAction when it refused the drag.
    Qt::DropAction enter(const QMimeData &data, Qt::DropActions actions = Qt::CopyAction,
                         Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QDragEnterEvent event(QPoint(10, 10), actions, &data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(dropZone, &event);
        return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
    }

    /// Sends a drop to the zone, after the drag entering it as a drag always arrives; the
    /// action the zone took, or Qt::IgnoreAction. The hand-over waits for the event loop.
    Qt::DropAction drop(const QMimeData &data, Qt::DropActions actions = Qt::CopyAction,
                        Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        enter(data, actions, modifiers);
        QDropEvent event(QPointF(10, 10), actions, &data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(dropZone, &event);
        return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
    }

    DropZoneView *dropZone = nullptr;
};

TEST_F(DropTest, OnlyAFirstLocalFileNamedAsAnExportIsTaken) {
    fs::create_directories(temp / "Day2.fcpxmld");
    fs::create_directories(temp / "Reel_04_Night");
    // A folder dragged from a file manager comes with a trailing separator.
    const auto folder = [&](const char *name) {
        return QUrl::fromLocalFile(qt(temp / name) + QLatin1Char('/'));
    };
    const struct {
        QList<QUrl> urls;
        const char *taken; // the input after the drop, or none when refused
    } cases[] = {
        {{file("Day1.fcpxml")}, "Day1.fcpxml"},
        {{file("Day2.fcpxmld")}, "Day2.fcpxmld"},
        {{folder("Day2.fcpxmld")}, "Day2.fcpxmld"},
        {{file("Bundle.FcpXmlD")}, "Bundle.FcpXmlD"},
        {{file("Day1.fcpxml"), file("Day2.fcpxml")}, "Day1.fcpxml"},
        {{file("A001_C002.mov")}, nullptr},
        {{file("Day1.fcpxml.bak")}, nullptr},
        {{folder("Reel_04_Night")}, nullptr},
        // A refused first file is not replaced by an acceptable second one.
        {{file("A.mov"), file("Day3.fcpxml")}, nullptr},
        {{QUrl(QStringLiteral("https://example.com/Day1.fcpxml"))}, nullptr},
    };
    auto *message = child<QLabel>(*dropZone, "emptyMessage");
    const QString emptyMessage = QStringLiteral("Drop .fcpxml or .fcpxmld here");
    const fs::path earlier = temp / "Earlier.fcpxml";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.urls.front().toString().toStdString());
        model().setInput(earlier);
        auto data = files(c.urls);
        EXPECT_EQ(enter(*data), c.taken ? Qt::CopyAction : Qt::IgnoreAction);
        EXPECT_EQ(view->isTargeted(), c.taken != nullptr);
        // A refused file is refused while it hovers, without a word.
        EXPECT_EQ(message->text(), c.taken ? QStringLiteral("Release to load") : emptyMessage);
        // Dropped all the same (a platform may deliver it), a refused file is ignored.
        drop(*data);
        EXPECT_FALSE(view->isTargeted());
        EXPECT_EQ(model().inputURL(), earlier);
        QTest::qWait(20);
        EXPECT_EQ(model().inputURL(), c.taken ? temp / c.taken : earlier);
    }
    // Leaving takes the target look away again.
    EXPECT_EQ(enter(*files({file("Day1.fcpxml")})), Qt::CopyAction);
    QDragLeaveEvent leave;
    QApplication::sendEvent(dropZone, &leave);
    EXPECT_FALSE(view->isTargeted());
    EXPECT_EQ(message->text(), emptyMessage);
}

// The drop only reads the file. A file manager that offers a move as well must be told it was
// a copy, or it deletes the user's export; one that offers only a move is refused.
TEST_F(DropTest, ADropIsTakenAsACopyNeverAsAMove) {
    auto data = files({file("Day1.fcpxml")});
    const Qt::DropActions copyOrMove = Qt::CopyAction | Qt::MoveAction;
    EXPECT_EQ(enter(*data, copyOrMove, Qt::ShiftModifier), Qt::CopyAction);
    EXPECT_EQ(drop(*data, copyOrMove, Qt::ShiftModifier), Qt::CopyAction);
    EXPECT_EQ(enter(*data, Qt::MoveAction), Qt::IgnoreAction);
    EXPECT_EQ(drop(*data, Qt::MoveAction), Qt::IgnoreAction);
}

TEST_F(DropTest, NoDropChangesTheInputWhileARunGoes) {
    model().setInput(input);
    model().runDryRun();
    ASSERT_TRUE(model().isRunning());
    auto data = files({file("Day2.fcpxml")});
    EXPECT_EQ(enter(*data), Qt::IgnoreAction);
    EXPECT_FALSE(view->isTargeted());
    EXPECT_EQ(drop(*data), Qt::IgnoreAction);
    QTest::qWait(20);
    EXPECT_EQ(model().inputURL(), input);

    ASSERT_TRUE(QTest::qWaitFor([&] { return !model().isRunning(); }, 20000));
}

} // namespace
} // namespace tessaly::testing
