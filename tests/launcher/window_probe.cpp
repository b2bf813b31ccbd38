// Preloaded into the real application by the process tests: once a top-level window is on
// screen it says so and quits the application, so that the launcher's run ends by itself.

#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

void quitOnceAWindowShows() {
    auto *timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, timer, [timer] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (!widget->isVisible() || !widget->windowHandle())
                continue;
            std::printf("probe: window shown: %s\n", widget->metaObject()->className());
            std::fflush(stdout);
            timer->stop();
            QCoreApplication::quit();
            return;
        }
    });
    timer->start(0);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(quitOnceAWindowShows)
