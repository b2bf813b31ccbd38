#include "ui/tessaly_app.h"

#include "engine/run/relink_run.h"
#include "ui/content_view.h"
#include "ui/entry_point.h"
#include "ui/information_options.h"
#include "ui/scene_window.h"
#include "workflow/path_string.h"
#include "workflow/relink_view_model.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QThreadPool>
#include <QUrl>

#include <cstdlib>
#include <iostream>

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
    if (const std::optional<int> status = answerInformationOptions(argc, argv, std::cout))
        return *status;
    // Before the first thread starts, so that every thread leaves the signals to the one
    // waiting for them.
    RelinkRun::abandonRunsOnSignals();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tessaly"));
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setWindowIcon(
        QIcon(QStringLiteral(":/symbols/arrow.triangle.2.circlepath.circle.fill.svg")));
    // Qt has taken out the options that are its own; what is left names files, as the desktop
    // passes them when the user opens exports with Tessaly.
    openFiles(QApplication::arguments().mid(1));
    QApplication::exec();
    // The last window closed while a run was at work. Waiting would move an apply the user no
    // longer sees into place, and ending would leave its hidden temporary behind; the
    // temporary is removed instead, and the run never ends.
    if (QThreadPool::globalInstance()->activeThreadCount() > 0) {
        RelinkRun::abandonRuns();
        std::_Exit(0);
    }
    return 0;
}

std::vector<SceneWindow *> TessalyApp::openFiles(const QStringList &files,
                                                 std::shared_ptr<FileChooser> chooser) {

    std::vector<SceneWindow *> windows;
    bool options = true;
    for (const QString &file : files) {
        // The application has no options of its own; what looks like one is not a file, unless
        // it follows "--".
        if (options && file == QLatin1String("--")) {
            options = false;
            continue;
        }
        if (options && file.startsWith(QLatin1Char('-')))
            continue;
        const QString path =
            file.startsWith(QLatin1String("file:")) ? QUrl(file).toLocalFile() : file;
        SceneWindow *window = openWindow(chooser);
        window->content().viewModel().openInput(
            pathFromString(QDir::cleanPath(QFileInfo(path).absoluteFilePath())));
        windows.push_back(window);
    }
    if (windows.empty())
        windows.push_back(openWindow(std::move(chooser)));
    return windows;
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
