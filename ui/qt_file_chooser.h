#pragma once

#include "workflow/file_chooser.h"

#include <QPointer>
#include <QWidget>

namespace tessaly {

/// The window's choosers as modal Qt file dialogs over `window`.
class QtFileChooser : public FileChooser {
public:
    /// Choosers whose dialogs belong to `window` (they open centred over it).
    explicit QtFileChooser(QWidget *window);

    /// An open dialog for one file or one `.fcpxmld` bundle.
    std::optional<std::filesystem::path> chooseInput(const QString &title) override;
    /// A save dialog proposing `proposedName`.
    std::optional<std::filesystem::path> chooseOutput(const QString &title,
                                                      const QString &proposedName) override;

private:
    QPointer<QWidget> m_window;
};

} // namespace tessaly
