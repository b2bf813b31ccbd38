#pragma once

#include <memory>

namespace tessaly {

class FileChooser;
class SceneWindow;

/// The application: one window group whose every window has its own content and state.
class TessalyApp {
public:
    /// Creates the application, opens the first window and runs the event loop; returns 0
    /// when the loop ends.
    static int main(int argc, char **argv);

    /// Opens another window of the group, with a fresh view model whose choosers are
    /// `chooser` (null: the Qt file dialogs).
    static SceneWindow *openWindow(std::shared_ptr<FileChooser> chooser = nullptr);
};

} // namespace tessaly
