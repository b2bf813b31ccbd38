#include "ui/content_view.h"

#include "ui/accessible_names.h"
#include "ui/desktop_services.h"
#include "ui/elided_label.h"
#include "ui/originals_summary.h"
#include "ui/push_button.h"
#include "ui/reveal_container.h"
#include "ui/rounded_card.h"
#include "ui/symbol_view.h"
#include "ui/theme.h"
#include "ui/tinted_label.h"
#include "ui/wrapping_label.h"
#include "workflow/relink_view_model.h"

#include "workflow/path_string.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tessaly {

using Phase = RelinkViewModel::AppPhase;

namespace {

QString fileName(const std::filesystem::path &path) {
    return pathString(path.filename());
}

} // namespace

QWidget *ContentView::statBadge(qint64 value, const QString &label, const QString &icon,
                                Tint color) const {
    // Plain digits, no grouping: the count as the run published it.
    return statBadge(QString::number(value), label, icon, color);
}

QWidget *ContentView::statBadge(const QString &value, const QString &label, const QString &icon,
                                Tint color) const {
    auto *badge = new RoundedCard(CardLook{color, 0.08, 0.0, 1, 8});
    badge->setObjectName(QStringLiteral("statBadge"));
    auto *row = new QHBoxLayout(badge);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(8);
    row->addWidget(new SymbolView(icon, symbolSize(TextStyle::body), color));
    auto *text = new QVBoxLayout;
    text->setSpacing(0);
    QFont valueFont = textFont(TextStyle::title2);
    valueFont.setBold(true);
    auto *number = styledLabel(value, TextStyle::title2, color);
    number->setObjectName(QStringLiteral("badgeValue"));
    number->setFont(valueFont);
    text->addWidget(number);
    auto *caption = styledLabel(label, TextStyle::caption, Tint::secondary);
    caption->setObjectName(QStringLiteral("badgeLabel"));
    text->addWidget(caption);
    row->addLayout(text);
    badge->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return badge;
}

QWidget *ContentView::dryRunResults() const {
    auto *panel = new QWidget;
    panel->setObjectName(QStringLiteral("dryRunResults"));
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addWidget(new Divider);

    auto *badges = new QHBoxLayout;
    badges->setSpacing(12);
    badges->addWidget(statBadge(m_vm->srcsUpdated(), tr("Refs updated"),
                                QStringLiteral("arrow.triangle.2.circlepath"), Tint::blue));
    badges->addWidget(statBadge(m_vm->formatsUpdated(), tr("Formats updated"),
                                QStringLiteral("aspectratio"), Tint::purple));
    badges->addWidget(statBadge(m_vm->orphansRemoved(), tr("Orphans removed"),
                                QStringLiteral("trash"), Tint::orange));
    const OriginalsSummary originals = summarizeOriginals(m_vm->changes());
    badges->addWidget(originalsBadge(originals));
    badges->addStretch(1);
    column->addLayout(badges);
    column->addWidget(originals.allFound() ? readyRow() : missingOriginalsRow(originals));
    if (m_vm->outputExists())
        column->addWidget(outputExistsRow());
    return panel;
}

QWidget *ContentView::originalsBadge(const OriginalsSummary &originals) const {
    auto *badge =
        statBadge(originals.count(), tr("Originals found"), QStringLiteral("externaldrive"),
                  originals.allFound() ? Tint::green : Tint::orange);
    badge->setObjectName(QStringLiteral("originalsBadge"));
    return badge;
}

QWidget *ContentView::readyRow() const {
    auto *ready = new RoundedCard(CardLook::message(Tint::green));
    ready->setObjectName(QStringLiteral("readyRow"));
    auto *row = new QHBoxLayout(ready);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(10);
    row->addWidget(new SymbolView(QStringLiteral("checkmark.circle.fill"),
                                  symbolSize(TextStyle::title3), Tint::green));
    auto *text = new QVBoxLayout;
    text->setSpacing(2);
    text->addWidget(styledLabel(tr("Ready to relink"), TextStyle::headline, Tint::green));
    text->addWidget(styledLabel(emphasized(tr("No errors found. Hit **Relink & Save** to apply.")),
                                TextStyle::callout, Tint::primary, Qt::RichText));
    if (QWidget *searched = searchFoldersSection())
        text->addWidget(searched);
    row->addLayout(text);
    row->addStretch(1);
    return ready;
}

QWidget *ContentView::outputExistsRow() const {
    auto *notice = new QWidget;
    notice->setObjectName(QStringLiteral("outputExists"));
    auto *row = new QHBoxLayout(notice);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    addLeadingSymbol(row, QStringLiteral("exclamationmark.triangle.fill"),
                     symbolSize(TextStyle::callout), Tint::orange);
    const auto &output = m_vm->outputURL();
    // The name is the user's own, shown verbatim; the rest of the sentence is ours.
    auto *text = new WrappingLabel(tr("“%1” already exists. Relink & Save will replace it.")
                                       .arg(output ? fileName(*output) : QString()));
    text->setObjectName(QStringLiteral("outputExistsMessage"));
    text->setFont(textFont(TextStyle::callout));
    row->addWidget(text, 1);
    return notice;
}

