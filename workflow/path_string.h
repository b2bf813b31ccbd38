#pragma once

#include <QString>

#include <filesystem>

namespace tessaly {

/// The path as the window shows it and hands it to Qt: its bytes decoded as the system decodes
/// file names.
QString pathString(const std::filesystem::path &path);

/// The file-system path of a file name that Qt or the desktop gave.
std::filesystem::path pathFromString(const QString &path);

} // namespace tessaly
