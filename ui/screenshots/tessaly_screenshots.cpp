// Renders each state of the window to PNG files, for looking at the window without a
// desktop: tessaly-screenshots OUTDIR [SAMPLE.fcpxml] [--dark]. Runs on the offscreen platform
// with a screen larger than any window, so that every image is whole, unless QT_QPA_PLATFORM
// says otherwise; QT_SCALE_FACTOR=2 renders at 2x, and the offscreen platform's configfile
// option sets another screen (its size, say 1366x768).

#include "ui/about_view.h"
#include "ui/content_view.h"
#include "ui/drop_zone_view.h"
#include "ui/reveal_container.h"
#include "ui/scene_window.h"
#include "ui/screenshots/sample_palettes.h"
#include "ui/tessaly_app.h"
#include "workflow/path_string.h"
#include "workflow/relink_view_model.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>
#include <algorithm>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

using tessaly::pathFromString;
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

// Where the sample export expects its camera originals; the screenshots put them on disk.
constexpr char kSampleMedia[] = "file:///Volumes/Shoot%20Day%201/A001/";

// A day of pick-ups, one proxy `media`/STEM.mov for each of `stems`, with more clips than the
// warning about missing originals names.
QByteArray pickupsDocument(const QString &media, const QStringList &stems) {
    const auto src = [&](const QString &name) {
        return QUrl::fromLocalFile(media + QLatin1Char('/') + name).toEncoded();
    };
    QByteArray document =
        QByteArrayLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<fcpxml version=\"1.10\">\n<resources>\n"
            "<format id=\"r1\" name=\"FFVideoFormat1080p2398\"/>\n"
            "<format id=\"r2\" name=\"FFVideoFormatRateUndefined\"/>\n"
            "<asset id=\"r3\" format=\"r2\"><media-rep src=\"") +
        src(QStringLiteral("A002_C001.braw")) + QByteArrayLiteral("\"/></asset>\n");
    for (qsizetype i = 0; i < stems.size(); ++i) {
        document += QByteArrayLiteral("<asset id=\"r") + QByteArray::number(10 + i) +
                    QByteArrayLiteral("\" format=\"r1\"><media-rep src=\"") +
                    src(stems[i] + QStringLiteral(".mov")) + QByteArrayLiteral("\"/></asset>\n");
    }
    return document + QByteArrayLiteral("</resources>\n</fcpxml>\n");
}

bool writeFile(const QString &name, const QByteArray &bytes) {
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

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

} // namespace

// The offscreen platform's own screen is 800x600: a window wider than that is cut at its right
// edge. One of 4000x3000 holds the window at twice its size.
std::filesystem::path largeScreenConfiguration(const std::filesystem::path &folder) {
    const std::filesystem::path file = folder / "tessaly-screenshots-screen.json";
    std::ofstream(file) << R"({"screens": [{"name": "Screenshots", "x": 0, "y": 0, )"
                        << R"("width": 4000, "height": 3000, "logicalDpi": 96, "dpr": 1}]})";
    return file;
}

