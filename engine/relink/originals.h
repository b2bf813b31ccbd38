#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tessaly {

/// Looks for `.braw` originals on this machine. A path is found when it names a readable
/// regular file (a link to one counts). A name missing as spelled is also looked for under any
/// other Unicode normalisation, folder by folder: disks formatted on a Mac often store
/// decomposed names where documents carry composed ones. A finder remembers each folder it
/// has resolved or listed, so thousands of originals in a few folders cost one look each.
class OriginalsFinder {
public:
    /// Relative paths are taken inside `documentFolder`; with an empty one they are never found.
    explicit OriginalsFinder(std::filesystem::path documentFolder = {});
    ~OriginalsFinder();
    OriginalsFinder(const OriginalsFinder &) = delete;
    OriginalsFinder &operator=(const OriginalsFinder &) = delete;

    /// True when `path` names a readable regular file, in this or another normalisation.
    bool found(std::string_view path);
    /// The same file's absolute path as spelled on disk, or nullopt when it is not found.
    std::optional<std::string> onDisk(std::string_view path);

private:
    /// A folder's entries by normalised name, each to its name as stored.
    using Listing = std::unordered_map<std::string, std::string>;
    const Listing &listing(const std::string &folder);
    /// The folder as it is spelled on disk, or nullopt when it does not exist in any spelling.
    const std::optional<std::string> &resolvedFolder(const std::string &folder);
    /// The entry of `folder` (spelled as on disk) that is `name` in some normalisation.
    std::optional<std::string> entryNamed(const std::string &folder, std::string_view name);
    /// A descriptor of the folder (spelled as on disk), or -1 when it cannot be opened.
    int folderDescriptor(const std::string &folder);
    void closeFolder();

    std::filesystem::path m_documentFolder;
    std::unordered_map<std::string, std::optional<std::string>> m_folders;
    std::unordered_map<std::string, Listing> m_listings;
    std::string m_openFolder;
    int m_openDescriptor = -1;
};

} // namespace tessaly
