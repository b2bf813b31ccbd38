#include "bench/bench_documents.h"

#include "bench/fcpxml_generator.h"

#include <algorithm>
#include <string>
#include <sys/resource.h>

namespace tessaly::bench {

// Bump when the generator's output changes, so that stale documents are not reused.
static constexpr int kGeneratorVersion = 1;

std::filesystem::path benchDocument(const std::filesystem::path &dir, std::size_t sizeMiB,
                                    std::size_t proxies) {
    std::filesystem::create_directories(dir);
    std::filesystem::path file =
        dir / ("synthetic-" + std::to_string(sizeMiB) + "mib-" + std::to_string(proxies) + "p-v" +
               std::to_string(kGeneratorVersion) + ".fcpxml");
    if (!std::filesystem::exists(file)) {
        // Written aside and renamed, so that an interrupted run never leaves a truncated document.
        std::filesystem::path partial = file;
        partial += ".partial";
        generateFcpxml({sizeMiB << 20, proxies, 1}, partial);
        std::filesystem::rename(partial, file);
    }
    return file;
}

double peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace tessaly::bench
