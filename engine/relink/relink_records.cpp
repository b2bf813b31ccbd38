#include "engine/relink/relink_records.h"

#include <uuid/uuid.h>

#include <cstring>

namespace tessaly {

RecordID RecordID::random() {
    uuid_t raw;
    uuid_generate_random(raw);
    RecordID id;
    std::memcpy(id.bytes.data(), raw, id.bytes.size());
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

} // namespace tessaly
