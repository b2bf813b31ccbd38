#include "engine/run/sha256.h"
#include "engine/run/trailing_digest.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>

#include <fcntl.h>
#include <unistd.h>

using namespace tessaly;
using namespace tessaly::testing;

namespace {

std::string digestOf(const std::string &bytes) {
    Sha256 sha;
    sha.update(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    return sha.hexDigest();
}

/// Bytes of every value, more than one of the reader's chunks.
std::string someBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t seed = 7;
    for (char &byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = char(seed >> 24);
    }
    return bytes;
}

} // namespace

// The digest is of the whole file as it ends up, whether the writer reported every write, some
// of them, or none: what came after the last report is read once the writer is done.
TEST(TrailingDigest, DigestsTheWholeFileWhateverTheWriterReported) {
    TempDir dir;
    const std::string bytes = someBytes((std::size_t(3) << 20) + 12345);
    const struct {
        const char *name;
        std::size_t piece;
        std::size_t reportEvery; ///< 0: never
    } cases[] = {
        {"every write reported", 65536, 1},
        {"uneven writes, some reported", 1000003, 2},
        {"nothing reported", 4096, 0},
    };
    for (const auto &c : cases) {
        const auto file = dir / (std::string(c.name) + ".bin");
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0) << c.name;
        std::uint64_t size = 0;
        std::string sha256;
        {
            TrailingDigest digest(fd);
            std::size_t writes = 0;
            for (std::size_t at = 0; at < bytes.size(); at += c.piece) {
                const std::size_t length = std::min(c.piece, bytes.size() - at);
                ASSERT_EQ(::write(fd, bytes.data() + at, length), ssize_t(length)) << c.name;
                if (c.reportEvery && ++writes % c.reportEvery == 0)
                    digest.written(at + length);
            }
            EXPECT_EQ(digest.finish(size, sha256), 0) << c.name;
        }
        ::close(fd);
        EXPECT_EQ(size, bytes.size()) << c.name;
        EXPECT_EQ(sha256, digestOf(bytes)) << c.name;
    }
}

// A failed read is the result, not a digest of what was read before it; a writer that gives up
// before finishing leaves no thread behind.
TEST(TrailingDigest, ReportsAReadErrorAndStopsWhenTheWriterGivesUp) {
    TempDir dir;
    const std::string bytes = someBytes(200000);
    const int writeOnly = ::open((dir / "w.bin").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(writeOnly, 0);
    ASSERT_EQ(::write(writeOnly, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    {
        TrailingDigest digest(writeOnly);
        digest.written(bytes.size());
        std::uint64_t size = 0;
        std::string sha256;
        EXPECT_EQ(digest.finish(size, sha256), EBADF);
        EXPECT_TRUE(sha256.empty());
    }
    ::close(writeOnly);

    const int fd = ::open((dir / "r.bin").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    for (int round = 0; round < 50; ++round) {
        std::optional<TrailingDigest> digest(std::in_place, fd);
        digest->written(round % 2 ? 0 : bytes.size());
        digest.reset(); // must return, with the thread gone
    }
    ::close(fd);
}
