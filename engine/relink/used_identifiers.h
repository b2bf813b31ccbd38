#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

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
    std::size_t size() const { return m_ids.size(); }

    /// The largest number N of an identifier "rN" in use, if any.
    std::optional<std::int64_t> largestNumber() const { return m_largest; }

    /// The number of an identifier of the form "r" + optional sign + decimal digits within
    /// the signed 64-bit range, or nullopt for any other text.
    static std::optional<std::int64_t> numberOf(std::string_view id);

private:
    std::set<std::string, std::less<>> m_ids;
    std::optional<std::int64_t> m_largest;
};

} // namespace tessaly
