#pragma once

#include <cassert>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// A map from text to V for lookups in a hot loop. Slots sit in one flat array; a key of up to
/// eight bytes (the usual identifier, "r12345") is kept in its slot, so a lookup touches one
/// slot and no key storage. Built once, then only read; keys are unique.
template <typename V> class FlatTextMap {
public:
    explicit FlatTextMap(std::size_t expected) {
        std::size_t size = 16;
        while (size < expected * 2)
            size *= 2;
        m_slots.assign(size, Slot{});
        m_entries.reserve(expected);
    }

    /// Adds a key that is not yet in the map; at most `expected` keys are added.
    void insert(std::string key, V value) {
        assert((m_entries.size() + 1) * 2 <= m_slots.size());
        place(slotFor(key, std::uint32_t(m_entries.size())));
        m_entries.push_back({std::move(key), std::move(value)});
    }

    /// The value of `key`, or nullptr.
    const V *find(std::string_view key) const {
        const Slot probe = slotFor(key, 0);
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t at = std::size_t(mix(probe.word, probe.length)) & mask;;
             at = (at + 1) & mask) {
            const Slot &slot = m_slots[at];
            if (slot.entry == kEmpty)
                return nullptr;
            if (slot.word == probe.word && slot.length == probe.length &&
                (probe.length <= kInline || m_entries[slot.entry].key == key))
                return &m_entries[slot.entry].value;
        }
    }

private:
    static constexpr std::uint32_t kEmpty = ~std::uint32_t(0);
    static constexpr std::size_t kInline = sizeof(std::uint64_t);
    struct Slot {
        std::uint64_t word = 0; ///< the key's bytes when it fits, else its hash
        std::uint32_t length = 0;
        std::uint32_t entry = kEmpty;
    };
    struct Entry {
        std::string key;
        V value;
    };

    static Slot slotFor(std::string_view key, std::uint32_t entry) {
        std::uint64_t word = 0;
        if (key.size() <= kInline) {
            for (std::size_t i = 0; i < key.size(); ++i)
                word |= std::uint64_t(static_cast<unsigned char>(key[i])) << (8 * i);
        } else {
            word = std::hash<std::string_view>{}(key);
        }
        return Slot{word, std::uint32_t(key.size()), entry};
    }

    static std::uint64_t mix(std::uint64_t word, std::uint32_t length) {
        std::uint64_t h = (word ^ length) * 0x9E3779B97F4A7C15ull;
        return h ^ (h >> 29);
    }

    void place(const Slot &slot) {
        const std::size_t mask = m_slots.size() - 1;
        std::size_t at = std::size_t(mix(slot.word, slot.length)) & mask;
        while (m_slots[at].entry != kEmpty)
            at = (at + 1) & mask;
        m_slots[at] = slot;
    }

    std::vector<Slot> m_slots;
    std::vector<Entry> m_entries;
};

} // namespace tessaly
