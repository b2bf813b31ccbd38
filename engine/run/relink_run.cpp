#include "engine/run/relink_run.h"

#include "engine/relink/fcpxml_relinker.h"
#include "engine/xml/document.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace fs = std::filesystem;

namespace tessaly {

namespace {

std::string lowerASCII(std::string text) {
    for (char &c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

/// The path without trailing separators, so that "/a/B.fcpxmld/" names B.fcpxmld.
fs::path withoutTrailingSeparator(const fs::path &path) {
    std::string text = path.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

bool hasExtension(const fs::path &path, std::string_view lowerExtension) {
    const fs::path name = withoutTrailingSeparator(path).filename();
    const std::string text = name.string();
    const auto dot = text.rfind('.');
    return dot != std::string::npos && lowerASCII(text.substr(dot + 1)) == lowerExtension;
}

std::string quoted(const fs::path &path) {
    return "\u201C" + path.string() + "\u201D";
}

/// The same text the document loader gives for an unreadable location.
std::string readFailure(const fs::path &path, int error) {
    return xml::DocumentError(xml::DocumentError::Kind::Read, path, std::strerror(error)).message();
}

/// An absolute, link-free spelling used to compare locations; parts that do not exist yet
/// are kept as written.
fs::path comparable(const fs::path &path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    if (error)
        return path.lexically_normal();
    fs::path resolved = fs::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal() : resolved;
}

/// True when `inner` is `outer` or lies somewhere below it.
bool isWithin(const fs::path &inner, const fs::path &outer) {
    auto innerIt = inner.begin();
    for (auto outerIt = outer.begin(); outerIt != outer.end(); ++outerIt, ++innerIt) {
        if (outerIt->empty() && std::next(outerIt) == outer.end())
            break; // a trailing separator
        if (innerIt == inner.end() || *innerIt != *outerIt)
            return false;
    }
    return true;
}

std::optional<RelinkRun::Failure> copyFile(const fs::path &input, const fs::path &output) {
    std::error_code error;
    // Never overwrite: an existing output, the input itself included, makes the copy fail.
    if (fs::symlink_status(output, error).type() != fs::file_type::not_found) {
        error = std::make_error_code(std::errc::file_exists);
    } else {
        fs::copy_file(input, output, fs::copy_options::none, error);
    }
    if (!error)
        return std::nullopt;
    return RelinkRun::Failure{std::string(RelinkRun::kCopyFileFailed) + quoted(input.filename()) +
                              " could not be copied to " + quoted(output) + ": " + error.message() +
                              "."};
}

std::optional<RelinkRun::Failure> copyBundle(const fs::path &input, const fs::path &output) {
    const auto failed = [](std::string what, const std::error_code &error) {
        return RelinkRun::Failure{std::string(RelinkRun::kCopyBundleFailed) + what + ": " +
                                  error.message() + "."};
    };
    std::error_code error;
    if (fs::symlink_status(output, error).type() != fs::file_type::not_found) {
        fs::remove_all(output, error);
        if (error)
            return failed(quoted(output) + " could not be removed", error);
    }
    // Links inside the bundle are copied as links, as the Finder would.
    fs::copy(input, output, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error)
        return failed(quoted(input.filename()) + " could not be copied to " + quoted(output),
                      error);
    return std::nullopt;
}

/// The first top-level entry of the bundle whose extension is "fcpxml", in listing order.
std::optional<fs::path> findDocument(const fs::path &bundle) {
    std::error_code error;
    fs::directory_iterator it(bundle, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        if (hasExtension(it->path(), "fcpxml"))
            return it->path();
    }
    return std::nullopt;
}

} // namespace

fs::path RelinkRun::defaultOutputLocation(const fs::path &input) {
    const fs::path location = withoutTrailingSeparator(input);
    const std::string name = location.filename().string();
    const auto dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    return location.parent_path() / (stem + "_braw." + extension);
}

std::variant<RelinkRun::Prepared, RelinkRun::Failure>
RelinkRun::prepare(const fs::path &input, const fs::path &output, bool dryRun) {
    if (!hasExtension(input, "fcpxmld")) {
        // A folder is no document; refuse it before an apply copies what may be a whole
        // media drive.
        std::error_code error;
        if (fs::is_directory(input, error))
            return Failure{readFailure(input, EISDIR)};
        if (!dryRun) {
            if (auto failure = copyFile(input, output))
                return *failure;
        }
        return Prepared{dryRun ? input : output, dryRun};
    }

    if (!dryRun) {
        // Removing or copying onto the input, or onto a folder that holds it, would destroy the
        // user's project.
        const fs::path in = comparable(input);
        const fs::path out = comparable(output);
        if (isWithin(out, in))
            return Failure{std::string(kOutputInsideInput)};
        if (isWithin(in, out))
            return Failure{std::string(kOutputContainsInput)};
        if (auto failure = copyBundle(input, output))
            return *failure;
    }

    const fs::path folder = dryRun ? input : output;
    const auto document = findDocument(folder);
    if (!document)
        return Failure{std::string(kNoDocumentInBundle)};

    // The engine rewrites the document in place; through a link it would write wherever the
    // link points, the input included.
    std::error_code error;
    const bool isLink = fs::is_symlink(fs::symlink_status(*document, error));
    if (isLink || !isWithin(comparable(*document), comparable(folder)))
        return Failure{std::string(kDocumentIsLink)};
    return Prepared{*document, dryRun};
}

RelinkRun::Outcome RelinkRun::execute(const Prepared &prepared) {
    try {
        return {FCPXMLRelinker::process(prepared.document, prepared.document, prepared.dryRun), {}};
    } catch (const RelinkError &error) {
        return {std::nullopt, error.errorDescription()};
    } catch (const xml::DocumentError &error) {
        return {std::nullopt, error.message()};
    } catch (const std::bad_alloc &) {
        return {std::nullopt, "There is not enough memory to relink " +
                                  quoted(prepared.document.filename()) + "."};
    } catch (const std::exception &error) {
        // Nothing else is expected, but a worker thread must never end the program.
        return {std::nullopt, "Tessaly could not relink " + quoted(prepared.document.filename()) +
                                  ": " + error.what()};
    }
}

RelinkRun::Outcome RelinkRun::perform(const fs::path &input, const fs::path &output, bool dryRun,
                                      fs::path *document) {
    auto prepared = prepare(input, output, dryRun);
    if (auto *failure = std::get_if<Failure>(&prepared))
        return {std::nullopt, failure->message};
    const auto &ready = std::get<Prepared>(prepared);
    if (document)
        *document = ready.document;
    return execute(ready);
}

} // namespace tessaly
