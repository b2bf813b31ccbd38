#pragma once

#include <stdexcept>
#include <string>

namespace tessaly {

/// Why an entry of a bundle could not be copied.
class BundleCopyError : public std::runtime_error {
public:
    /// `entry` is the path inside the bundle; `error` the system's error number, or 0 when the
    /// entry is of a kind that is never copied (`kind` then names it: "a named pipe").
    BundleCopyError(std::string entry, int error, std::string kind, bool reading);

    const std::string &entry() const { return m_entry; }
    int error() const { return m_error; }
    const std::string &kind() const { return m_kind; }
    /// True when the entry could not be read, false when the copy could not be written.
    bool reading() const { return m_reading; }

private:
    std::string m_entry;
    int m_error;
    std::string m_kind;
    bool m_reading;
};

/// Copies every entry of the open folder `from` into the open, empty folder `to`, except the
/// top-level entry named `skip`: files with their bytes, folders with their entries, links as
/// links; each copy gets its original's permission bits plus write (and, for a folder, search)
/// permission for its owner and is forced to the disk. A named pipe, socket or device is never
/// opened: it throws BundleCopyError, as does any failure.
void copyBundleEntries(int from, int to, const std::string &skip);

} // namespace tessaly
