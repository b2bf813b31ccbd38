#include "ui/desktop_services.h"
#include "workflow/path_string.h"

#include <QDesktopServices>
#include <QUrl>

#if defined(Q_OS_MACOS)
#include <QProcess>
#elif defined(TESSALY_HAVE_DBUS)
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#endif

namespace tessaly {

namespace {

QUrl fileURL(const std::filesystem::path &file) {
    return QUrl::fromLocalFile(pathString(file));
}

void openContainingFolder(const std::filesystem::path &file) {
    QDesktopServices::openUrl(fileURL(file.parent_path()));
}

} // namespace

void revealInFileManager(const std::filesystem::path &file) {
#if defined(Q_OS_MACOS)
    if (!QProcess::startDetached(QStringLiteral("/usr/bin/open"),
                                 {QStringLiteral("-R"), pathString(file)}))
        openContainingFolder(file);
#elif defined(TESSALY_HAVE_DBUS)
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openContainingFolder(file);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{fileURL(file).toString(QUrl::FullyEncoded)} << QString();
    // Asynchronous, so a slow or absent file manager never freezes the window; without one
    // the folder opens in whatever the desktop uses for folders.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [file](QDBusPendingCallWatcher *finished) {
                         if (finished->isError())
                             openContainingFolder(file);
                         finished->deleteLater();
                     });
#else
    openContainingFolder(file);
#endif
}

void openWithDefaultApplication(const std::filesystem::path &file) {
    QDesktopServices::openUrl(fileURL(file));
}

} // namespace tessaly
