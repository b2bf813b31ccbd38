#pragma once

#include "engine/xml/document.h"

namespace tessaly::testing {

/// `node` if it is an element, otherwise the first element among its following siblings.
inline xml::Element elementFrom(xml::Node node) {
    while (node && !node.isElement())
        node = node.nextSibling();
    return node ? node.toElement() : xml::Element();
}

/// Calls `visit` for `top` and every element below it, parents before children, without
/// recursion.
template <typename Visit> void forEachElement(xml::Element top, Visit &&visit) {
    xml::Element current = top;
    while (current) {
        visit(current);
        if (xml::Element child = elementFrom(current.firstChild())) {
            current = child;
            continue;
        }
        // No element child: move to the next element sibling, climbing as needed.
        xml::Element climb = current;
        current = {};
        while (climb && climb != top) {
            current = elementFrom(climb.nextSibling());
            if (current)
                break;
            climb = climb.parent();
        }
    }
}

} // namespace tessaly::testing
