#include "engine/relink/fcpxml_relinker.h"

namespace tessaly {

namespace {

/// Adds one to a text of decimal digits.
std::string incrementDecimal(std::string digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return digits;
        }
        *it = '0';
    }
    return '1' + digits;
}

} // namespace

std::string FCPXMLRelinker::nextID(UsedIdentifiers &used) {
    const std::int64_t largest = used.largestNumber().value_or(99);
    std::string candidate;
    if (largest < INT64_MAX) {
        candidate = "r" + std::to_string(largest + 1);
    } else {
        // Past the 64-bit range the number no longer counts as in use, so the next call would
        // propose the same text again: step on until a text that is really free.
        std::string digits = incrementDecimal(std::to_string(largest));
        while (used.contains("r" + digits))
            digits = incrementDecimal(std::move(digits));
        candidate = "r" + digits;
    }
    used.insert(candidate);
    return candidate;
}

} // namespace tessaly
