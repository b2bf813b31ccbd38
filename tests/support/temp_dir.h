#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <string_view>

namespace tessaly::testing {

/// A fresh folder, removed with everything in it.
class TempDir {
public:
    /// Made in `parent`, the system's temporary folder unless given.
    explicit TempDir(const std::filesystem::path &parent = std::filesystem::temp_directory_path()) {
        std::random_device random;
        m_path = parent / ("tessaly-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path &name) const {
        return m_path / name;
    }

private:
    std::filesystem::path m_path;
};

/// Writes `bytes` to `file`, creating its folder.
inline void writeFile(const std::filesystem::path &file, std::string_view bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

/// The whole content of `file`.
inline std::string readFile(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Every entry below `root`: files with their bytes and permission bits, folders, links with
/// their targets (never followed), and other kinds (never opened) by name.
inline std::map<std::string, std::string> snapshot(const std::filesystem::path &root,
                                                   const std::filesystem::path &below = {}) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry &entry : fs::directory_iterator(root / below)) {
        const fs::path name = below / entry.path().filename();
        const fs::file_status status = entry.symlink_status();
        if (fs::is_symlink(status)) {
            entries[name.string()] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (fs::is_directory(status)) {
            entries[name.string()] = "<folder>";
            entries.merge(snapshot(root, name));
        } else if (fs::is_regular_file(status)) {
            entries[name.string()] = readFile(entry.path()) + " <mode " +
                                     std::to_string(unsigned(status.permissions())) + ">";
        } else {
            entries[name.string()] = "<special>";
        }
    }
    return entries;
}

} // namespace tessaly::testing