QWidget *ContentView::successBanner() const {
    auto *banner = new RoundedCard(CardLook::message(Tint::green));
    banner->setObjectName(QStringLiteral("successBanner"));
    auto *column = new QVBoxLayout(banner);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(10);

    auto *top = new QHBoxLayout;
    top->setSpacing(10);
    top->addWidget(new SymbolView(QStringLiteral("checkmark.circle.fill"),
                                  symbolSize(TextStyle::title2), Tint::green));
    auto *text = new QVBoxLayout;
    text->setSpacing(2);
    text->addWidget(styledLabel(tr("Relink complete"), TextStyle::headline));
    // Where the document went, even when another output has been chosen since.
    const std::optional<std::filesystem::path> output =
        m_vm->savedURL() ? m_vm->savedURL() : m_vm->outputURL();
    auto *savedTo = new ElidedLabel(tr("Saved to ") + (output ? fileName(*output) : tr("output")),
                                    Qt::ElideMiddle);
    savedTo->setObjectName(QStringLiteral("savedTo"));
    savedTo->setFont(textFont(TextStyle::callout));
    savedTo->setTint(Tint::secondary);
    text->addWidget(savedTo);
    top->addLayout(text, 1);
    column->addLayout(top);

    auto *badges = new QHBoxLayout;
    badges->setSpacing(20);
    badges->addWidget(
        statBadge(m_vm->srcsUpdated(), tr("Clip sources"), QStringLiteral("film"), Tint::green));
    badges->addWidget(statBadge(m_vm->formatsUpdated(), tr("Format elements"),
                                QStringLiteral("aspectratio"), Tint::green));
    badges->addWidget(originalsBadge(summarizeOriginals(m_vm->changes())));
    badges->addStretch(1);
    column->addLayout(badges);
    // The relinked document is written either way; only the record of it is missing.
    if (const auto &reason = m_vm->logError())
        column->addWidget(logFailureRow(*reason));

    if (const auto &log = m_vm->logURL()) {
        auto *open =
            new PushButton(tr("Open Change Log"), QStringLiteral("doc.text.magnifyingglass"));
        open->setObjectName(QStringLiteral("openLogButton"));
        nameControl(open, tr("Open Change Log"), pathString(log->filename()));
        connect(open, &PushButton::clicked, this,
                [file = *log] { openWithDefaultApplication(file); });
        column->addWidget(open, 0, Qt::AlignLeft);
    }
    if (output) {
#ifdef Q_OS_MACOS
        auto *reveal = new PushButton(tr("Show in Finder"), QStringLiteral("folder"));
#else
        auto *reveal = new PushButton(tr("Show in Folder"), QStringLiteral("folder"));
#endif
        reveal->setObjectName(QStringLiteral("revealButton"));
        nameControl(reveal, reveal->title(), fileName(*output));
        connect(reveal, &PushButton::clicked, this,
                [file = *output] { revealInFileManager(file); });
        column->addWidget(reveal, 0, Qt::AlignLeft);
    }
    return banner;
}

QWidget *ContentView::logFailureRow(const QString &reason) const {
    auto *failure = new QWidget;
    failure->setObjectName(QStringLiteral("logFailure"));
    auto *row = new QHBoxLayout(failure);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    addLeadingSymbol(row, QStringLiteral("exclamationmark.triangle.fill"),
                     symbolSize(TextStyle::callout), Tint::orange);
    auto *text = new QVBoxLayout;
    text->setSpacing(2);
    text->addWidget(styledLabel(tr("The change log could not be written."), TextStyle::callout));
    auto *why = new WrappingLabel(reason);
    why->setObjectName(QStringLiteral("logError"));
    why->setFont(textFont(TextStyle::callout));
    why->setTint(Tint::secondary);
    text->addWidget(why);
    row->addLayout(text, 1);
    return failure;
}

QWidget *ContentView::errorBanner() const {
    auto *banner = new RoundedCard(CardLook::message(Tint::red));
    banner->setObjectName(QStringLiteral("errorBanner"));
    auto *row = new QHBoxLayout(banner);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(10);
    addLeadingSymbol(row, QStringLiteral("xmark.circle.fill"), symbolSize(TextStyle::title2),
                     Tint::red);
    auto *text = new QVBoxLayout;
    text->setSpacing(4);
    text->addWidget(styledLabel(tr("Something went wrong"), TextStyle::headline));
    const auto &message = m_vm->errorMessage();
    auto *body = new WrappingLabel(message ? *message : tr("Unknown error"));
    body->setObjectName(QStringLiteral("errorMessage"));
    body->setFont(textFont(TextStyle::callout));
    body->setTint(Tint::secondary);
    text->addWidget(body);
    row->addLayout(text, 1);
    return banner;
}

void ContentView::refreshResults() {
    m_resultsPending = false;
    // A run clears the error and the changes as it starts while the phase stays; the panel of
    // the last outcome stays as it was until the run's own outcome arrives, rather than
    // turning into "Unknown error" for the length of the run.
    if (m_vm->isRunning())
        return;
    const Phase shown = m_vm->phase();
    const bool phaseChanged = int(shown) != m_shownPhase;
    m_shownPhase = int(shown);
    QWidget *panel = nullptr;
    switch (shown) {
    case Phase::idle:
        break;
    case Phase::dryRunComplete:
        panel = dryRunResults();
        break;
    case Phase::done:
        panel = successBanner();
        break;
    case Phase::error:
        panel = errorBanner();
        break;
    }
    // A new outcome is brought into view once it has opened; a redraw of the same one is not.
    m_revealPending = panel && phaseChanged;
    m_results->setPanel(panel, phaseChanged);
    returnFocus();
}

} // namespace tessaly
