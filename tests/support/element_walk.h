#pragma once

#include "engine/xml/document.h"

namespace tessaly::testing {

/// Calls `visit` for `top` and every element below it, parents before children, without
/// recursion.
template <typename Visit> void forEachElement(xml::Element top, Visit &&visit) {
    xml::Element current = top;
    while (current) {
        visit(current);
        xml::Node next = current.firstChild();
        while (next && !next.isElement())
            next = next.nextSibling();
        if (next) {
            current = next.toElement();
            continue;
        }
        // No element child: move to the next element sibling, climbing as needed.
        xml::Element climb = current;
        current = {};
        while (climb && climb != top) {
            xml::Node sibling = climb.nextSibling();
            while (sibling && !sibling.isElement())
                sibling = sibling.nextSibling();
            if (sibling) {
                current = sibling.toElement();
                break;
            }
            climb = climb.parent();
        }
    }
}

} // namespace tessaly::testing
