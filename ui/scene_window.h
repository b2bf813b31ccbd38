#pragma once

#include <QWidget>

#include <memory>

class QMenuBar;
class QScrollArea;

namespace tessaly {

class ContentView;
class FileChooser;

/// One window of the application: a File menu over a `ContentView`, sized to its content
/// but never beyond the screen's available area, where the content scrolls instead.
class SceneWindow : public QWidget {
    Q_OBJECT
public:
    /// A window whose content uses `chooser` (null: the Qt file dialogs); it deletes itself
    /// when closed.
    explicit SceneWindow(std::shared_ptr<FileChooser> chooser = nullptr);

    /// The window's content.
    ContentView &content() const { return *m_content; }
    /// The area the content scrolls in when the screen is too small for it.
    QScrollArea &scrollArea() const { return *m_scrollArea; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void fitToContent();

    ContentView *m_content;
    QScrollArea *m_scrollArea;
    QMenuBar *m_menuBar;
    bool m_followsScreen = false;
};

} // namespace tessaly
