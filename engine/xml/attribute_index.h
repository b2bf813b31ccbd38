#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::xml {

/// Where the attributes of a few chosen names stand, noted once for the elements read at load.
/// A pass over every `ref` of a large document then reads no start tag and visits no other
/// node.
class AttributeIndex {
public:
    /// Twelve bytes, as a long timeline has hundreds of thousands; the rare ordinal or length
    /// too large for 16 bits is kLarge and found again from the tag when needed.
    struct Entry {
        std::uint32_t element;
        std::uint32_t valueAt;     ///< source offset of the value (unused for re-spelled tags)
        std::uint16_t ordinal;     ///< position among the element's attributes, or kLarge
        std::uint16_t valueLength; ///< length of the value as written, or kLarge
    };
    static constexpr std::uint16_t kLarge = 0xFFFF;
    static std::uint16_t small(std::size_t n) { return n < kLarge ? std::uint16_t(n) : kLarge; }
    using Entries = std::deque<Entry>; // grows without moving or doubling its storage

    /// Starts noting `name`; returns its slot (the existing one when already noted).
    std::size_t add(std::string_view name);
    /// The slot of a noted name, or npos.
    std::size_t slotOf(std::string_view name) const;
    static constexpr std::size_t npos = ~std::size_t(0);

    /// The name summary bits of all noted names (see start_tag::nameBit).
    std::uint16_t bits() const { return m_bits; }
    Entries &entries(std::size_t slot) { return m_entries[slot]; }
    const Entries &entries(std::size_t slot) const { return m_entries[slot]; }

private:
    std::vector<std::string> m_names;
    std::deque<Entries> m_entries;
    std::uint16_t m_bits = 0;
};

} // namespace tessaly::xml
