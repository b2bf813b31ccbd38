#pragma once

#include "engine/xml/page_arena.h"

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::xml {

/// The values of noted attributes as written, each kept once with the quote around it. A
/// relink reads every `ref` several times; read from here, the tags spread over the whole
/// document are read once, at load, and its pages need not stay in memory for the passes.
class NotedTexts {
public:
    /// Sets `number` to the number of `value` written between `quote`s, adding the text when
    /// new. Done a few at a time, so that their places in the table are fetched together:
    /// while a document streams through the caches, the table is rarely in them. `value` must
    /// stay readable, and `number` in place, until flush() returns.
    void add(char quote, std::string_view value, std::uint32_t &number);
    /// Sets every number asked for so far.
    void flush();
    /// The value of text `id`, as written.
    std::string_view value(std::uint32_t id) const { return std::string_view(m_texts[id]).substr(1); }
    /// The quote text `id` was written in.
    char quote(std::uint32_t id) const { return m_texts[id][0]; }
    /// Frees what finding a text again takes once no more are added.
    void stopAdding();

private:
    /// One place in the table; a short value is kept in it whole, so that finding it again
    /// reads nothing else.
    struct Slot {
        std::uint32_t hash;
        std::uint32_t id; ///< kNone for an empty place
        std::uint8_t shortForm; ///< the length of a short value, with the quote's bit; or 0
        char shortValue[7];
    };
    static constexpr std::uint32_t kNone = ~std::uint32_t(0);
    struct Asked {
        std::uint32_t hash;
        char quote;
        std::string_view value;
        std::uint32_t *number;
    };

    std::uint32_t find(const Asked &asked);
    void grow();

    std::deque<std::string> m_texts; // never moved: handles point into them
    std::vector<Slot> m_table;       ///< open addressing by hash; a power of two long
    std::array<Asked, 16> m_asked{};
    std::size_t m_askedCount = 0;
};

/// Where the attributes of a few chosen names stand, noted once for the elements read at load.
/// A pass over every `ref` of a large document then reads no start tag and visits no other
/// node.
class AttributeIndex {
public:
    /// Sixteen bytes, as a long timeline has hundreds of thousands; the rare ordinal or length
    /// too large for 16 bits is kLarge and found again from the tag when needed.
    struct Entry {
        std::uint32_t element;
        std::uint32_t valueAt;     ///< source offset of the value (unused for re-spelled tags)
        std::uint16_t ordinal;     ///< position among the element's attributes, or kLarge
        std::uint16_t valueLength; ///< length of the value as written, or kLarge
        std::uint32_t text = kNoText; ///< the value among texts(), or kNoText
    };
    static constexpr std::uint32_t kNoText = ~std::uint32_t(0);
    static constexpr std::uint16_t kLarge = 0xFFFF;
    static std::uint16_t small(std::size_t n) { return n < kLarge ? std::uint16_t(n) : kLarge; }
    /// Grows without moving or doubling its storage, in pages mapped in a block at a time.
    using Entries = std::deque<Entry, ArenaAllocator<Entry>>;

    AttributeIndex() = default;
    AttributeIndex(const AttributeIndex &) = delete;
    AttributeIndex &operator=(const AttributeIndex &) = delete;

    /// Starts noting `name`; returns its slot (the existing one when already noted).
    std::size_t add(std::string_view name);
    /// The slot of a noted name, or npos.
    std::size_t slotOf(std::string_view name) const;
    static constexpr std::size_t npos = ~std::size_t(0);

    /// The name summary bits of all noted names (see start_tag::nameBit).
    std::uint16_t bits() const { return m_bits; }
    Entries &entries(std::size_t slot) { return m_entries[slot]; }
    const Entries &entries(std::size_t slot) const { return m_entries[slot]; }

    /// The values of the entries noted at load, each kept once.
    NotedTexts &texts() { return m_texts; }
    const NotedTexts &texts() const { return m_texts; }

private:
    PageArena m_arena; ///< before the entries, which it holds
    std::vector<std::string> m_names;
    std::deque<Entries> m_entries;
    NotedTexts m_texts;
    std::uint16_t m_bits = 0;
};

} // namespace tessaly::xml
