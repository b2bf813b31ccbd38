#pragma once

#include <cstddef>
#include <filesystem>
#include <vector>

namespace tessaly::bench {

/// The synthetic document of about `sizeMiB` MiB with `proxies` proxy assets in `dir`,
/// generated on first use and reused afterwards (the generator is deterministic).
std::filesystem::path benchDocument(const std::filesystem::path &dir, std::size_t sizeMiB,
                                    std::size_t proxies);

/// The peak resident memory of this process so far, in MiB.
double peakRssMiB();

/// The median of `values`; 0 when there are none.
double median(std::vector<double> values);

} // namespace tessaly::bench
