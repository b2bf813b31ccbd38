#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// The set of resource identifiers in use in one document, with the largest "r" number kept
/// up to date so that handing out a new identifier does not rescan the set.
class UsedIdentifiers {
public:
    UsedIdentifiers() = default;
    /// A set holding these identifiers.
    UsedIdentifiers(std::initializer_list<std::string_view> ids);

    /// Adds an identifier; returns false when it was already in use.
    bool insert(std::string_view id);
    /// True when the identifier is in use.
    bool contains(std::string_view id) const;
    std::size_t size() const { return m_numbered.size() + m_others.size(); }

    /// The largest number N of an identifier "rN" in use, if any.
    std::optional<std::int64_t> largestNumber() const { return m_largest; }

    /// The number of an identifier of the form "r" + optional sign + decimal digits within
    /// the signed 64-bit range, or nullopt for any other text.
    static std::optional<std::int64_t> numberOf(std::string_view id);

private:
    /// Non-negative numbers, each once, in one flat table: a document of a million proxies
    /// holds two million identifiers, and a tree of strings took 80 bytes for each.
    class NumberSet {
    public:
        bool insert(std::uint64_t number);
        bool contains(std::uint64_t number) const;
        std::size_t size() const { return m_size; }

    private:
        std::size_t slotOf(std::uint64_t stored) const;
        void grow();
        std::vector<std::uint64_t> m_slots; ///< number + 1, or 0 for an empty slot
        std::size_t m_size = 0;
    };

    /// The number of an identifier spelled "r" + decimal digits as the number itself is spelled
    /// (no sign, no leading zero): kept as the number, which names that one text only.
    static std::optional<std::uint64_t> plainNumberOf(std::string_view id);

    NumberSet m_numbered;
    std::set<std::string, std::less<>> m_others; ///< every other identifier, as text
    std::optional<std::int64_t> m_largest;
};

} // namespace tessaly
