#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tessaly {

/// The `.braw` files below the folders an editor names as holding originals (another drive,
/// a RAID), indexed by stem. The folders are walked once, each with all its subfolders; a
/// folder reached twice (nested search folders, or one named twice) is listed once, and links
/// to folders are never followed, so a loop cannot hang the walk. Hidden folders and the file
/// systems' own (lost+found, a recycle bin) are passed over: a deleted clip in a trash is no
/// original. A folder that cannot be read is skipped and noted.
class SearchFolders {
public:
    /// `folders` are absolute paths; the walk happens on the first call of walk().
    explicit SearchFolders(std::vector<std::string> folders);

    /// Lists every folder, once; later calls do nothing.
    void walk();

    /// Every entry whose stem is `stem` in some Unicode normalisation and whose extension is
    /// "braw" in any case, as paths spelled on disk, in the order walked. Links among them are
    /// not resolved: whether an entry is a readable file, and which are the same file, is for
    /// the caller to decide.
    std::vector<std::string> named(std::string_view stem) const;

    /// The folders that could not be read (the named ones that do not exist among them), in
    /// the order met.
    const std::vector<std::string> &unreadable() const { return m_unreadable; }

private:
    void list(const std::string &folder, bool followLink, std::vector<std::string> &pending);

    struct Entry {
        std::uint32_t folder; ///< index into m_folders
        std::string name;
    };
    std::vector<std::string> m_roots;
    bool m_walked = false;
    std::vector<std::string> m_folders;
    std::unordered_map<std::string, std::vector<Entry>> m_byStem;
    std::vector<std::string> m_unreadable;
    /// (device, inode) of every folder listed, so that none is listed twice.
    std::unordered_map<std::uint64_t, std::unordered_set<std::uint64_t>> m_listed;
};

} // namespace tessaly
