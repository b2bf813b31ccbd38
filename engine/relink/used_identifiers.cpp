#include "engine/relink/used_identifiers.h"

#include <charconv>

namespace tessaly {

UsedIdentifiers::UsedIdentifiers(std::initializer_list<std::string_view> ids) {
    for (const auto id : ids)
        insert(id);
}

bool UsedIdentifiers::insert(std::string_view id) {
    if (!m_ids.emplace(id).second)
        return false;
    if (const auto number = numberOf(id); number && (!m_largest || *number > *m_largest))
        m_largest = number;
    return true;
}

bool UsedIdentifiers::contains(std::string_view id) const {
    return m_ids.find(id) != m_ids.end();
}

std::optional<std::int64_t> UsedIdentifiers::numberOf(std::string_view id) {
    if (id.size() < 2 || id.front() != 'r')
        return std::nullopt;
    std::string_view digits = id.substr(1);
    bool negative = false;
    if (digits.front() == '+' || digits.front() == '-') {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty())
        return std::nullopt;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    // Parse the magnitude as unsigned so that the most negative 64-bit value fits too.
    std::uint64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    if (error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    constexpr auto kMax = static_cast<std::uint64_t>(INT64_MAX);
    if (negative) {
        if (magnitude > kMax + 1)
            return std::nullopt;
        return magnitude == kMax + 1 ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
    }
    if (magnitude > kMax)
        return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
}

} // namespace tessaly
