#include "engine/xml/node_store.h"

#include <stdexcept>

namespace tessaly::xml {

void NodeStore::grow() {
    // Ids stay below 2^31: an unopened copy keeps a node id with the top bit set in the place
    // of its first child (see DocumentImpl::kUnopened).
    if (m_size > kLargestId - kBlock)
        throw std::length_error("too many XML nodes");
    m_buffers.emplace_back(kBlock * sizeof(NodeRec), m_huge);
    m_blocks.push_back(reinterpret_cast<NodeRec *>(m_buffers.back().data()));
}

} // namespace tessaly::xml
