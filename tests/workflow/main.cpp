#include "support/temporary_settings.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

// The view model needs a GUI thread with an event loop: the thread running main.
int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    const tessaly::testing::TemporarySettings settings;
    return RUN_ALL_TESTS();
}
