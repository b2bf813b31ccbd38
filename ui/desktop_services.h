#pragma once

#include <filesystem>

namespace tessaly {

/// Shows `file` selected in the desktop's file manager, or opens its folder where the file
/// manager cannot select; failures are not reported.
void revealInFileManager(const std::filesystem::path &file);

/// Opens `file` with the desktop's default application for it; failures are not reported.
void openWithDefaultApplication(const std::filesystem::path &file);

} // namespace tessaly
