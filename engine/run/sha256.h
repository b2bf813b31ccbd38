#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaly {

/// An incremental SHA-256 (FIPS 180-4), enough to fingerprint a document for its change log
/// without another library: feed the bytes in any number of pieces, then read the digest once.
/// It uses the processor's SHA instructions where there are some.
class Sha256 {
public:
    enum class Engine {
        fastest,  ///< the processor's SHA instructions where there are some, else plain code
        portable, ///< plain code on every processor
    };
    explicit Sha256(Engine engine = Engine::fastest);
    /// Whether this processor has SHA instructions that `Engine::fastest` uses.
    static bool hasFasterEngine();

    /// Adds `size` bytes at `data` to the message.
    void update(const std::uint8_t *data, std::size_t size);
    /// The digest of everything added, in lower-case hex (64 characters). Ends the message: call
    /// it once.
    std::string hexDigest();

private:
    void (*m_compress)(std::uint32_t *state, const std::uint8_t *blocks, std::size_t count);
    std::array<std::uint32_t, 8> m_state;
    std::array<std::uint8_t, 64> m_block{};
    std::size_t m_blockSize = 0;
    std::uint64_t m_length = 0; ///< bytes added so far
};

} // namespace tessaly
