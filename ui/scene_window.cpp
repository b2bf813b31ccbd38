#include "ui/scene_window.h"

#include "ui/content_view.h"
#include "ui/tessaly_app.h"

#include <QApplication>
#include <QEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace tessaly {

namespace {
/// Room left under a result brought into view, so that it does not end at the very edge.
constexpr int kRevealMargin = 24;
} // namespace

SceneWindow::SceneWindow(std::shared_ptr<FileChooser> chooser)
    : m_content(new ContentView(std::move(chooser))), m_scrollArea(new QScrollArea),
      m_menuBar(new QMenuBar(this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    QMenu *file = m_menuBar->addMenu(tr("&File"));
    QAction *newWindow = file->addAction(tr("New Window"), this, [] { TessalyApp::openWindow(); });
    newWindow->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    QAction *close = file->addAction(tr("Close Window"), this, &QWidget::close);
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    file->addSeparator();
    QAction *quit = file->addAction(tr("Quit"), qApp, &QApplication::closeAllWindows);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    layout->setMenuBar(m_menuBar);

    // The content keeps its own size; the area around it is the window, or less of it when
    // the screen is smaller, and then it scrolls.
    m_scrollArea->setObjectName(QStringLiteral("contentScroller"));
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    // The area shows no sign of focus, so it takes none: a Tab stop there would look lost.
    m_scrollArea->setFocusPolicy(Qt::NoFocus);
    m_scrollArea->setWidgetResizable(false);
    m_scrollArea->setWidget(m_content);
    m_scrollArea->viewport()->setAutoFillBackground(false);
    layout->addWidget(m_scrollArea);
    m_content->installEventFilter(this);
    // Named after the export it works on, so that windows can be told apart.
    connect(m_content, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);
    setWindowTitle(m_content->windowTitle());
    connect(m_content, &ContentView::resultsRevealed, this, [this](QWidget *panel) {
        // After the window has followed the content's new size, which is laid out first.
        QMetaObject::invokeMethod(
            this,
            [this, shown = QPointer<QWidget>(panel)] {
                if (!shown)
                    return;
                // Only down to it: a window narrower than its content keeps its side view.
                QScrollBar *across = m_scrollArea->horizontalScrollBar();
                const int side = across->value();
                m_scrollArea->ensureWidgetVisible(shown, 0, kRevealMargin);
                across->setValue(side);
            },
            Qt::QueuedConnection);
    });
    fitToContent();
}

bool SceneWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_content && event->type() == QEvent::Resize)
        fitToContent();
    return QWidget::eventFilter(watched, event);
}

void SceneWindow::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (!m_followsScreen && windowHandle()) {
        // Moved to another screen, or the screen's free area changed (a panel, a new
        // resolution): the window fits itself to it again.
        m_followsScreen = true;
        const auto follow = [this](QScreen *screen) {
            if (screen)
                connect(screen, &QScreen::availableGeometryChanged, this,
                        &SceneWindow::fitToContent, Qt::UniqueConnection);
            fitToContent();
        };
        connect(windowHandle(), &QWindow::screenChanged, this, follow);
        follow(windowHandle()->screen());
    }
    fitToContent();
}

void SceneWindow::fitToContent() {
    const QScreen *display = screen();
    if (!display)
        return;
    // The window manager's frame is known once the window is shown; before that, a title bar
    // of the style's height is assumed.
    QSize frame = frameGeometry().size() - geometry().size();
    if (!isVisible() || frame.height() <= 0)
        frame = QSize(0, style()->pixelMetric(QStyle::PM_TitleBarHeight));
    const int menu = m_menuBar->sizeHint().height();
    const QRect available = display->availableGeometry();
    const QSize room(available.width() - frame.width(), available.height() - frame.height() - menu);

    const QSize content = m_content->size();
    QSize area = content;
    const int barWidth = m_scrollArea->verticalScrollBar()->sizeHint().width();
    const int barHeight = m_scrollArea->horizontalScrollBar()->sizeHint().height();
    // A scroll bar takes room of its own, which may call for the other one.
    bool vertical = content.height() > room.height();
    bool horizontal = content.width() + (vertical ? barWidth : 0) > room.width();
    vertical = content.height() + (horizontal ? barHeight : 0) > room.height();
    if (vertical)
        area.rwidth() += barWidth;
    if (horizontal)
        area.rheight() += barHeight;
    area = area.boundedTo(room.expandedTo(QSize(1, 1)));
    setFixedSize(area.width(), area.height() + menu);

    if (isVisible()) {
        // A window that grew past the bottom or right edge moves back onto the screen.
        QRect placed = frameGeometry();
        placed.moveRight(std::min(placed.right(), available.right()));
        placed.moveBottom(std::min(placed.bottom(), available.bottom()));
        placed.moveLeft(std::max(placed.left(), available.left()));
        placed.moveTop(std::max(placed.top(), available.top()));
        if (placed.topLeft() != frameGeometry().topLeft())
            move(placed.topLeft());
    }
}

} // namespace tessaly
