#include "ui/content_view.h"

#include "ui/accessible_names.h"
#include "ui/drop_zone_view.h"
#include "ui/elided_label.h"
#include "ui/push_button.h"
#include "ui/reveal_container.h"
#include "ui/rounded_card.h"
#include "ui/theme.h"
#include "ui/tinted_label.h"
#include "workflow/relink_view_model.h"

#include "workflow/path_string.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace tessaly {

using Phase = RelinkViewModel::AppPhase;

QWidget *ContentView::fileSection() {
    auto *section = new QWidget;
    auto *column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addWidget(styledLabel(tr("File"), TextStyle::headline));

    m_dropZone = new DropZoneView([this] { m_vm->selectInput(); });
    m_dropZone->setObjectName(QStringLiteral("dropZone"));
    // One filter does both jobs of the desktop's two drop handlers: hover tracking, and the
    // delegate's checks on a drop.
    m_dropZone->installEventFilter(this);
    column->addWidget(m_dropZone);
    column->addWidget(outputRow());
    return section;
}

QWidget *ContentView::outputRow() {
    auto *row = new RoundedCard(CardLook{Tint::control, 1.0, 0.0, 1, 8});
    row->setObjectName(QStringLiteral("outputRow"));
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    auto *text = new QVBoxLayout;
    text->setSpacing(2);
    text->addWidget(styledLabel(tr("Output"), TextStyle::caption, Tint::secondary));
    m_outputName = new ElidedLabel(QString(), Qt::ElideMiddle);
    m_outputName->setObjectName(QStringLiteral("outputName"));
    m_outputName->setFont(textFont(TextStyle::body));
    text->addWidget(m_outputName);
    m_outputFolder = new ElidedLabel(QString(), Qt::ElideLeft);
    m_outputFolder->setObjectName(QStringLiteral("outputFolder"));
    m_outputFolder->setFont(textFont(TextStyle::caption2));
    m_outputFolder->setTint(Tint::secondary);
    text->addWidget(m_outputFolder);
    layout->addLayout(text, 1);

    m_changeOutput = new PushButton(tr("Change…"), QString());
    m_changeOutput->setObjectName(QStringLiteral("changeOutputButton"));
    nameControl(m_changeOutput, tr("Change Output…"),
                tr("Chooses where the relinked copy is saved"));
    connect(m_changeOutput, &PushButton::clicked, this, [this] { m_vm->selectOutput(); });
    layout->addWidget(m_changeOutput);
    return row;
}

QWidget *ContentView::actionSection() {
    auto *section = new QWidget;
    auto *row = new QHBoxLayout(section);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    m_preview = new PushButton(tr("Preview Changes"), QStringLiteral("eye"));
    m_preview->setObjectName(QStringLiteral("previewButton"));
    m_apply = new PushButton(tr("Relink & Save"), QStringLiteral("wand.and.stars"));
    m_apply->setObjectName(QStringLiteral("applyButton"));
    for (PushButton *button : {m_preview, m_apply}) {
        button->setControlSize(PushButton::ControlSize::large);
        // The two share the row equally, however long their titles.
        button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        button->setMinimumWidth(button->sizeHint().width());
        row->addWidget(button, 1);
    }
    connect(m_preview, &PushButton::clicked, this, [this] { m_vm->runDryRun(); });
    connect(m_apply, &PushButton::clicked, this, [this] { m_vm->runApply(); });
    return section;
}

void ContentView::refreshOutputRow() {
    const auto &output = m_vm->outputURL();
    if (output) {
        m_outputName->setText(pathString(output->filename()));
        m_outputName->setTint(Tint::primary);
        m_outputFolder->setText(pathString(output->parent_path()));
    } else {
        m_outputName->setText(tr("Auto-generated alongside input"));
        m_outputName->setTint(Tint::secondary);
    }
    m_outputFolder->setVisible(output.has_value());
    m_changeOutput->setEnabled(m_vm->inputURL().has_value());
}

void ContentView::refreshActions() {
    using Look = PushButton::Look;
    const bool running = m_vm->isRunning();
    if (running) {
        parkFocus(m_preview);
        parkFocus(m_apply);
        // A control of the result card (Locate Originals…, Remove) starts a preview whose card
        // replaces it: the focus waits for the same control on the new card.
        auto *inPanel = qobject_cast<PushButton *>(QApplication::focusWidget());
        if (inPanel && m_results->panel() && m_results->panel()->isAncestorOf(inPanel)) {
            m_parkedControl = inPanel->accessibleName();
            parkFocus(inPanel);
        }
    }
    // Exactly one of the two is prominent: Preview until a preview has succeeded, then Apply.
    if (m_vm->phase() == Phase::dryRunComplete) {
        m_preview->setLook(Look::bordered);
        m_preview->setBusy(false);
        m_preview->setEnabled(false);
        m_apply->setLook(Look::prominent);
        m_apply->setBusy(running);
        m_apply->setEnabled(!running);
    } else {
        m_preview->setLook(Look::prominent);
        m_preview->setBusy(running);
        m_preview->setEnabled(m_vm->inputURL() && !running && m_vm->phase() != Phase::done);
        m_apply->setLook(Look::bordered);
        m_apply->setBusy(false);
        m_apply->setEnabled(false);
    }
}

void ContentView::parkFocus(PushButton *button) {
    if (!button->hasFocus())
        return;
    // A disabled button gives its focus to the next control in the chain, which may be one
    // that shows no sign of it. It waits here, invisible, for the run's outcome instead.
    m_focusParked = true;
    m_focusRingParked = button->showsFocusRing();
    setFocus(Qt::OtherFocusReason);
}

void ContentView::returnFocus() {
    if (!m_focusParked || m_vm->isRunning())
        return;
    m_focusParked = false;
    if (!hasFocus())
        return; // the user has moved on meanwhile
    // The next step: Relink & Save after a preview, the success card's first button after an
    // apply, and the button that failed after an error.
    QWidget *next = m_preview->isEnabled() ? m_preview : nullptr;
    if (m_vm->phase() == Phase::dryRunComplete)
        next = m_apply;
    if (const QString control = std::exchange(m_parkedControl, QString());
        !control.isEmpty() && m_results->panel()) {
        // The same control when the new card has it, else the card's Locate Originals….
        const QList<PushButton *> buttons = m_results->panel()->findChildren<PushButton *>();
        const auto same = std::find_if(buttons.begin(), buttons.end(), [&](PushButton *button) {
            return button->accessibleName() == control;
        });
        if (same != buttons.end())
            next = *same;
        else if (auto *locate = m_results->panel()->findChild<PushButton *>(
                     QStringLiteral("locateOriginalsButton")))
            next = locate;
    } else if (m_vm->phase() == Phase::done && m_results->panel())
        next = m_results->panel()->findChild<PushButton *>();
    if (next)
        next->setFocus(m_focusRingParked ? Qt::TabFocusReason : Qt::OtherFocusReason);
}

} // namespace tessaly
