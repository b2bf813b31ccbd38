#include "ui/tessaly_app.h"

#include "ui/entry_point.h"
#include "ui/scene_window.h"

#include <QApplication>
#include <QIcon>

namespace tessaly {

int TessalyApp::main(int argc, char **argv) {
    // QApplication keeps references to both; a launcher that passes nothing still gets a
    // program name, which Qt needs.
    static char fallbackName[] = "Tessaly";
    static char *fallbackArgs[] = {fallbackName, nullptr};
    if (argc < 1 || !argv || !argv[0]) {
        argc = 1;
        argv = fallbackArgs;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessaly"));
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setWindowIcon(
        QIcon(QStringLiteral(":/symbols/arrow.triangle.2.circlepath.circle.fill.svg")));
    openWindow();
    QApplication::exec();
    return 0;
}

SceneWindow *TessalyApp::openWindow(std::shared_ptr<FileChooser> chooser) {
    auto *window = new SceneWindow(std::move(chooser));
    window->show();
    return window;
}

} // namespace tessaly

extern "C" int tessaly_run_application(int argc, char **argv) {
    return tessaly::TessalyApp::main(argc, argv);
}
