#pragma once

#include <filesystem>
#include <vector>

namespace tessaly {

/// The folders of originals the user chose lately, kept in the application's settings between
/// sessions, most recent first.
class RememberedFolders {
public:
    RememberedFolders() = delete;

    /// How many are kept.
    static constexpr int kKept = 5;

    /// The folders as last remembered; reads the settings only, never the folders themselves.
    static std::vector<std::filesystem::path> load();

    /// Puts `folder` first, once, and forgets the oldest beyond kKept.
    static void remember(const std::filesystem::path &folder);

    /// Those of `folders` that are still folders on disk, in order. It asks the disk, where a
    /// folder on a network volume may take long to answer: call it in a job.
    static std::vector<std::filesystem::path>
    stillThere(const std::vector<std::filesystem::path> &folders);
};

} // namespace tessaly
