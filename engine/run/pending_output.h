#pragma once

#include "engine/run/file_system.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace tessaly {

/// A new file or folder built under a hidden temporary name beside its destination, which
/// appears at the destination whole, with one rename, or not at all.
///
/// The temporary is called ".<destination name>.tessaly-XXXXXX" and is locked while this object
/// lives. A later output to the same destination clears the temporaries nobody holds (those of
/// a killed run) and leaves those of a run still at work. Unless committed, the temporary is
/// removed with everything in it when the object goes. Failures throw std::system_error.
class PendingOutput {
public:
    enum class Kind { File, Folder };
    /// What commit may do to an item that already stands at the destination.
    enum class Placement { NeverReplace, Replace };

    /// Clears leftover temporaries of `destination`, then creates an empty temporary with
    /// exactly the permission bits `mode`.
    static PendingOutput create(const std::filesystem::path &destination, Kind kind, mode_t mode);

    PendingOutput(PendingOutput &&) noexcept = default;
    PendingOutput &operator=(PendingOutput &&) = delete;
    ~PendingOutput();

    /// The temporary: a file open for writing, or a folder open for creating entries in it.
    int fd() const { return m_item.get(); }
    const std::filesystem::path &destination() const { return m_destination; }

    /// Forces the temporary to the disk and renames it to the destination. With NeverReplace
    /// an item at the destination makes it fail with EEXIST; with Replace that item is replaced
    /// in the same step (a folder is swapped, then removed), or, where the file system cannot
    /// swap, set aside just before and removed after.
    void commit(Placement placement);

    /// The name every temporary of `destinationName` starts with; shortened so that a
    /// temporary's name stays within the file system's limit.
    static std::string temporaryPrefix(std::string_view destinationName);

private:
    PendingOutput(std::filesystem::path destination, Kind kind, os::UniqueFd folder,
                  std::string name);
    void clearLeftovers() const;
    void replaceFolder();

    std::filesystem::path m_destination;
    Kind m_kind;
    os::UniqueFd m_folder; ///< the folder that holds the destination
    std::string m_finalName;
    std::string m_name; ///< the temporary's name in m_folder; empty once it is gone
    os::UniqueFd m_item;
};

/// Writes `bytes` to a new file at `destination`, whole or not at all, with the permission bits
/// `mode`; replaces an existing file only with Placement::Replace. Throws std::system_error.
void writeFileWhole(const std::filesystem::path &destination, std::string_view bytes, mode_t mode,
                    PendingOutput::Placement placement);

} // namespace tessaly
