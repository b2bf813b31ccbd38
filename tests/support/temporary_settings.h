#pragma once

#include "support/temp_dir.h"

#include <QCoreApplication>
#include <QSettings>
#include <QString>

namespace tessaly::testing {

/// The application's own settings, under the application's names, kept in a fresh folder for
/// as long as this lives: tests never read or write the user's.
class TemporarySettings {
public:
    TemporarySettings() {
        QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
        QCoreApplication::setApplicationName(QStringLiteral("Tessaly"));
        const QString folder = QString::fromStdString(m_dir.path().string());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
    }

private:
    TempDir m_dir;
};

} // namespace tessaly::testing
