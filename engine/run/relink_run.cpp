#include "engine/run/relink_run.h"

#include "engine/relink/change_log.h"
#include "engine/relink/fcpxml_relinker.h"
#include "engine/relink/originals_locator.h"
#include "engine/run/bundle_copy.h"
#include "engine/run/change_log_file.h"
#include "engine/run/file_system.h"
#include "engine/run/output_location.h"
#include "engine/run/pending_output.h"
#include "engine/xml/document.h"
#include "engine/xml/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tessaly {

namespace {

constexpr mode_t kPermissionBits = S_IRWXU | S_IRWXG | S_IRWXO;

/// A run that ends with a message of its own.
struct RunFailure {
    std::string message;
    bool outputExists = false;
};

std::string inQuotes(const fs::path &path) {
    return xml::curlyQuoted(path.string());
}

std::string reasonFor(int error) {
    return os::isDiskFull(error) ? "the disk is full" : std::strerror(error);
}

/// The pieces of one run, resolved once.
struct Locations {
    fs::path input;  ///< as the user gave it, without a trailing separator
    fs::path output; ///< likewise
    bool bundle = false;

    /// The failure to write the output, in the words the user knows: the input is copied.
    RunFailure outputFailure(const std::string &reason, bool exists = false) const {
        const std::string_view prefix =
            bundle ? RelinkRun::kCopyBundleFailed : RelinkRun::kCopyFileFailed;
        return {std::string(prefix) + inQuotes(input.filename()) + " could not be copied to " +
                    inQuotes(output) + ": " + reason + ".",
                exists};
    }
};

/// Examines the output as an apply would and says whether it may replace what stands there.
PendingOutput::Placement placementFor(const RunRequest &request, const Locations &at) {
    try {
        const OutputState state = examineOutput(at.output, at.bundle, request.replaceExisting,
                                                {at.input, request.otherInputs});
        return state == OutputState::Replaceable ? PendingOutput::Placement::Replace
                                                 : PendingOutput::Placement::NeverReplace;
    } catch (const OutputRefusal &refusal) {
        throw at.outputFailure(refusal.reason, refusal.exists);
    }
}

/// Moves a finished output into place, having looked again at what now stands there: another
/// run may have written it meanwhile.
void commit(PendingOutput &pending, const RunRequest &request, const Locations &at) {
    for (int attempt = 1;; ++attempt) {
        const PendingOutput::Placement placement = placementFor(request, at);
        try {
            pending.commit(placement);
            return;
        } catch (const std::system_error &error) {
            const int code = error.code().value();
            // Another run put its output there between the look and the move: with consent,
            // look again and replace it.
            if (code == EEXIST && request.replaceExisting && attempt < 3)
                continue;
            throw at.outputFailure(reasonFor(code), code == EEXIST);
        }
    }
}

PendingOutput createOutput(const Locations &at, PendingOutput::Kind kind, mode_t mode) {
    try {
        return PendingOutput::create(at.output, kind, mode);
    } catch (const std::system_error &error) {
        throw at.outputFailure(reasonFor(error.code().value()));
    }
}

/// The run's own refusal to read its input. `subject` is the quoted name the user knows; the
/// sentence is the one the document itself gives when it cannot be read, so both read alike.
RunFailure cannotRead(const std::string &subject, const std::string &reason) {
    return {"Cannot read " + subject + ": " + reason + "."};
}

/// Why an item that is no regular file cannot be read as a document.
RunFailure notAFile(const std::string &subject, const struct stat &info) {
    if (S_ISDIR(info.st_mode))
        return cannotRead(subject, reasonFor(EISDIR));
    return cannotRead(subject,
                      "it is " + std::string(os::kindName(info.st_mode)) + ", not a regular file");
}

/// The refusal of a run that requires every original: how many are missing or ambiguous, and
/// the first few by name.
RunFailure missingOriginalsFailure(const std::vector<RelinkChange> &changes, std::size_t missing,
                                   std::size_t ambiguous, const RunRequest &request,
                                   const Locations &at) {
    constexpr std::size_t kNamed = 3;
    const std::size_t total = changes.size();
    const auto named = [&](OriginalPlace place, std::size_t count) {
        std::string list;
        std::size_t listed = 0;
        for (const RelinkChange &change : changes) {
            if (change.original != place)
                continue;
            if (listed == kNamed)
                break;
            list += (listed ? ", " : "") + inQuotes(fs::path(change.newSrc).filename());
            if (place == OriginalPlace::ambiguous)
                list += " (" + std::to_string(change.candidates.size()) + " files)";
            ++listed;
        }
        if (count > listed)
            list += " and " + std::to_string(count - listed) + " more";
        return list;
    };
    const auto of = [&](std::size_t count) {
        return std::to_string(count) + " of " + std::to_string(total) +
               (total == 1 ? " .braw original of " : " .braw originals of ") +
               inQuotes(at.input.filename()) + (count == 1 ? " is" : " are");
    };
    std::string message;
    if (missing > 0)
        message = of(missing) +
                  " missing on this computer: " + named(OriginalPlace::missing, missing) + ".";
    if (ambiguous > 0)
        message += std::string(message.empty() ? "" : " ") + of(ambiguous) +
                   " found more than once in the search folders: " +
                   named(OriginalPlace::ambiguous, ambiguous) + ".";
    if (!request.dryRun)
        message += " Nothing was written.";
    return {message};
}

/// The search folders as the run searches them: absolute, each once, in the order given.
std::vector<fs::path> searchFoldersOf(const RunRequest &request) {
    std::vector<fs::path> folders;
    for (const fs::path &given : request.searchFolders) {
        std::error_code error;
        const fs::path absolute = fs::absolute(given, error);
        const fs::path folder =
            withoutTrailingSeparator((error ? given : absolute).lexically_normal());
        if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    }
    return folders;
}

/// The one warning of a run whose search folders could not all be read.
std::string unreadableFoldersWarning(const std::vector<fs::path> &folders) {
    if (folders.empty())
        return {};
    std::string list;
    for (const fs::path &folder : folders)
        list += (list.empty() ? "" : ", ") + inQuotes(folder);
    return (folders.size() == 1 ? "This folder could not be read and was not searched for "
                                  "originals: "
                                : "These folders could not be read and were not searched for "
                                  "originals: ") +
           list + ".";
}

/// The relink and whatever looks at its result before anything is written: both kinds of
/// input pass here, in a preview and an apply alike, on the run's own thread.
RelinkResult relinkDocument(xml::Document &document, const RunRequest &request, const Locations &at,
                            RunOutcome &outcome) {
    // Originals are looked for where Final Cut Pro will look once it imports the output, which
    // resolves a relative location against the document's folder.
    const fs::path output = at.output.empty() ? at.input : at.output;
    OriginalsPlaces places;
    places.documentFolder = at.bundle ? output : output.parent_path();
    if (places.documentFolder.empty())
        places.documentFolder = ".";
    if (at.bundle)
        places.inputBundle = at.input;
    for (const fs::path &folder : outcome.searchFolders)
        places.searchFolders.push_back(folder.string());
    OriginalsLocator originals(std::move(places));

    RelinkResult result = FCPXMLRelinker::relink(document, &originals);
    std::size_t missing = 0, ambiguous = 0;
    for (const RelinkChange &change : result.changes) {
        missing += change.original == OriginalPlace::missing ? 1 : 0;
        ambiguous += change.original == OriginalPlace::ambiguous ? 1 : 0;
    }
    outcome.missingOriginals = missing;
    outcome.ambiguousOriginals = ambiguous;
    for (const std::string &folder : originals.unreadableFolders())
        outcome.unreadableFolders.emplace_back(folder);
    outcome.searchWarning = unreadableFoldersWarning(outcome.unreadableFolders);
    if ((missing > 0 || ambiguous > 0) && request.requireOriginals)
        throw missingOriginalsFailure(result.changes, missing, ambiguous, request, at);
    return result;
}

/// Writes the change log of a successful apply beside its output. Its failure is reported in
/// the outcome and fails nothing: the output is already in place.
void writeLogOf(const RunRequest &request, const Locations &at, mode_t documentMode,
                RunOutcome &outcome) {
    const fs::path location = changeLogLocation(at.output);
    // A log is read later, perhaps elsewhere: it names the files in full.
    const auto full = [](const fs::path &path) {
        std::error_code error;
        fs::path absolute = fs::absolute(path, error);
        return (error ? path : absolute).lexically_normal().string();
    };
    std::optional<OutputRefusal> refusal;
    try {
        ChangeLogHeader header{changeLogProgram(), localDateTime(std::time(nullptr)),
                               full(at.input), full(outcome.written),
                               at.bundle ? outcome.document.filename().string() : ""};
        for (const fs::path &folder : outcome.searchFolders)
            header.searchFolders.push_back(folder.string());
        refusal = writeChangeLog(location, changeLogText(header, *outcome.result),
                                 (documentMode & 0666) | S_IWUSR, request.replaceExisting,
                                 {at.input, request.otherInputs});
    } catch (const std::exception &) {
        refusal = OutputRefusal{std::strerror(ENOMEM)}; // only building the text can throw
    }
    if (!refusal) {
        outcome.logPath = location;
        return;
    }
    outcome.logError = "The change log could not be written to " + inQuotes(location) + ": " +
                       refusal->reason + ".";
    outcome.logExists = refusal->exists;
}

/// Writes the relinked document to `fd`; a failure is told as the output's, like any other.
void saveDocument(const xml::Document &document, int fd, const fs::path &name,
                  const Locations &at) {
    try {
        document.save(fd, name);
    } catch (const xml::DocumentError &error) {
        throw at.outputFailure(error.systemError() ? reasonFor(error.systemError())
                                                   : error.reason());
    }
}

/// Returns the permission bits of the document written (of the input document for a preview).
mode_t performFile(const RunRequest &request, const Locations &at, RunOutcome &outcome) {
    os::UniqueFd input;
    struct stat info {};
    const std::string subject = inQuotes(at.input.filename());
    if (int error = os::openRegular(AT_FDCWD, at.input.c_str(), true, input, info))
        throw cannotRead(subject, reasonFor(error));
    if (!input)
        throw notAFile(subject, info);
    if (!request.dryRun || request.checkOutput)
        placementFor(request, at);

    xml::Document document =
        xml::Document::read(input.get(), at.input, FCPXMLRelinker::loadOptions());
    input.reset();
    outcome.document = at.input;
    RelinkResult result = relinkDocument(document, request, at, outcome);
    const mode_t mode = (info.st_mode & kPermissionBits) | S_IWUSR;
    if (!request.dryRun) {
        PendingOutput pending = createOutput(at, PendingOutput::Kind::File, mode);
        saveDocument(document, pending.fd(), at.output, at);
        commit(pending, request, at);
        outcome.written = at.output;
    }
    outcome.result = std::move(result);
    return mode;
}

/// The first top-level entry of the open bundle whose extension is "fcpxml", in listing order.
std::string findDocument(int bundle) {
    const int copy = ::dup(bundle);
    DIR *listing = copy < 0 ? nullptr : ::fdopendir(copy);
    if (!listing) {
        if (copy >= 0)
            ::close(copy);
        return {};
    }
    std::string found;
    while (const dirent *entry = ::readdir(listing)) {
        if (hasExtension(entry->d_name, "fcpxml")) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(listing);
    return found;
}

RunFailure bundleCopyFailure(const BundleCopyError &error, const Locations &at) {
    if (!error.reading())
        return at.outputFailure(reasonFor(error.error()));
    const std::string entry = inQuotes(error.entry()) + " in " + inQuotes(at.input.filename());
    if (error.error() == 0)
        return {std::string(RelinkRun::kCopyBundleFailed) + entry + " is " + error.kind() +
                "; only files, folders and links can be copied."};
    return {std::string(RelinkRun::kCopyBundleFailed) + entry +
            " could not be read: " + reasonFor(error.error()) + "."};
}

void writeDocumentInto(const PendingOutput &pending, const std::string &name, mode_t mode,
                       const xml::Document &document, const Locations &at) {
    const auto failed = [&](int error) { return at.outputFailure(reasonFor(error)); };
    os::UniqueFd file(::openat(pending.fd(), name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                               S_IRUSR | S_IWUSR));
    if (!file)
        throw failed(errno);
    if (::fchmod(file.get(), mode) != 0)
        throw failed(errno);
    saveDocument(document, file.get(), at.output / name, at);
    if (int error = os::syncToDisk(file.get()))
        throw failed(error);
    if (::close(file.release()) != 0 && errno != EINTR)
        throw failed(errno);
}

/// Returns the permission bits of the document written (of the input document for a preview).
mode_t performBundle(const RunRequest &request, const Locations &at, RunOutcome &outcome) {
    // A bundle given through a link is the folder the link names.
    os::UniqueFd bundle;
    if (int error = os::openFolder(AT_FDCWD, at.input.c_str(), true, bundle)) {
        if (error == ENOTDIR)
            throw RunFailure{std::string(RelinkRun::kNoDocumentInBundle)};
        throw cannotRead(inQuotes(at.input.filename()), reasonFor(error));
    }
    struct stat bundleInfo {};
    if (::fstat(bundle.get(), &bundleInfo) != 0)
        throw cannotRead(inQuotes(at.input.filename()), reasonFor(errno));
    const bool checkOutput = !request.dryRun || request.checkOutput;
    if (checkOutput) {
        // Writing into the input, or replacing a folder that holds it, would destroy the
        // user's project.
        const fs::path in = comparable(at.input);
        const fs::path out = comparable(at.output);
        if (isWithin(out, in))
            throw RunFailure{std::string(RelinkRun::kOutputInsideInput)};
        if (isWithin(in, out))
            throw RunFailure{std::string(RelinkRun::kOutputContainsInput)};
    }

    const std::string name = findDocument(bundle.get());
    if (name.empty())
        throw RunFailure{std::string(RelinkRun::kNoDocumentInBundle)};
    const fs::path documentPath = at.input / name;
    const std::string subject = inQuotes(name) + " in the bundle " + inQuotes(at.input.filename());
    os::UniqueFd input;
    struct stat info {};
    if (::fstatat(bundle.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(info.st_mode))
        throw RunFailure{std::string(RelinkRun::kDocumentIsLink)};
    if (int error = os::openRegular(bundle.get(), name.c_str(), false, input, info))
        throw cannotRead(subject, reasonFor(error));
    if (!input)
        throw notAFile(subject, info);
    if (checkOutput)
        placementFor(request, at);

    std::optional<xml::Document> document;
    try {
        document.emplace(
            xml::Document::read(input.get(), documentPath, FCPXMLRelinker::loadOptions()));
    } catch (const xml::DocumentError &error) {
        throw error.describing(subject);
    }
    input.reset();
    outcome.document = documentPath;
    RelinkResult result = relinkDocument(*document, request, at, outcome);
    const mode_t mode = (info.st_mode & kPermissionBits) | S_IWUSR;
    if (!request.dryRun) {
        PendingOutput pending = createOutput(at, PendingOutput::Kind::Folder,
                                             (bundleInfo.st_mode & kPermissionBits) | S_IRWXU);
        try {
            copyBundleEntries(bundle.get(), pending.fd(), name);
        } catch (const BundleCopyError &error) {
            throw bundleCopyFailure(error, at);
        }
        writeDocumentInto(pending, name, mode, *document, at);
        commit(pending, request, at);
        outcome.written = at.output;
    }
    outcome.result = std::move(result);
    return mode;
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

bool RelinkRun::isBundle(const fs::path &input) {
    return hasExtension(input, "fcpxmld");
}

RunOutcome RelinkRun::perform(const RunRequest &request) {
    const Locations at{withoutTrailingSeparator(request.input),
                       withoutTrailingSeparator(request.output), isBundle(request.input)};
    RunOutcome outcome;
    outcome.searchFolders = searchFoldersOf(request);
    try {
        const mode_t documentMode =
            at.bundle ? performBundle(request, at, outcome) : performFile(request, at, outcome);
        if (!request.dryRun && request.writeLog)
            writeLogOf(request, at, documentMode, outcome);
        return outcome;
    } catch (const RunFailure &failure) {
        outcome.errorMessage = failure.message;
        outcome.outputExists = failure.outputExists;
    } catch (const RelinkError &error) {
        outcome.errorMessage = error.errorDescription();
    } catch (const xml::DocumentError &error) {
        outcome.errorMessage = error.message();
    } catch (const std::bad_alloc &) {
        outcome.errorMessage =
            "There is not enough memory to relink " + inQuotes(at.input.filename()) + ".";
    } catch (const std::exception &error) {
        // Nothing else is expected, but a worker thread must never end the program.
        outcome.errorMessage =
            "Tessaly could not relink " + inQuotes(at.input.filename()) + ": " + error.what();
    }
    outcome.written.clear();
    outcome.result.reset();
    return outcome;
}

} // namespace tessaly
