// What of a large mapped file stays in memory while readers come back to it.
#include "engine/xml/source_sweep.h"
#include "support/mapped_resident.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sys/mman.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace tessaly::testing;
using namespace tessaly::xml;

namespace {

constexpr std::size_t kMiB = std::size_t(1) << 20;

/// A file of `size` bytes mapped as a document is.
class MappedFile {
public:
    MappedFile(const fs::path &file, std::size_t size) : m_size(size) {
        std::ofstream(file, std::ios::binary) << std::string(size, 'x');
        const int fd = ::open(file.c_str(), O_RDONLY);
        m_data = static_cast<const char *>(::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0));
        ::close(fd);
    }
    ~MappedFile() { ::munmap(const_cast<char *>(m_data), m_size); }
    const char *data() const { return m_data; }

private:
    std::size_t m_size;
    const char *m_data;
};

/// Reads a byte of every page from `begin` to `end` as a revisiting reader, and returns the
/// most of `file` that was in memory meanwhile, in MiB.
long readAlong(SourceSweep &sweep, const MappedFile &mapped, const fs::path &file,
               std::size_t begin, std::size_t end) {
    long most = 0;
    volatile char sink = 0;
    for (std::size_t at = begin; at < end; at += 4096) {
        sweep.revisit(at);
        sink = sink + mapped.data()[at];
        if (at % kMiB == 0)
            most = std::max(most, residentKiB(file) / 1024);
    }
    return most;
}

} // namespace

// Readers that come back to a file once its first reading is done: one that goes through all
// of it, two that take turns in distant parts, one that starts again from the beginning. Past
// the budget each keeps only what is near it; the file is never held whole.
TEST(SourceSweep, RevisitsKeepToTheBudget) {
    TempDir dir;
    const fs::path file = dir / "Large.fcpxml";
    const std::size_t size = 96 * kMiB, budget = 16 * kMiB;
    const MappedFile mapped(file, size);
    SourceSweep sweep(mapped.data(), size, budget);
    if (residentKiB(file) < 0)
        GTEST_SKIP() << "this system does not tell what of a mapping is in memory";
    sweep.finish();
    EXPECT_LT(residentKiB(file), 1024);

    // The budget, what a reader keeps behind it and reads ahead, and a few blocks more; with
    // several readers, what the two newest keep beside the budget.
    const long bound = 16 + 8 + 4 + 2;
    const long several = 16 + 2 * (8 + 4) + 6;
    EXPECT_LE(readAlong(sweep, mapped, file, 0, size), bound);

    // Two readers taking turns a megabyte at a time, far apart, each from where it was.
    long most = 0;
    for (std::size_t step = 0; step < 40; ++step) {
        most = std::max(most, readAlong(sweep, mapped, file, step * kMiB, (step + 1) * kMiB));
        most = std::max(most, readAlong(sweep, mapped, file, (50 + step) * kMiB,
                                        (51 + step) * kMiB));
    }
    EXPECT_LE(most, several);

    // More readers than it follows at once: the one it follows least recently gives way, and
    // what that one held goes.
    most = 0;
    for (std::size_t round = 0; round < 6; ++round)
        for (std::size_t reader = 0; reader < 5; ++reader) {
            const std::size_t at = (reader * 19 + round) * kMiB;
            most = std::max(most, readAlong(sweep, mapped, file, at, at + kMiB));
        }
    EXPECT_LE(most, several);

    // Starting again: what the earlier readers held goes as this one needs room.
    EXPECT_LE(readAlong(sweep, mapped, file, 0, size), several);

    sweep.finish();
    EXPECT_LT(residentKiB(file), 1024);
}

// Within the budget nothing is given back between passes: a small export's resources read by
// one pass are still there for the next.
TEST(SourceSweep, RevisitsWithinTheBudgetStay) {
    TempDir dir;
    const fs::path file = dir / "Small.fcpxml";
    const std::size_t size = 40 * kMiB;
    const MappedFile mapped(file, size);
    SourceSweep sweep(mapped.data(), size);
    if (residentKiB(file) < 0)
        GTEST_SKIP() << "this system does not tell what of a mapping is in memory";
    sweep.finish();
    readAlong(sweep, mapped, file, 0, size);
    EXPECT_GE(residentKiB(file) / 1024, 39);
    readAlong(sweep, mapped, file, 0, size);
    EXPECT_GE(residentKiB(file) / 1024, 39);
    sweep.finish();
    EXPECT_LT(residentKiB(file), 1024);
}
