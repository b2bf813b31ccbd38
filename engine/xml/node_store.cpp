#include "engine/xml/node_store.h"

#include <stdexcept>

namespace tessaly::xml {

void NodeStore::grow() {
    if (m_size == kNoNode - (kBlock - 1))
        throw std::length_error("too many XML nodes");
    m_buffers.emplace_back(kBlock * sizeof(NodeRec), m_huge);
    m_blocks.push_back(reinterpret_cast<NodeRec *>(m_buffers.back().data()));
}

} // namespace tessaly::xml
