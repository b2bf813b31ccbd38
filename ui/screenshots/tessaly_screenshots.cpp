// Renders each state of the window to PNG files, for looking at the window without a
// desktop: tessaly-screenshots OUTDIR [SAMPLE.fcpxml] [--dark]. Runs on the offscreen platform
// unless QT_QPA_PLATFORM says otherwise; QT_SCALE_FACTOR=2 renders at 2x, and the offscreen
// platform's configfile option sets the screen (its size, say 1366x768).

#include "ui/about_view.h"
#include "ui/content_view.h"
#include "ui/drop_zone_view.h"
#include "ui/reveal_container.h"
#include "ui/scene_window.h"
#include "ui/screenshots/sample_palettes.h"
#include "ui/tessaly_app.h"
#include "workflow/relink_view_model.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>

#include <cstdio>
#include <filesystem>
#include <functional>

namespace {

using tessaly::RelinkViewModel;

// A document whose only proxy has no camera original beside it: the engine refuses it.
constexpr char kNoOriginals[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<fcpxml version="1.10">
    <resources>
        <format id="r1" name="FFVideoFormat1080p2398"/>
        <asset id="r2" name="A001_C002" format="r1"><media-rep src="file:///Volumes/Shoot/A001_C002.mov"/></asset>
    </resources>
    <library><event><project><sequence format="r1"><spine><asset-clip ref="r2"/></spine></sequence></project></event></library>
</fcpxml>
)";

// The offscreen platform warns about every window of fixed size; that says nothing here.
QtMessageHandler g_previousHandler = nullptr;

void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (message.contains(QLatin1String("propagateSizeHints")))
        return;
    g_previousHandler(type, context, message);
}

bool waitUntil(const std::function<bool()> &done, int milliseconds = 10000) {
    QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void settle(int milliseconds = 450) {
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget *widget, const QDir &folder, const QString &name) {
    const QString file = folder.filePath(name + QStringLiteral(".png"));
    const bool saved = widget->grab().save(file);
    QTextStream(stdout) << (saved ? "wrote " : "could not write ") << file << '\n';
    return saved;
}

std::filesystem::path toPath(const QString &path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_previousHandler = qInstallMessageHandler(quietHandler);
    QApplication application(argc, argv);
    QStringList arguments = QApplication::arguments();
    const bool dark = arguments.removeAll(QStringLiteral("--dark")) > 0;
    if (arguments.size() < 2) {
        std::fputs("usage: tessaly-screenshots OUTDIR [SAMPLE.fcpxml] [--dark]\n", stderr);
        return 2;
    }
    QApplication::setPalette(dark ? tessaly::samples::darkPalette()
                                  : tessaly::samples::lightPalette());
    const QDir out(arguments[1]);
    QDir().mkpath(out.absolutePath());
    const QString sample = arguments.size() > 2
                               ? arguments[2]
                               : QStringLiteral(TESSALY_SOURCE_DIR "/examples/Day1.fcpxml");
    // Everything the runs write goes to a folder of its own, never beside the sample. Long
    // names with underscores, as editors name reels and takes, show how paths are shortened
    // and that no underscore is cut off.
    QTemporaryDir temporary;
    const QDir work(
        temporary.filePath(QStringLiteral("Projects/Reel_04_Night_Exterior/Harbour_Pickups_B")));
    QDir().mkpath(work.absolutePath());
    const QString input =
        work.filePath(QStringLiteral("Day_01_Harbour_Night_Exterior_Scene_12_Take_03.fcpxml"));
    const QString refused = work.filePath(QStringLiteral("Day_03_Rooftop_Scene_40.fcpxml"));
    if (!QFile::copy(sample, input)) {
        std::fputs("cannot copy the sample document\n", stderr);
        return 1;
    }
    QFile broken(refused);
    if (!broken.open(QIODevice::WriteOnly) || broken.write(kNoOriginals) < 0)
        return 1;
    broken.close();

    auto *window = new tessaly::SceneWindow;
    window->show();
    tessaly::ContentView &view = window->content();
    RelinkViewModel &model = view.viewModel();
    auto *dropZone = view.findChild<tessaly::DropZoneView *>(QStringLiteral("dropZone"));
    auto *results = view.findChild<tessaly::RevealContainer *>(QStringLiteral("results"));
    const auto settled = [&] { return !results->isAnimating(); };
    bool ok = true;

    settle();
    ok &= save(window, out, QStringLiteral("1-empty"));

    QMimeData drag;
    drag.setUrls({QUrl::fromLocalFile(input)});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &drag, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dropZone, &enter);
    settle();
    ok &= save(window, out, QStringLiteral("2-hovering"));
    QDragLeaveEvent leave;
    QApplication::sendEvent(dropZone, &leave);

    model.setInput(toPath(input));
    settle();
    ok &= save(window, out, QStringLiteral("3-loaded"));

    model.runDryRun();
    ok &= save(window, out, QStringLiteral("4-running"));
    ok &= waitUntil([&] { return !model.isRunning(); }) && waitUntil(settled);
    settle();
    ok &= save(window, out, QStringLiteral("5-preview"));

    model.runApply();
    ok &= waitUntil([&] { return !model.isRunning(); }) && waitUntil(settled);
    settle();
    ok &= save(window, out, QStringLiteral("6-applied"));

    model.setInput(toPath(refused));
    model.runDryRun();
    ok &= waitUntil([&] { return !model.isRunning(); }) && waitUntil(settled);
    settle();
    ok &= save(window, out, QStringLiteral("7-error"));

    auto *about = new tessaly::AboutView(window);
    about->show();
    settle();
    ok &= save(about, out, QStringLiteral("8-about"));
    about->close();

    // The desktop switches between light and dark while the window shows a preview.
    model.setInput(toPath(input));
    model.runDryRun();
    ok &= waitUntil([&] { return !model.isRunning(); }) && waitUntil(settled);
    QApplication::setPalette(dark ? tessaly::samples::lightPalette()
                                  : tessaly::samples::darkPalette());
    settle();
    ok &= save(window, out, QStringLiteral("9-switched"));
    QApplication::setPalette(dark ? tessaly::samples::darkPalette()
                                  : tessaly::samples::lightPalette());
    window->close();

    // Opened from the file manager with a file that is gone.
    const std::vector<tessaly::SceneWindow *> opened = tessaly::TessalyApp::openFiles(
        {work.filePath(QStringLiteral("Day_09_Missing_Take.fcpxml"))});
    settle();
    ok &= save(opened.front(), out, QStringLiteral("10-open-failed"));
    opened.front()->close();
    return ok ? 0 : 1;
}
