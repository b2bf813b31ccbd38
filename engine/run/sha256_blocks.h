#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaly::sha256_blocks {

/// Runs the compression function over `count` whole 64-byte blocks at `data`, updating `state`.
using Compress = void (*)(std::uint32_t *state, const std::uint8_t *data, std::size_t count);

/// The plain C++ compression, for every processor.
void portable(std::uint32_t *state, const std::uint8_t *data, std::size_t count);

/// The compression on the processor's SHA instructions, or nullptr where there are none. A
/// change log fingerprints every document it names, and at a gigabyte the plain compression
/// takes as long as the whole relink; the instructions take a fraction of that.
Compress accelerated();

} // namespace tessaly::sha256_blocks
