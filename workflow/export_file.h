#pragma once

#include <QString>

#include <filesystem>
#include <optional>

namespace tessaly {

/// Whether `file`'s extension is `fcpxml` or `fcpxmld`, in any case.
bool hasExportExtension(const std::filesystem::path &file);

/// Why `file` cannot be opened as a Final Cut Pro export, as the sentence the user is shown;
/// none when it can. An export saved under another name is still known by its first tag, as
/// the desktop's type definition knows it. Reads the disk: call it off the GUI thread.
std::optional<QString> whyNotAnExport(const std::filesystem::path &file);

} // namespace tessaly
