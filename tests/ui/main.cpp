#include "support/temporary_settings.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace {

// The offscreen platform warns about every window of fixed size, which all of ours are.
QtMessageHandler g_previousHandler = nullptr;

void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (message.contains(QLatin1String("propagateSizeHints")))
        return;
    g_previousHandler(type, context, message);
}

} // namespace

// Widgets need a GUI application with an event loop on the thread running main; no display
// is needed.
int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Revealing a file must never reach the developer's own desktop session.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tessaly-test-bus");
    g_previousHandler = qInstallMessageHandler(quietHandler);
    QApplication application(argc, argv);
    const tessaly::testing::TemporarySettings settings;
    return RUN_ALL_TESTS();
}
