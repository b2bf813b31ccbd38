#pragma once

#include <string>

namespace tessaly::xml::test {

/// expat's verdict on a document: accepted, or the text of its error.
struct ExpatVerdict {
    bool accepted;
    std::string error;
};

/// What expat, with external entities and the external DTD left unread, makes of the bytes.
/// A second opinion for the tests only; the layer never uses expat.
ExpatVerdict expatVerdict(const std::string &bytes);

} // namespace tessaly::xml::test
