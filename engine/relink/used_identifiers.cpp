#include "engine/relink/used_identifiers.h"

#include <charconv>

namespace tessaly {

UsedIdentifiers::UsedIdentifiers(std::initializer_list<std::string_view> ids) {
    for (const auto id : ids)
        insert(id);
}

bool UsedIdentifiers::insert(std::string_view id) {
    const std::optional<std::uint64_t> plain = plainNumberOf(id);
    if (!(plain ? m_numbered.insert(*plain) : m_others.emplace(id).second))
        return false;
    if (const auto number = numberOf(id); number && (!m_largest || *number > *m_largest))
        m_largest = number;
    return true;
}

bool UsedIdentifiers::contains(std::string_view id) const {
    if (const std::optional<std::uint64_t> plain = plainNumberOf(id))
        return m_numbered.contains(*plain);
    return m_others.find(id) != m_others.end();
}

std::optional<std::uint64_t> UsedIdentifiers::plainNumberOf(std::string_view id) {
    // Up to 19 digits: every such number fits, and "number + 1" in the table still does.
    if (id.size() < 2 || id.size() > 20 || id.front() != 'r' || (id[1] == '0' && id.size() > 2))
        return std::nullopt;
    std::uint64_t number = 0;
    for (const char c : id.substr(1)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        number = number * 10 + std::uint64_t(c - '0');
    }
    return number;
}

bool UsedIdentifiers::NumberSet::insert(std::uint64_t number) {
    if ((m_size + 1) * 2 > m_slots.size())
        grow();
    const std::size_t at = slotOf(number + 1);
    if (m_slots[at] != 0)
        return false;
    m_slots[at] = number + 1;
    ++m_size;
    return true;
}

bool UsedIdentifiers::NumberSet::contains(std::uint64_t number) const {
    return !m_slots.empty() && m_slots[slotOf(number + 1)] != 0;
}

std::size_t UsedIdentifiers::NumberSet::slotOf(std::uint64_t stored) const {
    // Numbers given out in a row must not fall in a row of slots: mix them first.
    const std::size_t mask = m_slots.size() - 1;
    std::uint64_t mixed = stored * 0x9E3779B97F4A7C15ull;
    mixed ^= mixed >> 29;
    std::size_t at = std::size_t(mixed) & mask;
    while (m_slots[at] != 0 && m_slots[at] != stored)
        at = (at + 1) & mask;
    return at;
}

void UsedIdentifiers::NumberSet::grow() {
    std::vector<std::uint64_t> old(m_slots.empty() ? 32 : m_slots.size() * 2, 0);
    old.swap(m_slots);
    for (const std::uint64_t stored : old)
        if (stored != 0)
            m_slots[slotOf(stored)] = stored;
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
