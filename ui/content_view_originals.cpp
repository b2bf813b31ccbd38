#include "ui/content_view.h"

#include "ui/accessible_names.h"
#include "ui/elided_label.h"
#include "ui/originals_summary.h"
#include "ui/push_button.h"
#include "ui/rounded_card.h"
#include "ui/symbol_view.h"
#include "ui/theme.h"
#include "ui/tinted_label.h"
#include "ui/wrapping_label.h"
#include "workflow/path_string.h"
#include "workflow/relink_view_model.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QVBoxLayout>

#include <algorithm>

namespace tessaly {

namespace {

/// One line of a list: a bullet, then `item`, indented by `indent`.
void addBulleted(QVBoxLayout *list, QWidget *item, int indent = 0) {
    auto *line = new QHBoxLayout;
    line->setContentsMargins(indent, 0, 0, 0);
    line->setSpacing(6);
    line->addWidget(styledLabel(QStringLiteral("•"), TextStyle::callout), 0, Qt::AlignTop);
    line->addWidget(item, 1);
    list->addLayout(line);
}

/// A file name or path of the user's, shortened in the middle so that the take numbers at its
/// end stay readable; the whole of it is the tool tip.
ElidedLabel *userName(const QString &text, const char *objectName) {
    auto *label = new ElidedLabel(text, Qt::ElideMiddle);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setFont(textFont(TextStyle::callout));
    label->setToolTip(text);
    return label;
}

TintedLabel *moreLine(qint64 more, const char *objectName) {
    auto *label =
        styledLabel(ContentView::tr("and %1 more").arg(more), TextStyle::callout, Tint::secondary);
    label->setObjectName(QString::fromLatin1(objectName));
    return label;
}

QString folderName(const std::filesystem::path &folder) {
    const std::filesystem::path name = folder.filename();
    return pathString(name.empty() ? folder : name);
}

} // namespace

QWidget *ContentView::missingOriginalsRow(const OriginalsSummary &originals) const {
    auto *warning = new RoundedCard(CardLook::message(Tint::orange));
    warning->setObjectName(QStringLiteral("missingOriginals"));
    auto *row = new QHBoxLayout(warning);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(10);
    addLeadingSymbol(row, QStringLiteral("exclamationmark.triangle.fill"),
                     symbolSize(TextStyle::title3), Tint::orange);

    auto *text = new QVBoxLayout;
    text->setSpacing(2);
    text->addWidget(styledLabel(originals.anyMissing() ? tr("Some originals are missing")
                                                       : tr("Some originals are ambiguous"),
                                TextStyle::headline, Tint::orange));
    if (originals.anyMissing()) {
        text->addWidget(styledLabel(tr("These originals were not found on this computer:"),
                                    TextStyle::callout));
        for (const QString &name : originals.firstMissing)
            addBulleted(text, userName(name, "missingOriginal"));
        if (originals.moreMissing > 0)
            text->addWidget(moreLine(originals.moreMissing, "moreMissing"));
    }
    if (!originals.firstAmbiguous.isEmpty()) {
        if (originals.anyMissing())
            text->addSpacing(6);
        text->addWidget(styledLabel(tr("These names match more than one file, so Tessaly "
                                       "leaves them beside their proxies:"),
                                    TextStyle::callout));
        for (const AmbiguousOriginal &ambiguous : originals.firstAmbiguous) {
            addBulleted(text, userName(tr("%1 (%2 files)")
                                           .arg(ambiguous.name,
                                                QString::number(ambiguous.candidates.size())),
                                       "ambiguousOriginal"));
            for (const QString &candidate : ambiguous.candidates)
                addBulleted(text, userName(candidate, "ambiguousCandidate"), 16);
        }
        if (originals.moreAmbiguous > 0)
            text->addWidget(moreLine(originals.moreAmbiguous, "moreAmbiguous"));
    }
    if (QWidget *searched = searchFoldersSection())
        text->addWidget(searched);
    text->addSpacing(6);
    text->addWidget(styledLabel(
        emphasized(tr("Final Cut Pro will show those clips as offline.\nLocate the folder that "
                      "holds them, or hit **Relink & Save** to relink anyway.")),
        TextStyle::callout, Tint::primary, Qt::RichText));
    text->addSpacing(6);
    text->addWidget(locateButtons());
    row->addLayout(text, 1);
    return warning;
}

QWidget *ContentView::searchFoldersSection() const {
    const auto &folders = m_vm->searchFolders();
    const auto &warning = m_vm->searchWarning();
    if (folders.empty() && !warning)
        return nullptr;
    auto *section = new QWidget;
    section->setObjectName(QStringLiteral("searchFolders"));
    auto *column = new QVBoxLayout(section);
    column->setContentsMargins(0, 6, 0, 0);
    column->setSpacing(2);
    if (!folders.empty())
        column->addWidget(styledLabel(tr("Also searched:"), TextStyle::callout));
    for (const std::filesystem::path &folder : folders) {
        auto *line = new QHBoxLayout;
        line->setSpacing(6);
        auto *name = new ElidedLabel(pathString(folder), Qt::ElideLeft);
        name->setObjectName(QStringLiteral("searchFolder"));
        name->setFont(textFont(TextStyle::callout));
        name->setToolTip(pathString(folder));
        line->addWidget(new SymbolView(QStringLiteral("folder"), symbolSize(TextStyle::callout),
                                       Tint::secondary));
        line->addWidget(name, 1);
        auto *remove = new PushButton(tr("Remove"), QString());
        remove->setObjectName(QStringLiteral("removeSearchFolderButton"));
        remove->setControlSize(PushButton::ControlSize::small);
        nameControl(remove, tr("Remove search folder %1").arg(folderName(folder)),
                    tr("Stops searching %1 and previews again").arg(pathString(folder)));
        connect(remove, &PushButton::clicked, this,
                [this, folder] { m_vm->removeSearchFolder(folder); });
        line->addWidget(remove);
        column->addLayout(line);
    }
    if (warning) {
        auto *notice = new QHBoxLayout;
        notice->setSpacing(6);
        addLeadingSymbol(notice, QStringLiteral("exclamationmark.triangle.fill"),
                         symbolSize(TextStyle::callout), Tint::orange);
        auto *message = new WrappingLabel(*warning);
        message->setObjectName(QStringLiteral("searchWarning"));
        message->setFont(textFont(TextStyle::callout));
        message->setTint(Tint::secondary);
        notice->addWidget(message, 1);
        column->addLayout(notice);
    }
    return section;
}

QWidget *ContentView::locateButtons() const {
    auto *buttons = new QWidget;
    auto *row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    auto *locate = new PushButton(tr("Locate Originals…"), QStringLiteral("folder"));
    locate->setObjectName(QStringLiteral("locateOriginalsButton"));
    nameControl(locate, tr("Locate Originals…"),
                tr("Adds a folder to search for the originals, then previews again"));
    connect(locate, &PushButton::clicked, this, [this] { m_vm->locateOriginals(); });
    row->addWidget(locate);

    // Folders chosen before, in this window or another session, that this preview does not
    // search yet: one click away, like the desktop's recent places.
    const auto &searched = m_vm->searchFolders();
    std::vector<std::filesystem::path> recent;
    std::copy_if(m_vm->recentFolders().begin(), m_vm->recentFolders().end(),
                 std::back_inserter(recent), [&](const std::filesystem::path &folder) {
                     return std::find(searched.begin(), searched.end(), folder) == searched.end();
                 });
    if (!recent.empty()) {
        auto *recentButton = new PushButton(tr("Recent Folders"), QString());
        recentButton->setObjectName(QStringLiteral("recentFoldersButton"));
        nameControl(recentButton, tr("Recent Folders"),
                    tr("Adds a folder searched before, then previews again"));
        auto *menu = new QMenu(recentButton);
        menu->setObjectName(QStringLiteral("recentFoldersMenu"));
        menu->setToolTipsVisible(true);
        for (const std::filesystem::path &folder : recent) {
            // The folder's name, with where it is in case two share a name.
            const QString where = pathString(folder.parent_path());
            QAction *add =
                menu->addAction(folderName(folder) + QStringLiteral(" — ") +
                                QFontMetrics(menu->font()).elidedText(where, Qt::ElideMiddle, 320));
            add->setToolTip(pathString(folder));
            connect(add, &QAction::triggered, this,
                    [this, folder] { m_vm->addSearchFolder(folder); });
        }
        connect(recentButton, &PushButton::clicked, menu, [recentButton, menu] {
            menu->popup(recentButton->mapToGlobal(QPoint(0, recentButton->height())));
        });
        row->addWidget(recentButton);
    }
    row->addStretch(1);
    return buttons;
}

} // namespace tessaly
