#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tessaly {

/// Why an apply may not write its output: the reason shown after "could not be copied to
/// “OUTPUT”: ", and whether it is only that something stands there without consent.
struct OutputRefusal {
    std::string reason;
    bool exists = false;
};

/// What an apply's output location holds.
enum class OutputState { Free, Replaceable };

/// The inputs an apply must never replace or remove: its own first, then the others.
struct ProtectedInputs {
    std::filesystem::path own;
    std::vector<std::filesystem::path> others;
};

/// Examines the output location of an apply that writes a document (`bundle` false) or a
/// bundle, without changing anything: Free when nothing stands there, Replaceable when
/// `replace` is given and what stands there is an .fcpxml document (an .fcpxmld bundle) that
/// is no input and holds none. Throws OutputRefusal otherwise, with the system's own reason
/// when the location cannot be examined.
OutputState examineOutput(const std::filesystem::path &output, bool bundle, bool replace,
                          const ProtectedInputs &inputs);

/// True when the path's last component ends in "." and `lowerExtension`, in any case.
bool hasExtension(const std::filesystem::path &path, std::string_view lowerExtension);

/// The path without trailing separators, so that "/a/B.fcpxmld/" names B.fcpxmld.
std::filesystem::path withoutTrailingSeparator(const std::filesystem::path &path);

/// An absolute, link-free spelling used to compare locations; parts that do not exist yet
/// are kept as written.
std::filesystem::path comparable(const std::filesystem::path &path);

/// True when `inner` is `outer` or lies somewhere below it.
bool isWithin(const std::filesystem::path &inner, const std::filesystem::path &outer);

} // namespace tessaly
