// tessaly-bench-xml: throughput of the XML layer and of the relink entry point on synthetic
// documents shaped like Final Cut Pro's exports.
#include "bench/bench_documents.h"
#include "engine/relink/fcpxml_relinker.h"
#include "engine/relink/originals.h"
#include "engine/xml/document.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using tessaly::xml::Document;

const fs::path kDataDir = TESSALY_BENCH_DATA_DIR;

// 10 MiB carries 1,000 proxies, 100 MiB the 10,000 of a feature film's dailies.
fs::path documentOf(std::int64_t mib) {
    return tessaly::bench::benchDocument(kDataDir, static_cast<std::size_t>(mib),
                                         mib >= 100 ? 10000 : 1000);
}

void finish(benchmark::State &state, const fs::path &file) {
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(file)));
    // The process's high-water mark: cumulative, so read it in the order the benchmarks run.
    state.counters["peakRSS_MiB"] = tessaly::bench::peakRssMiB();
}

void BM_Load(benchmark::State &state) {
    fs::path file = documentOf(state.range(0));
    for (auto _ : state) {
        Document doc = Document::load(file);
        benchmark::DoNotOptimize(doc.rootElement());
    }
    finish(state, file);
}
BENCHMARK(BM_Load)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadSave(benchmark::State &state) {
    fs::path file = documentOf(state.range(0));
    fs::path out = kDataDir / "bench-xml-out.fcpxml";
    for (auto _ : state)
        Document::load(file).save(out);
    finish(state, file);
    fs::remove(out);
}
BENCHMARK(BM_LoadSave)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

/// The document at `file` loaded as a run loads it, and relinked in memory.
Document relinkedCopy(const fs::path &file) {
    Document document = Document::load(file, tessaly::FCPXMLRelinker::loadOptions());
    tessaly::FCPXMLRelinker::relink(document);
    return document;
}

void BM_Preview(benchmark::State &state) {
    fs::path file = documentOf(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(relinkedCopy(file));
    finish(state, file);
}
BENCHMARK(BM_Preview)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Apply(benchmark::State &state) {
    fs::path file = documentOf(state.range(0));
    fs::path out = kDataDir / "bench-xml-relinked.fcpxml";
    for (auto _ : state)
        relinkedCopy(file).save(out);
    finish(state, file);
    fs::remove(out);
}
BENCHMARK(BM_Apply)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

// The originals check of a 10,000-proxy relink, ten folders of 1,000 files on the local disk:
// 0 every original found as spelled; 1 every one found only under its decomposed name (a disk
// formatted on a Mac), the slowest way to find one; 2 every one missing.
void BM_CheckOriginals(benchmark::State &state) {
    const std::int64_t mode = state.range(0);
    const std::string composed = "Sc\xC3\xA8ne", decomposed = "Sce\xCC\x80ne";
    const fs::path root = kDataDir / "originals";
    std::vector<tessaly::RelinkChange> changes;
    for (int folder = 0; folder < 10; ++folder) {
        const std::string name = composed + " " + std::to_string(folder);
        const fs::path onDisk =
            root / (mode == 1 ? decomposed + " " + std::to_string(folder) : name);
        fs::create_directories(onDisk);
        for (int clip = 0; clip < 1000; ++clip) {
            const std::string file = "A" + std::to_string(folder) + "_C" + std::to_string(clip);
            if (mode != 2 && !fs::exists(onDisk / (file + ".braw")))
                std::ofstream(onDisk / (file + ".braw")) << "raw";
            changes.emplace_back(file, "",
                                 (root / name / (file + (mode == 2 ? ".none" : ".braw"))).string(),
                                 "r1", "r2");
        }
    }
    std::size_t missing = 0;
    for (auto _ : state) {
        tessaly::OriginalsFinder finder;
        missing = 0;
        for (const tessaly::RelinkChange &change : changes)
            missing += finder.found(change.newSrc) ? 0 : 1;
    }
    state.counters["missing"] = static_cast<double>(missing);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(changes.size()));
}
BENCHMARK(BM_CheckOriginals)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("peak resident memory of the whole run: %.1f MiB\n", tessaly::bench::peakRssMiB());
    return 0;
}