int main(int argc, char **argv) {
    // Made before the application, which reads the screen as it starts; removed at the end.
    QTemporaryDir setup;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        const std::filesystem::path screen = largeScreenConfiguration(setup.path().toStdString());
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QByteArray(screen.c_str()));
    }
    g_previousHandler = qInstallMessageHandler(quietHandler);
    QApplication application(argc, argv);
    QStringList arguments = QApplication::arguments();
    static const char kUsage[] = "usage: tessaly-screenshots OUTDIR [SAMPLE.fcpxml] [--dark]\n";
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    const bool dark = arguments.removeAll(QStringLiteral("--dark")) > 0;
    // Anything else that looks like an option is a mistake, never a folder to write into.
    const bool unknownOption =
        std::any_of(arguments.begin() + 1, arguments.end(),
                    [](const QString &a) { return a.startsWith(QLatin1Char('-')); });
    if (arguments.size() < 2 || unknownOption) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    QApplication::setPalette(dark ? tessaly::samples::darkPalette()
                                  : tessaly::samples::lightPalette());
    // The folders the images remember stay with them, never among the user's own.
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, setup.path());
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
    // The sample's camera originals, all on disk.
    const QString media = work.filePath(QStringLiteral("Shoot Day 1/A001"));
    QDir().mkpath(media);
    for (const char *original : {"A001_C001.braw", "A001_C002.braw", "A001_C003.braw"})
        writeFile(media + QLatin1Char('/') + QLatin1String(original), {});
    QFile sampleFile(sample);
    if (!sampleFile.open(QIODevice::ReadOnly)) {
        std::fputs("cannot read the sample document\n", stderr);
        return 1;
    }
    QByteArray sampleBytes = sampleFile.readAll();
    sampleBytes.replace(QByteArray(kSampleMedia),
                        QByteArray(QUrl::fromLocalFile(media).toEncoded() + '/'));
    // Pick-ups whose drive holds only some of the originals; one name longer than the window.
    const QString pickupMedia = work.filePath(QStringLiteral("Pickups"));
    QDir().mkpath(pickupMedia);
    QStringList stems;
    for (int clip = 1; clip <= 13; ++clip)
        stems << QStringLiteral("A002_C%1").arg(clip, 3, 10, QLatin1Char('0'));
    stems.insert(
        10, QStringLiteral(
                "A002_C014_Harbour_Night_Exterior_Second_Unit_Drone_Plate_"
                "Wide_Establishing_Pass_Over_The_Breakwater_And_The_Lighthouse_At_Dusk_Take_07"));
    for (qsizetype i = 0; i < 9; ++i)
        writeFile(pickupMedia + QLatin1Char('/') + stems[i] + QStringLiteral(".braw"), {});
    const QString pickups = work.filePath(QStringLiteral("Day_02_Harbour_Pickups.fcpxml"));
    if (!writeFile(input, sampleBytes) || !writeFile(refused, kNoOriginals) ||
        !writeFile(pickups, pickupsDocument(pickupMedia, stems))) {
        std::fputs("cannot write the sample documents\n", stderr);
        return 1;
    }
    // A folder stands where the pick-ups' change log would go, so it cannot be written.
    QDir().mkpath(work.filePath(QStringLiteral("Day_02_Harbour_Pickups_braw.relink.log/kept")));

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

    // Waits for the run under way to end and keeps what the window then shows.
    const auto finishAndSave = [&](const QString &name) {
        const bool finished = waitUntil([&] { return !model.isRunning(); }) && waitUntil(settled);
        settle();
        const bool saved = save(window, out, name);
        return finished && saved;
    };
    const auto runAndSave = [&](void (tessaly::RelinkViewModel::*run)(), const QString &name) {
        (model.*run)();
        return finishAndSave(name);
    };
    model.setInput(pathFromString(input));
    settle();
    ok &= save(window, out, QStringLiteral("3-loaded"));

    model.runDryRun();
    ok &= save(window, out, QStringLiteral("4-running"));
    ok &= finishAndSave(QStringLiteral("5-preview"));

    ok &= runAndSave(&tessaly::RelinkViewModel::runApply, QStringLiteral("6-applied"));

    model.setInput(pathFromString(pickups));
    ok &= runAndSave(&tessaly::RelinkViewModel::runDryRun, QStringLiteral("5b-preview-missing"));

    // The editor locates the drive that holds most of the others; one take is on it twice.
    // A folder chosen in an earlier session is offered again.
    const QString raid = work.filePath(QStringLiteral("RAID/Harbour Day 2"));
    const QString earlier = work.filePath(QStringLiteral("RAID/Harbour Day 1"));
    QDir().mkpath(earlier);
    for (const char *card : {"Card A/", "Card B/"}) {
        QDir().mkpath(raid + QLatin1Char('/') + QLatin1String(card));
        writeFile(raid + QLatin1Char('/') + QLatin1String(card) + stems[12] +
                      QStringLiteral(".braw"),
                  {});
    }
    for (qsizetype i = 9; i < 12; ++i) {
        if (i != 10)
            writeFile(raid + QStringLiteral("/Card A/") + stems[i] + QStringLiteral(".braw"), {});
    }
    model.addSearchFolder(pathFromString(earlier));
    waitUntil([&] { return !model.isRunning(); });
    model.removeSearchFolder(pathFromString(earlier));
    waitUntil([&] { return !model.isRunning(); });
    model.addSearchFolder(pathFromString(raid));
    ok &= finishAndSave(QStringLiteral("5c-locate-originals"));
    model.removeSearchFolder(pathFromString(raid));
    waitUntil([&] { return !model.isRunning(); });

    ok &= runAndSave(&tessaly::RelinkViewModel::runApply, QStringLiteral("6b-applied-log-failed"));

    model.setInput(pathFromString(refused));
    ok &= runAndSave(&tessaly::RelinkViewModel::runDryRun, QStringLiteral("7-error"));

    auto *about = new tessaly::AboutView(window);
    about->show();
    settle();
    ok &= save(about, out, QStringLiteral("8-about"));
    about->close();

    // The desktop switches between light and dark while the window shows a preview.
    model.setInput(pathFromString(input));
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
    // The file is examined off the GUI thread; the refusal arrives through the event loop.
    ok &=
        waitUntil([&] { return opened.front()->content().viewModel().errorMessage().has_value(); });
    settle();
    ok &= save(opened.front(), out, QStringLiteral("10-open-failed"));
    opened.front()->close();
    return ok ? 0 : 1;
}
