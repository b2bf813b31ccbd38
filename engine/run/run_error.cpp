#include "engine/run/run_error.h"

#include "engine/xml/text.h"

#include <cerrno>

namespace tessaly {

void WriteFailure::raise(int error) const {
    throw RunError(prefix + xml::systemErrorText(error) + ".", error, error == EEXIST);
}

void WriteFailure::raise(const std::string &reason, bool exists) const {
    throw RunError(prefix + reason + ".", 0, exists);
}

} // namespace tessaly
