#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tessaly {

/// What an apply may do at its output location.
struct OutputVerdict {
    bool replace = false; ///< something stands there, and it may be replaced
    /// Why nothing may be written there, as the reason shown after "could not be copied to
    /// “OUTPUT”: "; empty when the output may be written.
    std::string refusal;
    bool exists = false; ///< refused only because something stands there without consent

    bool refused() const { return !refusal.empty(); }
    static OutputVerdict replacing() { return {true, {}, false}; }
    static OutputVerdict refusing(std::string reason, bool exists = false) {
        return {false, std::move(reason), exists};
    }
};

/// The inputs an apply must never replace or remove: its own first, then the others.
struct ProtectedInputs {
    std::filesystem::path own;
    std::vector<std::filesystem::path> others;
};

/// Examines the entry `name` of the open `folder`, the output of an apply that writes a
/// document (`bundle` false) or a bundle, without changing anything. It may be written when
/// nothing stands there, and replaced when `replace` is given and what stands there is an
/// .fcpxml document (an .fcpxmld bundle) that is no input and holds none; otherwise it is
/// refused, with the system's own reason when it cannot be examined. Through the folder the
/// output is then written to, so a folder renamed or re-linked meanwhile changes nothing.
OutputVerdict examineOutput(int folder, const std::string &name, bool bundle, bool replace,
                            const ProtectedInputs &inputs);

/// The folder that holds `path`: "." for a bare name.
std::filesystem::path folderOf(const std::filesystem::path &path);

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
