#pragma once

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>

namespace tessaly::testing {

/// How much of `file`'s mappings in this process is in memory, in KiB; -1 when the system does
/// not say.
inline long residentKiB(const std::filesystem::path &file) {
    std::ifstream maps("/proc/self/smaps");
    if (!maps)
        return -1;
    long total = 0;
    bool ours = false;
    for (std::string line; std::getline(maps, line);) {
        const bool header = !line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) &&
                            line.find('-') < line.find(' ');
        if (header)
            ours = line.size() >= file.native().size() &&
                   line.compare(line.size() - file.native().size(), std::string::npos,
                                file.native()) == 0;
        else if (ours && line.rfind("Rss:", 0) == 0)
            total += std::stol(line.substr(4));
    }
    return total;
}

} // namespace tessaly::testing
