#include "ui/scene_window.h"

#include "ui/content_view.h"
#include "ui/tessaly_app.h"

#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>

namespace tessaly {

SceneWindow::SceneWindow(std::shared_ptr<FileChooser> chooser)
    : m_content(new ContentView(std::move(chooser))) {
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto *menuBar = new QMenuBar(this);
    QMenu *file = menuBar->addMenu(tr("&File"));
    QAction *newWindow = file->addAction(tr("New Window"), this, [] { TessalyApp::openWindow(); });
    newWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    QAction *close = file->addAction(tr("Close Window"), this, &QWidget::close);
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    file->addSeparator();
    QAction *quit = file->addAction(tr("Quit"), qApp, &QApplication::closeAllWindows);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    layout->setMenuBar(menuBar);
    layout->addWidget(m_content);
}

} // namespace tessaly
