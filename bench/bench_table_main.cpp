// tessaly-bench-table: the apply and the preview against a plain copy of the same file, on
// documents of 10 MiB, 100 MiB, 1 GiB and one with 1,000,000 proxy assets, plus the window's
// preview of the 100 MiB one. Each run of ours is paired with a copy run just before it, so a
// burst of load on a shared machine falls on both halves of a ratio; the table gives medians.
#include "bench/bench_documents.h"
#include "bench/child_process.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using tessaly::bench::ChildRun;
using tessaly::bench::median;
using tessaly::bench::runMeasured;

struct Row {
    std::string label;
    std::size_t sizeMiB;
    std::size_t proxies;
    bool preview; // the 1,000,000-asset row times the apply only
};

struct Options {
    int runs = 5;
    std::vector<std::string> rows{"10", "100", "1000", "million", "window"};
    fs::path dataDir = TESSALY_BENCH_DATA_DIR;
};

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "usage: tessaly-bench-table [--runs N] [--rows 10,100,1000,million,window] "
                 "[--data-dir DIR]\n");
    std::exit(2);
}

Options parseOptions(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (i + 1 >= argc)
            usage();
        std::string value = argv[++i];
        if (arg == "--runs") {
            o.runs = std::max(1, std::atoi(value.c_str()));
        } else if (arg == "--rows") {
            o.rows.clear();
            for (std::size_t at = 0; at <= value.size();) {
                std::size_t comma = std::min(value.find(',', at), value.size());
                o.rows.push_back(value.substr(at, comma - at));
                at = comma + 1;
            }
        } else if (arg == "--data-dir") {
            o.dataDir = value;
        } else {
            usage();
        }
    }
    return o;
}

bool wanted(const Options &o, std::string_view row) {
    return std::find(o.rows.begin(), o.rows.end(), row) != o.rows.end();
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// Paired runs of `ours` against the copy: the median of the time ratios, of ours' seconds and
// of ours' peak resident memory. An apply leaves an output and a change log to clear each time.
struct Paired {
    double ratio = 0, seconds = 0, peakMiB = 0;
    bool failed = false;
};

Paired pairedRuns(const std::vector<std::string> &copy, const std::vector<std::string> &ours,
                  const fs::path &output, int runs) {
    auto clear = [&] {
        fs::remove(output);
        fs::remove(output.parent_path() / (output.stem().string() + ".relink.log"));
        fs::remove(fs::path(copy.back()));
        // What the last run left to the disk (its writes, the blocks of the files just removed)
        // goes now, untimed: else an apply's sync waits for it, and a copy, which never syncs,
        // does not.
        ::sync();
    };
    std::vector<double> ratios, seconds, peaks;
    Paired p;
    for (int run = 0; run <= runs; ++run) { // run 0 warms the page cache
        clear();
        ChildRun floor = runMeasured(copy);
        clear();
        ChildRun r = runMeasured(ours);
        if (floor.exitStatus != 0 || r.exitStatus != 0) {
            std::fprintf(stderr, "%s failed: %s%s", ours.front().c_str(), floor.errorOutput.c_str(),
                         r.errorOutput.c_str());
            p.failed = true;
            break;
        }
        if (run == 0)
            continue;
        ratios.push_back(r.seconds / floor.seconds);
        seconds.push_back(r.seconds);
        peaks.push_back(r.peakRssMiB);
    }
    clear();
    p.ratio = median(ratios);
    p.seconds = median(seconds);
    p.peakMiB = median(peaks);
    return p;
}

} // namespace

int main(int argc, char **argv) {
    Options options = parseOptions(argc, argv);
    fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
    fs::create_directories(options.dataDir);
    const fs::path copyOut = options.dataDir / "table-copy.fcpxml";
    const fs::path applyOut = options.dataDir / "table-apply.fcpxml";

    std::printf("medians of %d paired runs after a warm-up; load average at start: %s\n\n",
                options.runs, loadAverage().c_str());
    std::printf("| document | MiB | copy s | apply s | apply / copy | preview / copy | "
                "apply peak / file | preview peak / file |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");

    const std::vector<Row> rows = {{"10", 10, 1000, true},
                                   {"100", 100, 10000, true},
                                   {"1000", 1000, 100000, true},
                                   {"million", 10, 1000000, false}};
    for (const Row &row : rows) {
        if (!wanted(options, row.label))
            continue;
        fs::path input = tessaly::bench::benchDocument(options.dataDir, row.sizeMiB, row.proxies);
        double fileMiB = static_cast<double>(fs::file_size(input)) / (1 << 20);
        std::vector<std::string> copy = {(bin / "tessaly-bench-copy").string(), input.string(),
                                         copyOut.string()};
        Paired apply = pairedRuns(
            copy, {(bin / "tessaly-bench-relink").string(), input.string(), applyOut.string()},
            applyOut, options.runs);
        Paired preview;
        if (row.preview)
            preview = pairedRuns(
                copy, {(bin / "tessaly-bench-relink").string(), "--preview", input.string()},
                applyOut, options.runs);
        if (apply.failed || preview.failed)
            return 1;
        std::string name = row.label == "million" ? "1,000,000 assets" : row.label + " MiB";
        std::printf("| %s | %.0f | %.3f | %.3f | %.2f | ", name.c_str(), fileMiB,
                    apply.seconds / apply.ratio, apply.seconds, apply.ratio);
        if (row.preview)
            std::printf("%.2f | %.2f | %.2f |\n", preview.ratio, apply.peakMiB / fileMiB,
                        preview.peakMiB / fileMiB);
        else
            std::printf("— | %.2f | — |\n", apply.peakMiB / fileMiB);
        std::fflush(stdout);
    }

    if (wanted(options, "window") && fs::exists(bin / "tessaly-bench-window-preview")) {
        fs::path input = tessaly::bench::benchDocument(options.dataDir, 100, 10000);
        double fileMiB = static_cast<double>(fs::file_size(input)) / (1 << 20);
        Paired window =
            pairedRuns({(bin / "tessaly-bench-copy").string(), input.string(), copyOut.string()},
                       {(bin / "tessaly-bench-window-preview").string(), input.string()}, applyOut,
                       options.runs);
        if (window.failed)
            return 1;
        std::printf("\nthe window's preview of the 100 MiB document (view model, offscreen): "
                    "%.3f s, %.2f x the copy, peak %.2f x the file\n",
                    window.seconds, window.ratio, window.peakMiB / fileMiB);
    }
    std::printf("\nload average at end: %s\n", loadAverage().c_str());
    return 0;
}
