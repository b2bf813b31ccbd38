#pragma once
// How a fuzz target reports a finding: the broken promise and what shows it, then an abort, so
// that libFuzzer keeps the input and the replay program stops at it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace tessaly::fuzz {

[[noreturn]] inline void fail(const char *what, std::string_view detail = {}) {
    std::fprintf(stderr, "finding: %s\n", what);
    if (!detail.empty())
        std::fprintf(stderr, "%.*s\n", static_cast<int>(std::min<std::size_t>(detail.size(), 2000)),
                     detail.data());
    std::abort();
}

inline void check(bool ok, const char *what, std::string_view detail = {}) {
    if (!ok)
        fail(what, detail);
}

/// FNV-1a of the input: a target draws its choices from it, so that each input always makes
/// the same ones.
inline std::uint64_t hashOf(const std::uint8_t *data, std::size_t size) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

} // namespace tessaly::fuzz
