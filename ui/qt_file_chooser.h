#pragma once

#include "workflow/file_chooser.h"

#include <QPointer>
#include <QWidget>

#include <functional>

namespace tessaly {

/// The window's choosers as modal Qt dialogs over `window`.
class QtFileChooser : public FileChooser {
public:
    /// Where the output currently goes, asked each time the save dialog opens.
    using OutputLocation = std::function<std::optional<std::filesystem::path>()>;

    /// Choosers whose dialogs belong to `window` (they open centred over it); the save dialog
    /// opens in the folder of `currentOutput`'s answer when that is the proposed file.
    explicit QtFileChooser(QWidget *window, OutputLocation currentOutput = {});

    /// An open dialog for one file or one `.fcpxmld` bundle.
    std::optional<std::filesystem::path> chooseInput(const QString &title) override;
    /// A save dialog proposing `proposedName`, in the current output's folder.
    std::optional<std::filesystem::path> chooseOutput(const QString &title,
                                                      const QString &proposedName) override;
    /// A folder dialog that opens in the current output's folder, where the proxies usually are
    /// and the originals often near.
    std::optional<std::filesystem::path> chooseFolder(const QString &title) override;
    /// The desktop's confirmation to replace a file, with Cancel as the default.
    bool confirmReplace(const std::filesystem::path &existing) override;

private:
    QPointer<QWidget> m_window;
    OutputLocation m_currentOutput;
};

} // namespace tessaly
