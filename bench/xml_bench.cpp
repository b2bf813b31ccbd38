// tessaly-bench-xml: throughput of the XML layer (and of the relink entry point, when the
// engine has it) on synthetic documents shaped like Final Cut Pro's exports.
#include "bench/bench_documents.h"
#include "engine/xml/document.h"
#ifdef TESSALY_BENCH_HAVE_RELINKER
#include "engine/relink/fcpxml_relinker.h"
#endif

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>

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

#ifdef TESSALY_BENCH_HAVE_RELINKER
void BM_Preview(benchmark::State &state) {
    fs::path file = documentOf(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(tessaly::FCPXMLRelinker::process(file, file, true));
    finish(state, file);
}
BENCHMARK(BM_Preview)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Apply(benchmark::State &state) {
    fs::path file = documentOf(state.range(0));
    fs::path out = kDataDir / "bench-xml-relinked.fcpxml";
    for (auto _ : state)
        benchmark::DoNotOptimize(tessaly::FCPXMLRelinker::process(file, out, false));
    finish(state, file);
    fs::remove(out);
}
BENCHMARK(BM_Apply)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

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
