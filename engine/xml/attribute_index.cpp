#include "engine/xml/attribute_index.h"

#include "engine/xml/start_tag.h"

namespace tessaly::xml {

std::size_t AttributeIndex::add(std::string_view name) {
    if (std::size_t slot = slotOf(name); slot != npos)
        return slot;
    m_names.emplace_back(name);
    m_entries.emplace_back();
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
