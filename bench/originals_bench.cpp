// tessaly-bench-originals: the search for originals in the folders an editor names, on a tree of
// 100,000 files in 1,000 folders (a season's camera cards on a RAID), with a warm cache.
#include "engine/relink/originals_locator.h"
#include "engine/relink/search_folders.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kCards = 10, kFoldersPerCard = 100, kFilesPerFolder = 100;

/// The clip name of file `file` in folder `folder` of card `card`, as a camera numbers them.
std::string clip(int card, int folder, int file) {
    return "A" + std::to_string(card) + "_" + std::to_string(folder) + "_C" + std::to_string(file);
}

/// The tree, made on first use and kept in the build folder: 10 cards of 100 folders of 100
/// .braw files, 1,000 folders below the root and 100,000 files.
fs::path searchTree() {
    const fs::path root = fs::path(TESSALY_BENCH_DATA_DIR) / "search-folders";
    const fs::path done = root / ".complete";
    if (fs::exists(done))
        return root;
    for (int card = 0; card < kCards; ++card) {
        for (int folder = 0; folder < kFoldersPerCard; ++folder) {
            const fs::path at = root / ("Card " + std::to_string(card)) / std::to_string(folder);
            fs::create_directories(at);
            for (int file = 0; file < kFilesPerFolder; ++file)
                std::ofstream(at / (clip(card, folder, file) + ".braw"));
        }
    }
    std::ofstream{done};
    return root;
}

/// One walk of the whole tree, building the index by stem.
void BM_WalkSearchFolders(benchmark::State &state) {
    const fs::path root = searchTree();
    tessaly::SearchFolders warm({root.string()});
    warm.walk(); // the cache is warm from here on
    for (auto _ : state) {
        tessaly::SearchFolders folders({root.string()});
        folders.walk();
        benchmark::DoNotOptimize(folders.named("A0_0_C0"));
    }
    state.SetItemsProcessed(state.iterations() * kCards * kFoldersPerCard * kFilesPerFolder);
}
BENCHMARK(BM_WalkSearchFolders)->Unit(benchmark::kMillisecond)->UseRealTime();

/// A run's whole search: 10,000 proxies on a laptop drive, none beside its original, each found
/// in the search folder (the walk, then a look-up and a check of the file for each).
void BM_LocateInSearchFolders(benchmark::State &state) {
    const fs::path root = searchTree();
    std::vector<std::string> proxies;
    for (int card = 0; card < kCards; ++card)
        for (int file = 0; file < 1000; ++file)
            proxies.push_back("file:///Laptop/Proxies/" + clip(card, file / 10, file % 100) +
                              ".mov");
    std::size_t found = 0;
    for (auto _ : state) {
        tessaly::OriginalsLocator locator({{}, {}, {root.string()}});
        found = 0;
        for (const std::string &proxy : proxies)
            found += locator.locate(proxy).place == tessaly::OriginalPlace::searchFolder ? 1 : 0;
    }
    state.counters["found"] = double(found);
    state.SetItemsProcessed(state.iterations() * std::int64_t(proxies.size()));
}
BENCHMARK(BM_LocateInSearchFolders)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
