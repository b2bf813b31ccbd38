#include "engine/relink/relink_records.h"

#include <sys/random.h>
#include <uuid/uuid.h>

#include <cstring>

namespace tessaly {

namespace {

/// Random bytes from the kernel, fetched a page at a time: a relink of thousands of proxies
/// makes thousands of records, and one system call each is most of their cost.
class RandomPool {
public:
    bool take(std::uint8_t *out, std::size_t count) {
        if (m_used + count > m_bytes.size()) {
            std::size_t filled = 0;
            while (filled < m_bytes.size()) {
                const ssize_t got = getrandom(m_bytes.data() + filled, m_bytes.size() - filled, 0);
                if (got <= 0)
                    return false;
                filled += std::size_t(got);
            }
            m_used = 0;
        }
        std::memcpy(out, m_bytes.data() + m_used, count);
        m_used += count;
        return true;
    }

private:
    std::array<std::uint8_t, 4096> m_bytes{};
    std::size_t m_used = 4096;
};

} // namespace

RecordID RecordID::random() {
    thread_local RandomPool pool;
    RecordID id;
    if (!pool.take(id.bytes.data(), id.bytes.size())) {
        uuid_t raw;
        uuid_generate_random(raw);
        std::memcpy(id.bytes.data(), raw, id.bytes.size());
        return id;
    }
    // Version 4, RFC 4122 variant.
    id.bytes[6] = std::uint8_t((id.bytes[6] & 0x0F) | 0x40);
    id.bytes[8] = std::uint8_t((id.bytes[8] & 0x3F) | 0x80);
    return id;
}

std::string RecordID::toString() const {
    char text[37];
    uuid_unparse_lower(bytes.data(), text);
    return text;
}

RelinkChange::RelinkChange(std::string stem_, std::string oldSrc_, std::string newSrc_,
                           std::string oldAssetID_, std::string newAssetID_)
    : id(RecordID::random()), stem(std::move(stem_)), oldSrc(std::move(oldSrc_)),
      newSrc(std::move(newSrc_)), oldAssetID(std::move(oldAssetID_)),
      newAssetID(std::move(newAssetID_)) {}

std::string_view originalPlaceName(OriginalPlace place) {
    switch (place) {
    case OriginalPlace::beside:
        return "beside";
    case OriginalPlace::proxyFolderParent:
        return "proxyFolderParent";
    case OriginalPlace::searchFolder:
        return "searchFolder";
    case OriginalPlace::ambiguous:
        return "ambiguous";
    case OriginalPlace::missing:
        break;
    }
    return "missing";
}

} // namespace tessaly
