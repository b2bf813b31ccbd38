#pragma once

#include "engine/relink/originals.h"
#include "engine/relink/relink_records.h"
#include "engine/relink/search_folders.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// Where one proxy's original is.
struct OriginalMatch {
    OriginalPlace place = OriginalPlace::missing;
    /// For proxyFolderParent and searchFolder: the new asset's `src` and the record's
    /// `newSrc`. Empty otherwise: the new asset points beside its proxy, as it always did.
    std::string src;
    std::string path;
    std::vector<std::string> candidates; ///< when ambiguous: every file, once, sorted
};

/// Where a run looks for originals besides the proxies' own folders.
struct OriginalsPlaces {
    /// The folder of the document Final Cut Pro will import, which a relative location is
    /// resolved against: the output's folder, or the output bundle itself.
    std::filesystem::path documentFolder;
    /// For a bundle input, the input bundle: a relative location that stays inside the bundle
    /// is looked for there, since the output bundle, its copy, does not exist yet.
    std::filesystem::path inputBundle;
    /// Absolute folders searched with all their subfolders, in this order.
    std::vector<std::string> searchFolders;
};

/// Finds each proxy's original: the first of these places that holds a readable regular file.
///  1. Beside the proxy: its folder, its stem, ".braw".
///  2. One folder up from a proxy folder: when the proxy's folder is named Proxy or Proxies
///     in any case (as cameras and proxy generators write them), its parent folder.
///  3. The search folders: the one file whose stem is the proxy's and whose extension is
///     "braw" in any case. Several different files there are ambiguous: nothing is guessed.
/// Names compare in any Unicode normalisation. The search folders are walked once, the first
/// time a proxy reaches rule 3.
class OriginalsLocator {
public:
    explicit OriginalsLocator(OriginalsPlaces places);

    /// The original of the proxy whose media `src` is `proxySrc`, exactly as written.
    OriginalMatch locate(std::string_view proxySrc);

    /// The folders the walk could not read, in the order met; empty before any walk.
    const std::vector<std::string> &unreadableFolders() const { return m_search.unreadable(); }

private:
    /// The file at `path` (absolute, or relative to the document) as spelled on disk.
    std::optional<std::string> onDisk(const std::string &path);
    /// The readable regular files among the search folders' entries of this stem, a file
    /// reached by several paths (hard links, links) once.
    std::vector<std::string> searchFolderFiles(std::string_view stem);

    OriginalsPlaces m_places;
    OriginalsFinder m_finder;
    SearchFolders m_search;
};

} // namespace tessaly
