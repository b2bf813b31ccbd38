#include "engine/xml/attribute_index.h"

#include "engine/xml/start_tag.h"

#include <cstring>

namespace tessaly::xml {

namespace {

// FNV-1a for the few bytes of a value, then mixed so that the low bits, which place it in
// the table, depend on all of them: ids such as "r1234" differ in their last bytes only.
std::uint32_t hashOf(char quote, std::string_view value) {
    std::uint32_t hash = 2166136261u ^ static_cast<unsigned char>(quote);
    for (const char c : value)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    hash ^= hash >> 16;
    hash *= 0x7feb352du;
    hash ^= hash >> 15;
    return hash;
}

constexpr std::size_t kShortValue = 7;

/// The length of a value short enough to be kept in a slot, with a bit for its quote; 0 for
/// a longer one.
std::uint8_t shortForm(char quote, std::string_view value) {
    if (value.size() > kShortValue)
        return 0;
    return std::uint8_t((value.size() + 1) | (quote == '\'' ? 0x80 : 0));
}

} // namespace

void NotedTexts::add(char quote, std::string_view value, std::uint32_t &number) {
    const std::uint32_t hash = hashOf(quote, value);
    if (!m_table.empty())
        __builtin_prefetch(&m_table[hash & (m_table.size() - 1)]);
    m_asked[m_askedCount++] = Asked{hash, quote, value, &number};
    if (m_askedCount == m_asked.size())
        flush();
}

void NotedTexts::flush() {
    for (std::size_t i = 0; i < m_askedCount; ++i)
        *m_asked[i].number = find(m_asked[i]);
    m_askedCount = 0;
}

void NotedTexts::stopAdding() {
    flush();
    std::vector<Slot>().swap(m_table);
}

std::uint32_t NotedTexts::find(const Asked &asked) {
    if (2 * (m_texts.size() + 1) > m_table.size())
        grow();
    const std::uint8_t form = shortForm(asked.quote, asked.value);
    const std::size_t mask = m_table.size() - 1;
    for (std::size_t at = asked.hash & mask;; at = (at + 1) & mask) {
        Slot &slot = m_table[at];
        if (slot.id == kNone) {
            std::string &text = m_texts.emplace_back();
            text.reserve(asked.value.size() + 1);
            text.push_back(asked.quote);
            text.append(asked.value);
            slot.hash = asked.hash;
            slot.id = std::uint32_t(m_texts.size() - 1);
            slot.shortForm = form;
            if (form)
                std::memcpy(slot.shortValue, asked.value.data(), asked.value.size());
            return slot.id;
        }
        if (slot.hash != asked.hash || slot.shortForm != form)
            continue;
        if (form ? std::memcmp(slot.shortValue, asked.value.data(), asked.value.size()) == 0
                 : quote(slot.id) == asked.quote && value(slot.id) == asked.value)
            return slot.id;
    }
}

void NotedTexts::grow() {
    std::size_t size = 1024; // a power of two, so that a hash is placed with a mask
    while (size < 4 * (m_texts.size() + 1))
        size *= 2;
    std::vector<Slot> table(size, Slot{0, kNone, 0, {}});
    const std::size_t mask = size - 1;
    for (const Slot &slot : m_table) {
        if (slot.id == kNone)
            continue;
        std::size_t at = slot.hash & mask;
        while (table[at].id != kNone)
            at = (at + 1) & mask;
        table[at] = slot;
    }
    m_table = std::move(table);
}

std::size_t AttributeIndex::add(std::string_view name) {
    if (std::size_t slot = slotOf(name); slot != npos)
        return slot;
    m_names.emplace_back(name);
    m_entries.emplace_back(ArenaAllocator<Entry>(m_arena));
    m_bits |= start_tag::nameBit(name);
    return m_names.size() - 1;
}

std::size_t AttributeIndex::slotOf(std::string_view name) const {
    for (std::size_t slot = 0; slot < m_names.size(); ++slot)
        if (m_names[slot] == name)
            return slot;
    return npos;
}

} // namespace tessaly::xml
