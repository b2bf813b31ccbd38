#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// A map from text to V for lookups in a hot loop: slots hold the hash and an entry number in
/// one flat array, so a miss (the usual answer for an effect's `ref`) reads no key at all.
/// Built once, then only read; keys are unique.
template <typename V> class FlatTextMap {
public:
    explicit FlatTextMap(std::size_t expected) {
        std::size_t size = 16;
        while (size < expected * 2)
            size *= 2;
        m_slots.assign(size, Slot{0, kEmpty});
        m_entries.reserve(expected);
    }

    /// Adds a key that is not yet in the map.
    void insert(std::string key, V value) {
        const std::uint64_t hash = hashOf(key);
        if ((m_entries.size() + 1) * 2 > m_slots.size())
            grow();
        place(hash, std::uint32_t(m_entries.size()));
        m_entries.push_back({std::move(key), std::move(value)});
    }

    /// The value of `key`, or nullptr.
    const V *find(std::string_view key) const {
        const std::uint64_t hash = hashOf(key);
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t at = std::size_t(hash) & mask;; at = (at + 1) & mask) {
            const Slot &slot = m_slots[at];
            if (slot.entry == kEmpty)
                return nullptr;
            if (slot.hash == hash && m_entries[slot.entry].key == key)
                return &m_entries[slot.entry].value;
        }
    }

    bool empty() const { return m_entries.empty(); }

private:
    static constexpr std::uint32_t kEmpty = ~std::uint32_t(0);
    struct Slot {
        std::uint64_t hash;
        std::uint32_t entry;
    };
    struct Entry {
        std::string key;
        V value;
    };

    static std::uint64_t hashOf(std::string_view key) { return std::hash<std::string_view>{}(key); }

    void place(std::uint64_t hash, std::uint32_t entry) {
        const std::size_t mask = m_slots.size() - 1;
        std::size_t at = std::size_t(hash) & mask;
        while (m_slots[at].entry != kEmpty)
            at = (at + 1) & mask;
        m_slots[at] = Slot{hash, entry};
    }

    void grow() {
        std::vector<Slot> old = std::move(m_slots);
        m_slots.assign(old.size() * 2, Slot{0, kEmpty});
        for (const Slot &slot : old)
            if (slot.entry != kEmpty)
                place(slot.hash, slot.entry);
    }

    std::vector<Slot> m_slots;
    std::vector<Entry> m_entries;
};

} // namespace tessaly
