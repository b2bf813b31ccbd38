#include "ui/fcpxml_drop_delegate.h"
#include "ui/symbol_view.h"
#include "ui/theme.h"
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

    /// Sends a drag entering the zone; whether it was accepted.
    bool enter(const QMimeData &data) {
        QDragEnterEvent event(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(dropZone, &event);
        return event.isAccepted();
    }

    /// Sends a drag entering the zone and its drop there, as a drag always arrives, and lets
    /// the hand-over run; whether the drop was accepted.
    bool drop(const QMimeData &data) {
        enter(data);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(dropZone, &event);
        QTest::qWait(20);
        return event.isAccepted();
    }

    std::optional<fs::path> inputAfterDrop(const QList<QUrl> &urls) {
        drop(*files(urls));
        return model().inputURL();
    }

    DropZoneView *dropZone = nullptr;
};

TEST_F(DropTest, DocumentsAndBundlesAreAcceptedInAnyCase) {
    fs::create_directories(temp / "Day2.fcpxmld");
    const struct {
        QUrl url;
        fs::path input;
        const char *symbol;
    } cases[] = {
        {file("Day1.fcpxml"), temp / "Day1.fcpxml", "doc.badge.gearshape.fill"},
        {file("Project.FCPXML"), temp / "Project.FCPXML", "doc.badge.gearshape.fill"},
        {file("Day2.fcpxmld"), temp / "Day2.fcpxmld", "shippingbox.fill"},
        // A folder dragged from a file manager comes with a trailing separator.
        {QUrl::fromLocalFile(qt(temp / "Day2.fcpxmld") + QLatin1Char('/')), temp / "Day2.fcpxmld",
         "shippingbox.fill"},
        {file("Bundle.FcpXmlD"), temp / "Bundle.FcpXmlD", "shippingbox.fill"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.url.toString().toStdString());
        EXPECT_EQ(inputAfterDrop({c.url}), c.input);
        EXPECT_EQ(child<SymbolView>(*dropZone, "loadedSymbol")->symbol(),
                  QString::fromLatin1(c.symbol));
        EXPECT_FALSE(view->isTargeted());
    }
}

TEST_F(DropTest, TheHandOverWaitsForTheEventLoop) {
    auto data = files({file("Day1.fcpxml")});
    enter(*data);
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dropZone, &event);
    EXPECT_TRUE(event.isAccepted());
    EXPECT_FALSE(model().inputURL());
    QTest::qWait(20);
    EXPECT_EQ(model().inputURL(), temp / "Day1.fcpxml");
}

TEST_F(DropTest, OtherFilesAreRefusedWhileTheyHover) {
    fs::create_directories(temp / "Reel_04_Night");
    const QUrl refused[] = {file("A001_C002.mov"),
                            file("notes.txt"),
                            file("Day1.fcpxml.bak"),
                            file("fcpxml"),
                            file("Day1.xml"),
                            file("Reel_04_Night"),
                            QUrl::fromLocalFile(qt(temp / "Reel_04_Night") + QLatin1Char('/'))};
    auto *message = child<QLabel>(*dropZone, "emptyMessage");
    for (const QUrl &url : refused) {
        SCOPED_TRACE(url.toString().toStdString());
        auto data = files({url});
        EXPECT_FALSE(enter(*data));
        EXPECT_FALSE(view->isTargeted());
        EXPECT_EQ(message->text(), QStringLiteral("Drop .fcpxml or .fcpxmld here"));
        // Dropped all the same (a platform may deliver it), it is ignored without a word.
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, data.get(), Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(dropZone, &event);
        QTest::qWait(20);
        EXPECT_FALSE(model().inputURL());
        EXPECT_EQ(model().phase(), Phase::idle);
    }
}

TEST_F(DropTest, NoDropChangesTheInputWhileARunGoes) {
    model().setInput(input);
    model().runDryRun();
    ASSERT_TRUE(model().isRunning());
    auto data = files({file("Day2.fcpxml")});
    EXPECT_FALSE(enter(*data));
    EXPECT_FALSE(view->isTargeted());
    EXPECT_FALSE(drop(*data));
    EXPECT_EQ(model().inputURL(), input);

    ASSERT_TRUE(QTest::qWaitFor([&] { return !model().isRunning(); }, 20000));
    EXPECT_EQ(model().phase(), Phase::dryRunComplete);
    EXPECT_TRUE(drop(*data));
    EXPECT_EQ(model().inputURL(), temp / "Day2.fcpxml");
}

TEST_F(DropTest, OnlyTheFirstFileOfSeveralCounts) {
    EXPECT_EQ(inputAfterDrop({file("Day1.fcpxml"), file("Day2.fcpxml")}), temp / "Day1.fcpxml");
    // A refused first file is not replaced by an acceptable second one.
    EXPECT_EQ(inputAfterDrop({file("A.mov"), file("Day3.fcpxml")}), temp / "Day1.fcpxml");
}

TEST_F(DropTest, DragsWithoutLocalFilesAreNotTaken) {
    QMimeData text;
    text.setText(QStringLiteral("/tmp/Day1.fcpxml"));
    EXPECT_FALSE(enter(text));
    EXPECT_FALSE(view->isTargeted());
    EXPECT_FALSE(drop(text));

    auto web = files({QUrl(QStringLiteral("https://example.com/Day1.fcpxml"))});
    EXPECT_FALSE(enter(*web));
    EXPECT_FALSE(drop(*web));
    EXPECT_FALSE(model().inputURL());

    FCPXMLDropDelegate delegate(view.get(), [](const fs::path &) { FAIL() << "handed over"; });
    EXPECT_FALSE(delegate.validateDrop(*web));
    EXPECT_FALSE(delegate.performDrop(*web));
    QTest::qWait(20);
}

TEST_F(DropTest, HoveringSwitchesTheEmptyZoneToItsTargetLookAndBack) {
    auto *symbol = child<SymbolView>(*dropZone, "emptySymbol");
    auto *message = child<QLabel>(*dropZone, "emptyMessage");
    EXPECT_EQ(symbol->symbol(), QStringLiteral("arrow.down.doc"));
    EXPECT_EQ(message->text(), QStringLiteral("Drop .fcpxml or .fcpxmld here"));
    EXPECT_EQ(symbol->tint(), Tint::secondary);

    auto data = files({file("Day1.fcpxml")});
    EXPECT_TRUE(enter(*data));
    EXPECT_TRUE(view->isTargeted());
    EXPECT_TRUE(dropZone->isTargeted());
    EXPECT_EQ(symbol->symbol(), QStringLiteral("arrow.down.circle.fill"));
    EXPECT_EQ(symbol->tint(), Tint::accent);
    EXPECT_EQ(message->text(), QStringLiteral("Release to load"));

    QDragLeaveEvent leave;
    QApplication::sendEvent(dropZone, &leave);
    EXPECT_FALSE(view->isTargeted());
    EXPECT_EQ(symbol->symbol(), QStringLiteral("arrow.down.doc"));
    EXPECT_EQ(message->text(), QStringLiteral("Drop .fcpxml or .fcpxmld here"));
}

} // namespace
} // namespace tessaly::testing
