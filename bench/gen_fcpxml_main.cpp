// tessaly-gen-fcpxml: writes a large synthetic FCPXML document for the benchmarks.
#include "bench/fcpxml_generator.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: tessaly-gen-fcpxml [--size-mb N] [--proxies N] [--seed N] --out FILE\n");
    std::exit(2);
}

} // namespace

int main(int argc, char **argv) {
    tessaly::bench::GeneratorOptions options;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (i + 1 >= argc)
            usage();
        const char *value = argv[++i];
        try {
            if (arg == "--size-mb")
                options.targetBytes = static_cast<std::size_t>(std::stod(value) * (1u << 20));
            else if (arg == "--proxies")
                options.proxies = std::stoul(value);
            else if (arg == "--seed")
                options.seed = std::stoull(value);
            else if (arg == "--out")
                out = value;
            else
                usage();
        } catch (const std::logic_error &) {
            usage();
        }
    }
    if (out.empty())
        usage();
    try {
        auto stats = tessaly::bench::generateFcpxml(options, out);
        std::printf("%s: %zu bytes, %zu proxy assets, %zu .braw assets, %zu clips\n", out.c_str(),
                    stats.bytes, stats.proxies, stats.brawAssets, stats.clips);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "tessaly-gen-fcpxml: %s\n", e.what());
        return 1;
    }
    return 0;
}
