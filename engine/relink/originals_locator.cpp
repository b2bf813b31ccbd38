#include "engine/relink/originals_locator.h"

#include "engine/relink/fcpxml_relinker.h"
#include "engine/xml/text.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <utility>

namespace fs = std::filesystem;

namespace tessaly {

namespace {

fs::path absoluteFolder(const fs::path &path) {
    if (path.empty())
        return path;
    std::error_code error;
    fs::path full = fs::absolute(path, error);
    return error ? fs::path() : full.lexically_normal();
}

/// True when a relative location names an entry of the bundle that holds the document.
bool staysInBundle(const std::string &location) {
    const fs::path normal = fs::path(location).lexically_normal();
    return !normal.empty() && *normal.begin() != "..";
}

/// The folder a path's last component sits in, by name ("Proxy" for /a/Proxy/B.mov), or
/// an empty view.
std::string_view folderName(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0)
        return {};
    const std::string_view folder = path.substr(0, slash);
    return folder.substr(folder.rfind('/') + 1);
}

bool isProxyFolder(std::string_view name) {
    return xml::equalsIgnoringASCIICase(name, "proxy") ||
           xml::equalsIgnoringASCIICase(name, "proxies");
}

/// `text` without the folder its last component sits in: "a/Proxy/B.mov" gives "a/B.mov".
std::string withoutLastFolder(std::string_view text) {
    const auto last = text.rfind('/');
    const auto before = last == 0 ? std::string_view::npos : text.rfind('/', last - 1);
    if (before == std::string_view::npos)
        return std::string(text.substr(last + 1));
    return std::string(text.substr(0, before + 1)).append(text.substr(last + 1));
}

} // namespace

OriginalsLocator::OriginalsLocator(OriginalsPlaces places)
    : m_places(std::move(places)), m_search(m_places.searchFolders) {
    m_places.documentFolder = absoluteFolder(m_places.documentFolder);
    m_places.inputBundle = absoluteFolder(m_places.inputBundle);
}

std::optional<std::string> OriginalsLocator::onDisk(const std::string &path) {
    if (path.empty() || path.front() == '/')
        return m_finder.onDisk(path);
    // A relative location is the document's, resolved the way Final Cut Pro resolves it once
    // it imports the output; ".." is taken off by name, since the output may not exist yet.
    const fs::path &base = !m_places.inputBundle.empty() && staysInBundle(path)
                               ? m_places.inputBundle
                               : m_places.documentFolder;
    if (base.empty())
        return std::nullopt;
    return m_finder.onDisk((base / path).lexically_normal().string());
}

OriginalMatch OriginalsLocator::locate(std::string_view proxySrc) {
    const std::string proxy = FCPXMLRelinker::diskPath(proxySrc);
    OriginalMatch match;
    if (onDisk(FCPXMLRelinker::brawPath(proxy))) {
        match.place = OriginalPlace::beside;
        return match;
    }

    if (isProxyFolder(folderName(proxy))) {
        if (auto found = onDisk(FCPXMLRelinker::brawPath(withoutLastFolder(proxy)))) {
            match.place = OriginalPlace::proxyFolderParent;
            if (!proxy.empty() && proxy.front() == '/') {
                match.path = std::move(*found);
                match.src = FCPXMLRelinker::encodeSrc(match.path);
            } else {
                // A relative location stays relative: inside a bundle, an absolute one would
                // name the input bundle rather than the output, its copy.
                match.src = FCPXMLRelinker::brawSrc(withoutLastFolder(proxySrc));
                match.path = FCPXMLRelinker::brawPath(withoutLastFolder(proxy));
            }
            return match;
        }
    }

    if (!m_places.searchFolders.empty()) {
        std::vector<std::string> files =
            searchFolderFiles(FCPXMLRelinker::stemAndExtension(proxy).stem);
        if (files.size() == 1) {
            match.place = OriginalPlace::searchFolder;
            match.path = std::move(files.front());
            match.src = FCPXMLRelinker::encodeSrc(match.path);
        } else if (files.size() > 1) {
            match.place = OriginalPlace::ambiguous;
            std::sort(files.begin(), files.end());
            match.candidates = std::move(files);
        }
    }
    return match;
}

std::vector<std::string> OriginalsLocator::searchFolderFiles(std::string_view stem) {
    m_search.walk();
    std::vector<std::string> files;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (std::string &path : m_search.named(stem)) {
        // stat follows a link: a link to an original counts as that original.
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
            ::access(path.c_str(), R_OK) != 0)
            continue;
        if (seen.emplace(info.st_dev, info.st_ino).second)
            files.push_back(std::move(path));
    }
    return files;
}

} // namespace tessaly
