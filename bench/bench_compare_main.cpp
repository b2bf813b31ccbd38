// tessaly-bench-compare: whole-process comparison of our load and save against a plain copy,
// expat, pugixml and lxml on one large document; medians of wall time and peak resident memory.
#include "bench/bench_documents.h"
#include "bench/child_process.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
using tessaly::bench::ChildRun;
using tessaly::bench::median;
using tessaly::bench::runMeasured;

struct Candidate {
    std::string key;
    std::string label;
    std::vector<std::string> argv;
    fs::path output; // removed before every run so that each one writes a new file
};

struct Figures {
    double seconds = 0;
    double cpuSeconds = 0;
    double peakRssMiB = 0;
};

struct Options {
    int runs = 5;
    fs::path file;
    std::size_t sizeMiB = 100;
    std::size_t proxies = 10000;
    fs::path dataDir = TESSALY_BENCH_DATA_DIR;
};

[[noreturn]] void usage() {
    std::fprintf(stderr, "usage: tessaly-bench-compare [--runs N] [--file FCPXML] [--size-mib N] "
                         "[--proxies N] [--data-dir DIR]\n");
    std::exit(2);
}

Options parseOptions(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (i + 1 >= argc)
            usage();
        std::string value = argv[++i];
        if (arg == "--runs")
            o.runs = std::max(1, std::atoi(value.c_str()));
        else if (arg == "--file")
            o.file = value;
        else if (arg == "--size-mib")
            o.sizeMiB = std::strtoul(value.c_str(), nullptr, 10);
        else if (arg == "--proxies")
            o.proxies = std::strtoul(value.c_str(), nullptr, 10);
        else if (arg == "--data-dir")
            o.dataDir = value;
        else
            usage();
    }
    return o;
}

// An apply also leaves its change log beside the output; each timed run must write both anew.
void removeOutput(const fs::path &output) {
    fs::remove(output);
    fs::remove(output.parent_path() / (output.stem().string() + ".relink.log"));
}

bool sameBytes(const fs::path &a, const fs::path &b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (fa && fb) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount() ||
            !std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin()))
            return false;
    }
    return fa.eof() && fb.eof();
}

// Debian's lxml belongs to the system interpreter, which a pyenv or venv in PATH may shadow.
std::string pythonWithLxml() {
    for (const char *python : {"/usr/bin/python3", "python3"}) {
        if (runMeasured({python, "-c", "import lxml.etree"}).exitStatus == 0)
            return python;
    }
    return {};
}

std::vector<Candidate> candidates(const fs::path &bin, const fs::path &input, const fs::path &dir) {
    auto out = [&](const char *name) {
        return dir / (std::string("compare-out-") + name + ".fcpxml");
    };
    std::vector<Candidate> list;
    list.push_back({"copy",
                    "copy (read + write)",
                    {(bin / "tessaly-bench-copy").string(), input.string(), out("copy").string()},
                    out("copy")});
    list.push_back({"expat",
                    "expat parse only",
                    {(bin / "tessaly-bench-expat").string(), input.string()},
                    {}});
    if (fs::exists(bin / "tessaly-bench-pugixml"))
        list.push_back(
            {"pugixml",
             "pugixml load + raw save",
             {(bin / "tessaly-bench-pugixml").string(), input.string(), out("pugixml").string()},
             out("pugixml")});
    if (std::string python = pythonWithLxml(); !python.empty())
        list.push_back({"lxml",
                        "lxml parse + write",
                        {python, TESSALY_BENCH_SOURCE_DIR "/lxml_roundtrip.py", input.string(),
                         out("lxml").string()},
                        out("lxml")});
    list.push_back(
        {"ours",
         "tessaly load + save",
         {(bin / "tessaly-xml-roundtrip").string(), input.string(), out("ours").string()},
         out("ours")});
    if (fs::exists(bin / "tessaly-bench-relink")) {
        list.push_back({"preview",
                        "tessaly preview (relink, no write)",
                        {(bin / "tessaly-bench-relink").string(), "--preview", input.string()},
                        {}});
        list.push_back(
            {"apply",
             "tessaly apply (relink + write)",
             {(bin / "tessaly-bench-relink").string(), input.string(), out("apply").string()},
             out("apply")});
    }
    if (fs::exists(bin / "tessaly-relink"))
        list.push_back({"command",
                        "tessaly-relink apply (command)",
                        {(bin / "tessaly-relink").string(), "--output", out("command").string(),
                         input.string()},
                        out("command")});
    return list;
}

