#pragma once

#include "engine/run/file_system.h"
#include "engine/run/run_error.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace tessaly {

/// A new file or folder built under a hidden temporary name beside its destination, which
/// appears at the destination whole, with one rename, or not at all.
///
/// The temporary is called ".<destination name>.tessaly-XXXXXX" and is locked while this object
/// lives. A later output to the same destination clears the temporaries nobody holds (those of
/// a killed run) and leaves those of a run still at work. Unless committed, the temporary is
/// removed with everything in it when the object goes. Failures throw RunError, told as
/// `failure` gives.
class PendingOutput {
public:
    enum class Kind { File, Folder };
    /// What commit may do to an item that already stands at the destination.
    enum class Placement { NeverReplace, Replace };

    /// Clears leftover temporaries of `destination`, then creates an empty temporary with
    /// exactly the permission bits `mode`.
    static PendingOutput create(const std::filesystem::path &destination, Kind kind, mode_t mode,
                                WriteFailure failure);
    /// The same for the destination `name` in the open `folder`, which stays the caller's.
    static PendingOutput create(int folder, const std::string &name, Kind kind, mode_t mode,
                                WriteFailure failure);

    PendingOutput(PendingOutput &&) noexcept = default;
    PendingOutput &operator=(PendingOutput &&) = delete;
    ~PendingOutput();

    /// The temporary: a file open for writing, or a folder open for creating entries in it.
    int fd() const { return m_item.get(); }
    /// The folder that holds the destination, open for as long as this object lives.
    int folder() const { return m_folder.get(); }
    /// The destination's name in folder().
    const std::string &name() const { return m_finalName; }
    /// The temporary's name in folder(); empty once committed.
    const std::string &temporaryName() const { return m_name; }

    /// Forces the temporary to the disk and renames it to the destination. With NeverReplace
    /// an item at the destination makes it fail as one that exists; with Replace that item is
    /// replaced in the same step (a folder is swapped, then removed), or, where the file system
    /// cannot swap, set aside just before and removed after. Callers that may race other runs
    /// hold a FolderLock on folder() from examining the destination until this returns: where
    /// the file system has no exclusive rename, only that lock keeps two runs apart.
    /// `lastCheck`, when given, runs once the temporary is on the disk and before it moves, and
    /// keeps it from moving by throwing.
    void commit(Placement placement, const std::function<void()> &lastCheck = {});

    /// Removes the temporaries of every output still pending in this process and keeps them
    /// from ever being committed: for a process about to end on a signal. Never returns
    /// control to a pending output; the caller ends the process.
    static void abandonAll();

    /// The name every temporary of `destinationName` starts with; shortened so that a
    /// temporary's name stays within the file system's limit.
    static std::string temporaryPrefix(std::string_view destinationName);

private:
    PendingOutput(Kind kind, os::UniqueFd folder, std::string name, WriteFailure failure);
    void createTemporary(mode_t mode);
    void clearLeftovers() const;
    void replaceFolder();

    Kind m_kind;
    WriteFailure m_failure;
    os::UniqueFd m_folder; ///< the folder that holds the destination
    std::string m_finalName;
    std::string m_name; ///< the temporary's name in m_folder; empty once it is gone
    os::UniqueFd m_item;

    /// This output's entry in the list abandonAll() clears; it goes with the output.
    class Registration {
    public:
        Registration() = default;
        Registration(Registration &&other) noexcept : m_id(std::exchange(other.m_id, 0)) {}
        Registration &operator=(Registration &&) = delete;
        ~Registration() { end(); }
        void begin(int folder, const std::string &name);
        void end();

    private:
        unsigned long m_id = 0;
    };
    Registration m_registration;
};

} // namespace tessaly
