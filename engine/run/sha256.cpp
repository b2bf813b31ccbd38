#include "engine/run/sha256.h"
#include "engine/run/sha256_blocks.h"

#include <algorithm>
#include <cstring>

namespace tessaly {

namespace {

constexpr std::uint32_t rotr(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

void compressBlock(std::uint32_t *state, const std::uint8_t *block) {
    std::array<std::uint32_t, 64> w;
    for (int i = 0; i < 16; ++i)
        w[i] = std::uint32_t(block[4 * i]) << 24 | std::uint32_t(block[4 * i + 1]) << 16 |
               std::uint32_t(block[4 * i + 2]) << 8 | std::uint32_t(block[4 * i + 3]);
    for (int i = 16; i < 64; ++i) {
        const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4],
                  f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
        const std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) +
                                 ((e & f) ^ (~e & g)) + sha256_blocks::kRoundConstants[i] + w[i];
        const std::uint32_t t2 =
            (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    const std::array<std::uint32_t, 8> add{a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i)
        state[i] += add[i];
}

} // namespace

void sha256_blocks::portable(std::uint32_t *state, const std::uint8_t *data, std::size_t count) {
    for (; count > 0; --count, data += 64)
        compressBlock(state, data);
}

Sha256::Sha256(Engine engine)
    : m_compress(engine == Engine::fastest && sha256_blocks::accelerated()
                     ? sha256_blocks::accelerated()
                     : &sha256_blocks::portable),
      m_state{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

bool Sha256::hasFasterEngine() {
    return sha256_blocks::accelerated() != nullptr;
}

void Sha256::update(const std::uint8_t *data, std::size_t size) {
    m_length += size;
    if (m_blockSize > 0) {
        const std::size_t take = std::min(size, m_block.size() - m_blockSize);
        std::memcpy(m_block.data() + m_blockSize, data, take);
        m_blockSize += take;
        data += take;
        size -= take;
        if (m_blockSize < m_block.size())
            return;
        m_compress(m_state.data(), m_block.data(), 1);
        m_blockSize = 0;
    }
    const std::size_t blocks = size / m_block.size();
    if (blocks > 0)
        m_compress(m_state.data(), data, blocks);
    data += blocks * m_block.size();
    size -= blocks * m_block.size();
    std::memcpy(m_block.data(), data, size);
    m_blockSize = size;
}

std::string Sha256::hexDigest() {
    const std::uint64_t bits = m_length * 8;
    static constexpr std::uint8_t kEnd = 0x80;
    update(&kEnd, 1);
    static constexpr std::array<std::uint8_t, 64> kZeros{};
    update(kZeros.data(), (m_block.size() + 56 - m_blockSize) % m_block.size());
    std::array<std::uint8_t, 8> length;
    for (int i = 0; i < 8; ++i)
        length[i] = std::uint8_t(bits >> (56 - 8 * i));
    update(length.data(), length.size());

    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const std::uint32_t word : m_state) {
        for (int shift = 28; shift >= 0; shift -= 4)
            hex.push_back(kHex[(word >> shift) & 0xF]);
    }
    return hex;
}

} // namespace tessaly
