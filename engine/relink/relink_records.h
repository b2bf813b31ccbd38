#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// A random version-4 UUID; it only gives a record an identity in lists.
struct RecordID {
    std::array<std::uint8_t, 16> bytes{};

    /// A fresh random identifier.
    static RecordID random();
    /// The canonical lower-case 8-4-4-4-12 spelling.
    std::string toString() const;

    friend bool operator==(const RecordID &, const RecordID &) = default;
};

/// Where a proxy's `.braw` original was looked for and what was found.
enum class OriginalPlace : std::uint8_t {
    beside,            ///< in the proxy's own folder, under its stem
    proxyFolderParent, ///< one folder up from a proxy folder named Proxy or Proxies (any case)
    searchFolder,      ///< the one file of the proxy's stem in the search folders
    missing,           ///< nowhere: the new asset points beside the proxy
    ambiguous,         ///< several different files of that stem in the search folders; the
                       ///< new asset points beside the proxy, and `candidates` lists them
};

/// The name a report gives the place: "beside", "proxyFolderParent", "searchFolder",
/// "missing" or "ambiguous".
std::string_view originalPlaceName(OriginalPlace place);

/// One proxy asset replaced by a new asset that points at the `.braw` file of the same stem.
struct RelinkChange {
    /// Makes a record with a fresh id from the five texts in this order.
    RelinkChange(std::string stem, std::string oldSrc, std::string newSrc, std::string oldAssetID,
                 std::string newAssetID);

    RecordID id;
    std::string stem;
    std::string oldSrc;     ///< the proxy's decoded file-system path
    std::string newSrc;     ///< the `.braw` file's decoded file-system path
    std::string oldAssetID; ///< the proxy asset's `id`
    std::string newAssetID; ///< the new asset's `id`
    /// Whether `newSrc` names a readable regular file on this machine: true exactly when
    /// `original` is beside, proxyFolderParent or searchFolder. False until the run has looked.
    bool brawFound = false;
    /// Where the original was found; missing until the run has looked. For proxyFolderParent
    /// and searchFolder, `newSrc` is the file's absolute path as spelled on disk.
    OriginalPlace original = OriginalPlace::missing;
    /// When ambiguous: every file the stem matched in the search folders, each once, sorted.
    std::vector<std::string> candidates;

    friend bool operator==(const RelinkChange &, const RelinkChange &) = default;
};

/// Everything one successful relink run yields.
struct RelinkResult {
    std::vector<RelinkChange> changes;
    /// The `format` of the reference `.braw` asset, which the new assets take; empty when no
    /// `.braw` asset names a format, and then every format is left as it was.
    std::string brawFormatID;
    std::map<std::string, std::string> brawFormat; ///< attributes of the reference `.braw` format
    std::vector<std::string> orphanFormatsRemoved; ///< ids of the removed `format` elements

    friend bool operator==(const RelinkResult &, const RelinkResult &) = default;
};

} // namespace tessaly
