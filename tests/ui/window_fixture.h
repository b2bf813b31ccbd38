#pragma once

#include "ui/content_view.h"
#include "ui/drop_zone_view.h"
#include "ui/push_button.h"
#include "ui/reveal_container.h"
#include "widget_support.h"
#include "workflow/relink_view_model.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace tessaly::testing {

/// Waits, bounded, until `view`'s run has published and its animations are over, so the
/// window has settled at its size.
inline bool settle(ContentView &view) {
    const bool settled = QTest::qWaitFor(
        [&] {
            return !view.viewModel().isRunning() &&
                   !child<RevealContainer>(view, "results")->isAnimating() &&
                   !child<DropZoneView>(view, "dropZone")->isAnimating();
        },
        20000);
    QTest::qWait(50); // the last frame's layout request
    return settled;
}

/// One window's content with a scripted chooser, shown on the offscreen platform, and a copy
/// of the sample export in a temporary folder.
class WindowTest : public ::testing::Test {
protected:
    using Look = PushButton::Look;
    using Phase = RelinkViewModel::AppPhase;

    void SetUp() override {
        view = std::make_unique<ContentView>(chooser);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        fs::copy_file(sampleDocument(), input);
    }

    RelinkViewModel &model() const { return view->viewModel(); }
    PushButton *button(const char *name) const { return child<PushButton>(*view, name); }
    void click(const char *name) const { QTest::mouseClick(button(name), Qt::LeftButton); }
    QWidget *panel() const { return child<RevealContainer>(*view, "results")->panel(); }
    bool settled() const { return settle(*view); }

    /// The two action buttons as the user sees them, e.g. "preview prominent busy disabled,
    /// apply bordered disabled".
    std::string actions() const {
        std::string shown;
        for (const char *name : {"preview", "apply"}) {
            const PushButton *b = button((std::string(name) + "Button").c_str());
            shown += (shown.empty() ? "" : ", ") + std::string(name) +
                     (b->look() == Look::prominent ? " prominent" : " bordered") +
                     (b->isBusy() ? " busy" : "") + (b->isEnabled() ? "" : " disabled");
        }
        return shown;
    }

    /// The texts of the labels named `name` in the results panel, in order.
    QStringList panelTexts(const char *name) const {
        QStringList texts;
        const QList<QLabel *> labels = panel()->findChildren<QLabel *>(QString::fromLatin1(name));
        for (const QLabel *label : labels)
            texts << label->text();
        return texts;
    }

    TempDir temp;
    fs::path input = temp / "Day1.fcpxml";
    std::shared_ptr<ScriptedChooser> chooser = std::make_shared<ScriptedChooser>();
    std::unique_ptr<ContentView> view;
};

} // namespace tessaly::testing
