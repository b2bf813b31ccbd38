#pragma once

#include "engine/relink/relink_error.h"
#include "engine/relink/relink_records.h"
#include "engine/relink/used_identifiers.h"
#include "engine/xml/document.h"

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tessaly {

class OriginalsLocator;

/// The relink engine. Never instantiated: every operation is static and keeps no state.
///
/// Text keys (stems, identifiers, attribute values) compare after NFC normalisation, so
/// canonically equivalent spellings are equal; records keep the text as written.
class FCPXMLRelinker {
public:
    FCPXMLRelinker() = delete;

    /// The load options a document to relink is read with: the places of every id, ref and
    /// format noted while parsing.
    static xml::LoadOptions loadOptions();

    /// Replaces every proxy asset of the loaded document by a `.braw` twin, in place.
    /// Throws RelinkError, before changing anything, when the document cannot be relinked.
    /// With `originals`, each proxy's original is looked for on disk as its twin is made: the
    /// twin points at the file found, and each change says where that was. Without, every twin
    /// points beside its proxy and no change has looked.
    static RelinkResult relink(xml::Document &doc, OriginalsLocator *originals = nullptr);

    /// Maps keyed by normalised text (see textKey).
    using IDMap = std::unordered_map<std::string, std::string>;
    using IDSet = std::unordered_set<std::string>;

    /// Rewrites `ref` and `format` in every element child of `root` except `resources`, and in
    /// every `media` child of the root's `resources` elements (compound and multicam clips).
    /// A `format` moves to `brawFormatID` only on an element whose own `ref` moved, and only
    /// from an orphan format: sequences and clips of other assets keep theirs. Returns the old
    /// ids that a `ref` outside those places still names: the root's own, or one in another
    /// resource. Those keep their values, so their assets must stay.
    ///
    /// With `orphansNamed`, also lists every element whose `ref` or `format` names an orphan
    /// format once the pass is done: the attributes it rewrote name twins and the `.braw`
    /// format, so these are the ones it left as they were. The caller learns from them, without
    /// another pass, which orphans are still named (by the elements still in the document).
    struct OrphanNaming {
        xml::Element element;
        const std::string *format; ///< the orphan named, as held in `orphanFormats`
    };
    [[nodiscard]] static IDSet updateTimeline(xml::Element root, const IDMap &oldToNewID,
                                              const IDSet &orphanFormats,
                                              const std::string &brawFormatID,
                                              std::vector<OrphanNaming> *orphansNamed = nullptr);

    /// The file-system path of a media `src`: every "file://" removed, then percent-decoded
    /// (the undecoded text when an escape or the decoded UTF-8 is broken).
    static std::string decodeSrc(std::string_view src);
    /// The path a local `src` names on this machine, to look for a file there: for a file URL,
    /// the scheme in any case, the percent-decoded path after its host (file://localhost/a/b
    /// gives /a/b); any other text as decodeSrc gives it. Records keep decodeSrc's text.
    static std::string diskPath(std::string_view src);
    /// The media `src` of a file-system path: "file://" and the percent-encoded path.
    static std::string encodeSrc(std::string_view path);
    /// False for a `src` with a URL scheme other than `file` (`http:`, `smb:`), which names no
    /// local file and is neither a proxy nor an original.
    static bool namesLocalFile(std::string_view src);
    /// The `src` of a proxy's `.braw` twin: an absolute file URL whose escapes decode is decoded,
    /// given the `.braw` extension and encoded again; any other text keeps its spelling and has
    /// only its last extension replaced.
    static std::string brawSrc(std::string_view src);

    struct StemAndExtension {
        std::string stem;      ///< last path component without its last extension
        std::string extension; ///< lower-case, without the full stop; empty when none
    };
    /// Cuts a path's last component into stem and lower-case extension.
    static StemAndExtension stemAndExtension(std::string_view path);
    /// The `.braw` path of a proxy: its last extension replaced by ".braw".
    static std::string brawPath(std::string_view proxyPath);

    /// A new identifier "r" + (largest number in use + 1), or r100 when none; added to `used`.
    /// Never returns an identifier in use, also past the largest 64-bit number.
    static std::string nextID(UsedIdentifiers &used);

    /// The element's attributes as a map from name to decoded value; a value longer than any a
    /// format carries (see kLongestKey) is left out.
    static std::map<std::string, std::string> dictFrom(xml::Element element);
};

} // namespace tessaly
