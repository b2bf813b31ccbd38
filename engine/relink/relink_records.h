#pragma once

#include "engine/xml/document.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
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
    /// Whether `newSrc` names a readable regular file on this machine; set by the run after the
    /// relink, false until it has looked.
    bool brawFound = false;

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

/// One matched asset, as the engine keeps it during a single run.
struct AssetInfo {
    std::string id;
    std::string formatID; ///< the asset's `format`, empty when absent
    std::string src;      ///< the matching `media-rep`'s `src`, exactly as written
    xml::Element element; ///< the live `asset` element of the document
};

} // namespace tessaly
