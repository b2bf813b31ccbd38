#pragma once

#include "engine/run/output_location.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace tessaly {

/// The change log of an apply to `output`, beside it and never inside a bundle: the output's
/// name without its last extension, then ".relink.log" (Day2_braw.fcpxmld gives
/// Day2_braw.relink.log).
std::filesystem::path changeLogLocation(const std::filesystem::path &output);

/// What the change log of `output` (the path as its header spells it) may do at the entry
/// `name` of the open `folder`: be written where nothing stands; replace, under `replace`, a
/// regular file that is none of `inputs` and no change log of another output (A.fcpxml and
/// A.fcpxmld both log to A_braw.relink.log, and neither run may take the other's).
OutputVerdict examineLogPlace(int folder, const std::string &name, bool replace,
                              const ProtectedInputs &inputs, std::string_view output);

} // namespace tessaly
