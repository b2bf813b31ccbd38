#pragma once

#include "ui/fcpxml_drop_delegate.h"
#include "ui/theme.h"

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <filesystem>
#include <memory>
#include <optional>

namespace tessaly {

class AboutView;
class DropZoneView;
class ElidedLabel;
class FileChooser;
class PushButton;
struct OriginalsSummary;
class RelinkViewModel;
class RevealContainer;

/// The content of one window: header, pre-flight warning, file section, actions and the
/// result panel of the last run. It owns the window's view model and keeps none of the
/// workflow's state itself: it shows the model's values and calls its operations.
class ContentView : public QWidget {
    Q_OBJECT
public:
    /// A window's content with a new view model whose choosers are `chooser`, or the Qt file
    /// dialogs over this view's window when `chooser` is null.
    explicit ContentView(std::shared_ptr<FileChooser> chooser = nullptr, QWidget *parent = nullptr);
    ~ContentView() override;

    /// The window's view model.
    RelinkViewModel &viewModel() const { return *m_vm; }
    /// Whether the About sheet is shown.
    bool showAbout() const { return m_showAbout; }
    /// Whether a file drag hovers over the drop zone.
    bool isTargeted() const { return m_isTargeted; }

Q_SIGNALS:
    /// A run's result panel has finished opening and should be brought into view.
    void resultsRevealed(QWidget *panel);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *headerView();
    QWidget *warningBanner();
    QWidget *fileSection();
    QWidget *outputRow();
    QWidget *outputExistsRow() const;
    QWidget *actionSection();
    QWidget *dryRunResults() const;
    QWidget *readyRow() const;
    QWidget *missingOriginalsRow(const OriginalsSummary &originals) const;
    QWidget *searchFoldersSection() const;
    QWidget *locateButtons() const;
    QWidget *successBanner() const;
    QWidget *logFailureRow(const QString &reason) const;
    QWidget *errorBanner() const;
    QWidget *statBadge(qint64 value, const QString &label, const QString &icon, Tint color) const;
    QWidget *statBadge(const QString &value, const QString &label, const QString &icon,
                       Tint color) const;
    QWidget *originalsBadge(const OriginalsSummary &originals) const;

    void sendFeedback();
    void setShowAbout(bool showAbout);
    void setTargeted(bool isTargeted);
    bool handleDrag(QEvent *event);

    Q_SLOT void refresh();
    void refreshOutputRow();
    void refreshActions();
    void refreshResults();
    void parkFocus(PushButton *button);
    void returnFocus();

    std::shared_ptr<RelinkViewModel> m_vm;
    bool m_isTargeted = false;
    bool m_showAbout = false;
    FCPXMLDropDelegate m_dropDelegate;
    QPointer<AboutView> m_aboutSheet;

    DropZoneView *m_dropZone = nullptr;
    ElidedLabel *m_outputName = nullptr;
    ElidedLabel *m_outputFolder = nullptr;
    PushButton *m_changeOutput = nullptr;
    PushButton *m_preview = nullptr;
    PushButton *m_apply = nullptr;
    RevealContainer *m_results = nullptr;
    /// The phase whose panel is shown; -1 before the first.
    int m_shownPhase = -1;
    bool m_resultsPending = false;
    /// A run took keyboard focus from its button; the focus moves on with the outcome.
    bool m_focusParked = false;
    bool m_focusRingParked = false;
    /// The accessible name of the result card's control that held the parked focus; empty
    /// when it was an action button.
    QString m_parkedControl;
    bool m_revealPending = false;
};

} // namespace tessaly
