#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace tessaly::bench {

/// What a synthetic document holds and how large it grows.
struct GeneratorOptions {
    std::size_t targetBytes = 10u << 20; ///< the timeline grows until the file reaches this size
    std::size_t proxies = 1000;          ///< `.mov` proxy assets, each with a distinct stem
    std::uint64_t seed = 1;              ///< same options and seed give the same bytes
};

/// What was written.
struct GeneratorStats {
    std::size_t bytes = 0;
    std::size_t proxies = 0;
    std::size_t brawAssets = 0;
    std::size_t clips = 0;
};

/// Writes a large FCPXML document shaped like Final Cut Pro's exports, streaming it to `file`.
/// Throws std::runtime_error when the file cannot be written.
GeneratorStats generateFcpxml(const GeneratorOptions &options, const std::filesystem::path &file);

} // namespace tessaly::bench
