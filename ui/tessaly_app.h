#pragma once

#include <QStringList>

#include <memory>
#include <vector>

namespace tessaly {

class FileChooser;
class SceneWindow;

/// The application: one window group whose every window has its own content and state.
class TessalyApp {
public:
    /// Creates the application, opens a window for each file named on the command line (one
    /// empty window when none is) and runs the event loop; returns 0 when the loop ends.
    static int main(int argc, char **argv);

    /// Opens one window per entry of `files` (paths or file URLs, as a desktop passes them)
    /// with that file chosen as the input, or one empty window when `files` names none;
    /// entries that start with "-" are options, not files, until one that is "--".
    static std::vector<SceneWindow *> openFiles(const QStringList &files,
                                                std::shared_ptr<FileChooser> chooser = nullptr);

    /// Opens another window of the group, with a fresh view model whose choosers are
    /// `chooser` (null: the Qt file dialogs).
    static SceneWindow *openWindow(std::shared_ptr<FileChooser> chooser = nullptr);
};

} // namespace tessaly
