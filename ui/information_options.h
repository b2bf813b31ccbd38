#pragma once

#include <optional>
#include <ostream>

namespace tessaly {

/// Answers `--help` (`-h`) and `--version` on `out`, as every desktop program does, before any
/// window or display is needed. Returns the exit status when one of them was given before
/// "--", and none when the application should start.
std::optional<int> answerInformationOptions(int argc, char **argv, std::ostream &out);

} // namespace tessaly
