#pragma once

#include "engine/run/output_location.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace tessaly {

/// The change log of an apply to `output`, beside it and never inside a bundle: the output's
/// name without its last extension, then ".relink.log" (Day2_braw.fcpxmld gives
/// Day2_braw.relink.log).
std::filesystem::path changeLogLocation(const std::filesystem::path &output);

/// Writes `text` to `location` whole or not at all, with the permission bits `mode`. An item
/// already there is replaced only when `replace` is given and it is a regular file that is none
/// of `inputs`. Returns why it could not be written, nothing when it was; never throws.
std::optional<OutputRefusal> writeChangeLog(const std::filesystem::path &location,
                                            std::string_view text, mode_t mode, bool replace,
                                            const ProtectedInputs &inputs);

} // namespace tessaly
