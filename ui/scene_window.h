#pragma once

#include <QWidget>

#include <memory>

namespace tessaly {

class ContentView;
class FileChooser;

/// One window of the application: a File menu over a `ContentView`, sized to its content.
class SceneWindow : public QWidget {
    Q_OBJECT
public:
    /// A window whose content uses `chooser` (null: the Qt file dialogs); it deletes itself
    /// when closed.
    explicit SceneWindow(std::shared_ptr<FileChooser> chooser = nullptr);

    /// The window's content.
    ContentView &content() const { return *m_content; }

private:
    ContentView *m_content;
};

} // namespace tessaly