// The bar is on wall time; the CPU-time ratio beside it tells noise from a real difference.
void printRatio(const char *what, const std::map<std::string, Figures> &f, const char *a,
                const char *b, const char *bar, bool (*meets)(double)) {
    if (!f.count(a) || !f.count(b))
        return;
    double r = f.at(a).seconds / f.at(b).seconds;
    double cpu = f.at(a).cpuSeconds / f.at(b).cpuSeconds;
    std::printf("  %-28s %6.2f   bar %-6s %-8s (CPU time %.2f)\n", what, r, bar,
                meets(r) ? "met" : "NOT MET", cpu);
}

} // namespace

int main(int argc, char **argv) {
    Options options = parseOptions(argc, argv);
    fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
    fs::path input =
        options.file.empty()
            ? tessaly::bench::benchDocument(options.dataDir, options.sizeMiB, options.proxies)
            : options.file;
    double sizeMiB = static_cast<double>(fs::file_size(input)) / (1 << 20);
    fs::create_directories(options.dataDir);

    ChildRun floor = runMeasured({"/bin/true"});
    std::printf("document: %s (%.1f MiB)\nmedians of %d runs after one warm-up run; peak RSS of an "
                "empty process here: %.1f MiB\n\n",
                input.c_str(), sizeMiB, options.runs, floor.peakRssMiB);
    std::printf("%-36s %9s %9s %9s %12s\n", "program", "seconds", "MiB/s", "CPU s", "peak RSS MiB");

    std::map<std::string, Figures> figures;
    for (const Candidate &c : candidates(bin, input, options.dataDir)) {
        std::vector<double> seconds, cpu, rss;
        bool failed = false;
        for (int run = 0; run <= options.runs && !failed; ++run) {
            if (!c.output.empty())
                removeOutput(c.output);
            ChildRun r = runMeasured(c.argv);
            if (r.exitStatus != 0) {
                std::printf("%-36s failed (exit %d): %s\n", c.label.c_str(), r.exitStatus,
                            r.errorOutput.c_str());
                failed = true;
            } else if (run > 0) {
                seconds.push_back(r.seconds);
                cpu.push_back(r.cpuSeconds);
                rss.push_back(r.peakRssMiB);
            }
        }
        if (failed)
            continue;
        Figures f{median(seconds), median(cpu), median(rss)};
        figures[c.key] = f;
        std::printf("%-36s %9.3f %9.1f %9.3f %12.1f", c.label.c_str(), f.seconds,
                    sizeMiB / f.seconds, f.cpuSeconds, f.peakRssMiB);
        if (c.key == "ours")
            std::printf("   output %s", sameBytes(input, c.output) ? "byte-identical" : "DIFFERS");
        std::printf("\n");
        if (!c.output.empty())
            removeOutput(c.output);
    }

    std::printf("\nratios for our load + save:\n");
    printRatio("time ours / pugixml", figures, "ours", "pugixml", "<= 1",
               [](double r) { return r <= 1.0; });
    printRatio("time ours / copy", figures, "ours", "copy", "<= 2",
               [](double r) { return r <= 2.0; });
    printRatio("time lxml / ours", figures, "lxml", "ours", ">= 5",
               [](double r) { return r >= 5.0; });
    if (figures.count("ours")) {
        double r = figures["ours"].peakRssMiB / sizeMiB;
        std::printf("  %-28s %6.2f   bar %-6s %s\n", "peak RSS / file size", r, "< 2",
                    r < 2 ? "met" : "NOT MET");
    }

    std::printf("\nrelinking (same run):\n");
    printRatio("time apply / ours", figures, "apply", "ours", "<= 1.3",
               [](double r) { return r <= 1.3; });
    printRatio("time apply / copy", figures, "apply", "copy", "<= 2",
               [](double r) { return r <= 2.0; });
    printRatio("time apply / pugixml", figures, "apply", "pugixml", "<= 1",
               [](double r) { return r <= 1.0; });
    printRatio("time command / copy", figures, "command", "copy", "<= 2",
               [](double r) { return r <= 2.0; });
    printRatio("time command / pugixml", figures, "command", "pugixml", "<= 1",
               [](double r) { return r <= 1.0; });
    for (const char *key : {"preview", "apply", "command"}) {
        if (!figures.count(key))
            continue;
        double r = figures[key].peakRssMiB / sizeMiB;
        std::printf("  %-28s %6.2f   bar %-6s %s\n",
                    (std::string(key) + " peak RSS / file").c_str(), r, "< 2",
                    r < 2 ? "met" : "NOT MET");
    }
    return 0;
}
