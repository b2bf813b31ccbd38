#include "ui/about_view.h"
#include "ui/elided_label.h"
#include "ui/screenshots/sample_palettes.h"
#include "ui/theme.h"
#include "window_fixture.h"

#include <QApplication>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace tessaly::testing {
namespace {

/// The colour most pixels of `area` in `image` have.
QColor commonestColour(const QImage &image, const QRect &area) {
    QHash<QRgb, int> counts;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++counts[image.pixel(x, y)];
    }
    const auto commonest = std::max_element(counts.cbegin(), counts.cend());
    return QColor::fromRgb(commonest == counts.cend() ? 0 : commonest.key());
}

/// One text as the user sees it: the widget showing it, what it says and the colour it is
/// drawn in.
struct ShownText {
    QWidget *widget;
    QString text;
    QColor color;
};

/// Every text shown inside `root`, as rendered now.
QList<ShownText> shownTexts(QWidget &root) {
    QList<ShownText> texts;
    const auto add = [&](QWidget *widget, const QString &text, const QColor &color) {
        if (!text.isEmpty() && widget->isVisibleTo(&root) && widget->width() > 0)
            texts << ShownText{widget, text, color};
    };
    const QList<QLabel *> labels = root.findChildren<QLabel *>();
    for (QLabel *label : labels)
        add(label, label->text(),
            label->palette().color(QPalette::Active, label->foregroundRole()));
    const QList<ElidedLabel *> elided = root.findChildren<ElidedLabel *>();
    for (ElidedLabel *label : elided)
        add(label, label->shownText(), label->color());
    const QList<PushButton *> buttons = root.findChildren<PushButton *>();
    for (PushButton *button : buttons) {
        // A disabled control is exempt; that it looks disabled is checked on its own.
        if (button->isEnabled())
            add(button, button->title(), button->titleColor());
    }
    return texts;
}

/// Checks every text against the colour most of its rectangle shows on screen, which is what
/// it is drawn on.
void expectReadable(QWidget &root, const std::string &where) {
    const QImage image = root.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QList<ShownText> texts = shownTexts(root);
    EXPECT_GT(texts.size(), 5) << where;
    for (const ShownText &shown : texts) {
        const QColor background = commonestColour(
            image, QRect(shown.widget->mapTo(&root, QPoint(0, 0)), shown.widget->size()));
        EXPECT_GE(contrastRatio(composite(shown.color, background), background),
                  kMinimumTextContrast)
            << where << ": \"" << shown.text.toStdString() << "\" "
            << shown.color.name().toStdString() << " on " << background.name().toStdString();
    }
}

/// The lowest pixel row, counted from the bottom edge of `widget`, that its text inks when
/// rendered alone at `ratio`: 0 when the ink reaches the edge, where it may be cut off.
int clearRowsBelowInk(QWidget &widget, qreal ratio) {
    QImage image(widget.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    for (int y = image.height() - 1; y >= 0; --y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0)
                return image.height() - 1 - y;
        }
    }
    return image.height();
}

/// Windows in every state that paints differently, in the light and the dark palette.
class AppearanceTest : public ::testing::Test {
protected:
    void TearDown() override { QApplication::setPalette(previousPalette); }

    std::unique_ptr<ContentView> newView() const {
        auto view = std::make_unique<ContentView>(std::make_shared<ScriptedChooser>());
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        return view;
    }

    TempDir temp;
    const fs::path folder = temp / "Reel_04_Night";
    const fs::path input = folder / "Day_01_Scene_12_Take_3.fcpxml";
    // The application palette, restored after every test that changes it.
    const QPalette previousPalette = QApplication::palette();
};

TEST_F(AppearanceTest, EveryTextIsReadableAndUnderscoredInBothPalettesAndAfterASwitch) {
    writeFile(input, readFile(sampleDocument()));
    // Every camera original on disk, so the run finds them all.
    const fs::path onDisk = folder / "Day_02.fcpxml";
    writeFile(onDisk, proxiesIn(temp / "Media", {"A001_C001"}));
    writeFile(temp / "Media" / "A001_C001.braw", "");
    // A folder stands where the change log of this input's output would go.
    const fs::path unlogged = folder / "Day_04.fcpxml";
    writeFile(unlogged, readFile(sampleDocument()));
    writeFile(folder / "Day_04_braw.relink.log" / "notes.txt", "");

    // How far each state goes: an input set, then previewed, then applied.
    enum Step { none, load, preview, apply };
    const struct {
        const char *name;
        fs::path input;
        Step upTo;
    } states[] = {
        {"empty", {}, none},
        {"loaded", input, load},
        {"preview", input, preview},
        {"preview, originals on disk", onDisk, preview},
        {"applied", input, apply},
        {"applied, no change log", unlogged, apply},
        {"error", folder / "Missing.fcpxml", preview},
    };
    const struct {
        const char *name;
        QPalette palette;
        QPalette switched;
    } palettes[] = {
        {"light", samples::lightPalette(), samples::darkPalette()},
        {"dark", samples::darkPalette(), samples::lightPalette()},
    };
    for (const auto &p : palettes) {
        for (const auto &state : states) {
            const std::string where = std::string(p.name) + ", " + state.name;
            SCOPED_TRACE(where);
            QApplication::setPalette(p.palette);
            auto view = newView();
            RelinkViewModel &model = view->viewModel();
            if (state.upTo >= load)
                model.setInput(state.input);
            // The other palette's window wrote it before; an apply never replaces a document.
            if (state.upTo == apply)
                fs::remove(*model.outputURL());
            if (state.upTo >= preview) {
                model.runDryRun();
                ASSERT_TRUE(settle(*view));
            }
            if (state.upTo == apply)
                model.runApply();
            ASSERT_TRUE(settle(*view));
            expectReadable(*view, where);
            const QList<ShownText> texts = shownTexts(*view);
            for (const ShownText &shown : texts) {
                if (!shown.text.contains(QLatin1Char('_')))
                    continue;
                for (const qreal ratio : {1.0, 2.0}) {
                    EXPECT_GT(clearRowsBelowInk(*shown.widget, ratio), 0)
                        << shown.text.toStdString() << " at " << ratio << "x";
                }
            }
            // The desktop switches while the window is open.
            QApplication::setPalette(p.switched);
            QTest::qWait(20);
            expectReadable(*view, where + ", switched");
        }
        QApplication::setPalette(p.palette);
        auto view = newView();
        AboutView about(view.get());
        about.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
        expectReadable(about, std::string(p.name) + ", about");
    }
}

// In the dark palette it once kept near-white text.
TEST_F(AppearanceTest, ADisabledProminentButtonLooksDisabled) {
    writeFile(input, readFile(sampleDocument()));
    QApplication::setPalette(samples::darkPalette());
    auto view = newView();
    auto *preview = child<PushButton>(*view, "previewButton");
    ASSERT_FALSE(preview->isEnabled());
    const QColor disabledFill = preview->fillColor();
    EXPECT_LT(contrastRatio(preview->titleColor(), disabledFill), 3.0);

    view->viewModel().setInput(input);
    ASSERT_TRUE(preview->isEnabled());
    // The fill of the enabled button is markedly stronger than the disabled wash.
    const QColor window = QApplication::palette().color(QPalette::Window);
    EXPECT_GT(contrastRatio(preview->fillColor(), window),
              contrastRatio(disabledFill, window) + 1.0);
}

} // namespace
} // namespace tessaly::testing
