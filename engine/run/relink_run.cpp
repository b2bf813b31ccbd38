#include "engine/run/relink_run.h"

#include "engine/relink/change_log.h"
#include "engine/relink/fcpxml_relinker.h"
#include "engine/relink/originals_locator.h"
#include "engine/run/bundle_copy.h"
#include "engine/run/change_log_file.h"
#include "engine/run/file_system.h"
#include "engine/run/output_location.h"
#include "engine/run/pending_output.h"
#include "engine/run/run_error.h"
#include "engine/run/trailing_digest.h"
#include "engine/xml/document.h"
#include "engine/xml/text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>
#include <future>
#include <optional>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tessaly {

namespace {

constexpr mode_t kPermissionBits = S_IRWXU | S_IRWXG | S_IRWXO;

std::string inQuotes(const fs::path &path) {
    return xml::curlyQuoted(path.string());
}

/// The pieces of one run, resolved once.
struct Locations {
    fs::path input;  ///< the document or bundle read, without a trailing separator
    fs::path output; ///< likewise
    bool bundle = false;
    /// The document the user named inside the bundle; empty when they named the bundle.
    std::string namedDocument;

    /// How a failure to write the output is told, in the words the user knows: the input is
    /// copied.
    WriteFailure outputFailure() const {
        const std::string_view prefix =
            bundle ? RelinkRun::kCopyBundleFailed : RelinkRun::kCopyFileFailed;
        return {std::string(prefix) + inQuotes(input.filename()) + " could not be copied to " +
                inQuotes(output) + ": "};
    }
};

Locations locate(const RunRequest &request) {
    Locations at{withoutTrailingSeparator(request.input),
                 withoutTrailingSeparator(request.output),
                 RelinkRun::isBundle(request.input),
                 {}};
    // A document inside a bundle is that bundle's: written beside it, it would be a second
    // document in the bundle, and a later run might relink either.
    const fs::path folder = at.input.parent_path();
    if (!at.bundle && RelinkRun::isBundle(folder)) {
        at.namedDocument = at.input.filename().string();
        at.input = folder;
        at.bundle = true;
    }
    return at;
}

/// The input, open: a document, or a bundle and the document inside it.
struct Source {
    os::UniqueFd bundle; ///< the bundle's folder; closed for a single document
    struct stat bundleInfo {};
    std::string name;    ///< the document's name inside the bundle
    fs::path path;       ///< the document as messages and the outcome name it
    std::string subject; ///< the quoted name the user knows
    os::UniqueFd document;
    struct stat info {};
};

/// The run's own refusal to read its input. `subject` is the quoted name the user knows; the
/// sentence is the one the document itself gives when it cannot be read, so both read alike.
RunError cannotRead(const std::string &subject, int error) {
    return RunError("Cannot read " + subject + ": " + xml::systemErrorText(error) + ".", error);
}

/// Opens the document at `dir`/`name` as `source.document`, or says why it cannot be read.
void openDocument(Source &source, int dir, const char *name, bool followLink) {
    if (int error = os::openRegular(dir, name, followLink, source.document, source.info))
        throw cannotRead(source.subject, error);
    if (source.document)
        return;
    if (S_ISDIR(source.info.st_mode))
        throw cannotRead(source.subject, EISDIR);
    throw RunError("Cannot read " + source.subject + ": it is " +
                   std::string(os::kindName(source.info.st_mode)) + ", not a regular file.");
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

void openBundle(Source &source, const Locations &at) {
    // A bundle given through a link is the folder the link names.
    if (int error = os::openFolder(AT_FDCWD, at.input.c_str(), true, source.bundle)) {
        if (error == ENOTDIR)
            throw RunError(std::string(RelinkRun::kNoDocumentInBundle));
        throw cannotRead(inQuotes(at.input.filename()), error);
    }
    if (::fstat(source.bundle.get(), &source.bundleInfo) != 0)
        throw cannotRead(inQuotes(at.input.filename()), errno);
}

void openDocumentInBundle(Source &source, const Locations &at) {
    source.name = at.namedDocument.empty() ? findDocument(source.bundle.get()) : at.namedDocument;
    if (source.name.empty())
        throw RunError(std::string(RelinkRun::kNoDocumentInBundle));
    source.path = at.input / source.name;
    source.subject = inQuotes(source.name) + " in the bundle " + inQuotes(at.input.filename());
    struct stat info {};
    if (::fstatat(source.bundle.get(), source.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(info.st_mode))
        throw RunError(std::string(RelinkRun::kDocumentIsLink));
    openDocument(source, source.bundle.get(), source.name.c_str(), false);
}

/// Refuses, before anything is read, an output that would overwrite the user's project or
/// land where Final Cut Pro would take it for part of a bundle.
void refuseOverlaps(const Locations &at) {
    const fs::path out = comparable(at.output);
    if (at.bundle) {
        const fs::path in = comparable(at.input);
        if (isWithin(out, in))
            throw RunError(std::string(RelinkRun::kOutputInsideInput));
        if (isWithin(in, out))
            throw RunError(std::string(RelinkRun::kOutputContainsInput));
    }
    if (RelinkRun::isBundle(out.parent_path()))
        throw RunError(std::string(RelinkRun::kOutputInsideBundle));
}

ProtectedInputs protectedInputs(const RunRequest &request, const Locations &at) {
    return {at.input, request.otherInputs};
}

/// Examines what stands at the output through `folder`, the one the output is written to, and
/// says whether it may be replaced.
PendingOutput::Placement placementFor(int folder, const std::string &name,
                                      const RunRequest &request, const Locations &at) {
    const OutputVerdict verdict = examineOutput(folder, name, at.bundle, request.replaceExisting,
                                                protectedInputs(request, at));
    if (verdict.refused())
        at.outputFailure().raise(verdict.refusal, verdict.exists);
    return verdict.replace ? PendingOutput::Placement::Replace
                           : PendingOutput::Placement::NeverReplace;
}

/// What an apply would say of its output, said before anything is read or written.
void examineOutputAhead(const RunRequest &request, const Locations &at) {
    os::UniqueFd folder;
    at.outputFailure().check(os::openFolder(AT_FDCWD, folderOf(at.output).c_str(), true, folder));
    placementFor(folder.get(), at.output.filename().string(), request, at);
}

/// Refuses a result made from a document that changed while the run read it. The document is
/// mapped, not copied: a save by another program meanwhile would mix two versions, and a file
/// cut short reads as zeros. A change that keeps the size shows in the modification time.
/// `cut` says the document, while mapped, lost bytes that then read as zeros.
void refuseChangedInput(const Source &source, bool cut, bool dryRun) {
    struct stat now {};
    const bool same = ::fstat(source.document.get(), &now) == 0 &&
                      now.st_size == source.info.st_size &&
                      now.st_mtim.tv_sec == source.info.st_mtim.tv_sec &&
                      now.st_mtim.tv_nsec == source.info.st_mtim.tv_nsec;
    if (!same || cut)
        throw RunError(source.subject +
                       " changed while it was being relinked; try again once it is saved." +
                       (dryRun ? "" : " Nothing was written."));
}

xml::Document readDocument(const Source &source, const Locations &at, bool dryRun) {
    try {
        xml::Document document =
            xml::Document::read(source.document.get(), source.path, FCPXMLRelinker::loadOptions());
        return document;
    } catch (const xml::DocumentError &error) {
        // A document cut short while parsing fails as malformed: the change is the reason.
        refuseChangedInput(source, false, dryRun);
        throw RunError(at.bundle ? error.describing(source.subject).message() : error.message(),
                       error.systemError());
    }
}

/// The refusal of a run that requires every original: how many are missing or ambiguous, and
/// the first few by name.
RunError missingOriginalsFailure(const std::vector<RelinkChange> &changes, std::size_t missing,
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
    return RunError(message);
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

    RelinkResult result;
    try {
        result = FCPXMLRelinker::relink(document, &originals);
    } catch (const RelinkError &error) {
        throw RunError(error.errorDescription());
    }
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

/// The document as written: its size and digest, for the change log to name.
struct Written {
    std::uint64_t size = 0;
    std::string sha256;
    /// The document's sync, still under way while its log is written: 0 or the error.
    std::future<int> synced;
};

/// Syncs `fd` on a thread of its own, or here when no thread can be started.
std::future<int> syncingToDisk(int fd) {
    try {
        return std::async(std::launch::async, [fd] { return os::syncToDisk(fd); });
    } catch (const std::system_error &) {
        std::promise<int> done;
        done.set_value(os::syncToDisk(fd));
        return done.get_future();
    }
}

/// Writes the relinked document to `fd`, reads it back for its digest behind the writes, and
/// starts its sync.
Written saveDocument(const xml::Document &document, int fd, const fs::path &name,
                     const WriteFailure &failure) {
    TrailingDigest digest(fd);
    try {
        document.save(fd, name, [&digest](std::uint64_t end) { digest.written(end); });
    } catch (const xml::DocumentError &error) {
        if (error.systemError())
            failure.raise(error.systemError());
        failure.raise(error.reason());
    }
    // The document goes to the disk while the digest catches up with the writes and the log
    // is written: for a large document each takes a while, and none needs the others.
    std::future<int> synced = syncingToDisk(fd);
    Written written;
    failure.check(digest.finish(written.size, written.sha256));
    written.synced = std::move(synced);
    return written;
}

Written writeDocumentInto(const PendingOutput &pending, const std::string &name, mode_t mode,
                          const xml::Document &document, const Locations &at) {
    const WriteFailure failure = at.outputFailure();
    os::UniqueFd file(::openat(pending.fd(), name.c_str(),
                               O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                               S_IRUSR | S_IWUSR));
    if (!file)
        failure.raise(errno);
    if (::fchmod(file.get(), mode) != 0)
        failure.raise(errno);
    Written written = saveDocument(document, file.get(), at.output / name, failure);
    failure.check(written.synced.get());
    if (::close(file.release()) != 0 && errno != EINTR)
        failure.raise(errno);
    return written;
}

/// Moves a finished output into place, having looked again, through the folder it is written
/// to, at what now stands there. The caller holds the folder's lock, so no other run writes
/// there meanwhile; another program may, and is looked at again.
void commit(PendingOutput &pending, const RunRequest &request, const Locations &at,
            const std::function<void()> &lastCheck) {
    for (int attempt = 1;; ++attempt) {
        const PendingOutput::Placement placement =
            placementFor(pending.folder(), pending.name(), request, at);
        try {
            pending.commit(placement, lastCheck);
            return;
        } catch (const RunError &error) {
            if (error.error() != EEXIST || !request.replaceExisting || attempt == 3)
                throw;
        }
    }
}

/// A change log written whole beside its output, not yet in place.
struct PendingLog {
    fs::path location;
    WriteFailure failure;
    std::optional<PendingOutput> file;
    std::string output; ///< the output its header names
};

/// The full path a log names: a log is read later, perhaps elsewhere.
std::string fullPath(const fs::path &path) {
    std::error_code error;
    fs::path absolute = fs::absolute(path, error);
    return (error ? path : absolute).lexically_normal().string();
}

/// Writes the change log of `pending`'s output under a temporary name; a failure is only noted
/// in the outcome, for the output is written all the same.
PendingLog prepareLog(const PendingOutput &pending, const RunRequest &request, const Locations &at,
                      const Source &source, const Written &written, const RelinkResult &result,
                      RunOutcome &outcome) {
    PendingLog log{changeLogLocation(at.output), {}, std::nullopt, fullPath(at.output)};
    log.failure.prefix = "The change log could not be written to " + inQuotes(log.location) + ": ";
    try {
        const std::string name = log.location.filename().string();
        // Said before a long log is written in vain; said again once it is.
        const OutputVerdict verdict =
            examineLogPlace(pending.folder(), name, request.replaceExisting,
                            protectedInputs(request, at), log.output);
        if (verdict.refused())
            log.failure.raise(verdict.refusal, verdict.exists);
        ChangeLogHeader header{changeLogProgram(),
                               localDateTime(std::time(nullptr)),
                               fullPath(at.input),
                               log.output,
                               at.bundle ? source.name : "",
                               {},
                               written.size,
                               written.sha256};
        for (const fs::path &folder : outcome.searchFolders)
            header.searchFolders.push_back(folder.string());
        const std::string text = changeLogText(header, result);
        const mode_t mode = (source.info.st_mode & 0666) | S_IWUSR;
        log.file.emplace(PendingOutput::create(pending.folder(), name, PendingOutput::Kind::File,
                                               mode, log.failure));
        log.failure.check(os::writeAll(log.file->fd(), text));
    } catch (const RunError &error) {
        log.file.reset();
        outcome.logError = error.what();
        outcome.logExists = error.outputExists();
    } catch (const std::bad_alloc &) {
        log.file.reset();
        outcome.logError = log.failure.prefix + xml::systemErrorText(ENOMEM) + ".";
    }
    return log;
}

/// Moves the log into place beside the output just committed, under the same lock, so that a
/// log beside a document always describes that document.
void commitLog(PendingLog &log, const RunRequest &request, const Locations &at,
               RunOutcome &outcome) {
    try {
        const OutputVerdict verdict =
            examineLogPlace(log.file->folder(), log.file->name(), request.replaceExisting,
                            protectedInputs(request, at), log.output);
        if (verdict.refused())
            log.failure.raise(verdict.refusal, verdict.exists);
        log.file->commit(verdict.replace ? PendingOutput::Placement::Replace
                                         : PendingOutput::Placement::NeverReplace);
        outcome.logPath = log.location;
    } catch (const RunError &error) {
        outcome.logError = error.what();
        outcome.logExists = error.outputExists();
    }
}

/// Writes the output whole, and its change log, and moves both into place.
void apply(const RunRequest &request, const Locations &at, const Source &source,
           xml::Document document, const RelinkResult &result, RunOutcome &outcome) {
    const mode_t mode = (source.info.st_mode & kPermissionBits) | S_IWUSR;
    std::optional<PendingOutput> pending;
    Written written; // after the output: a sync under way ends before the output can go
    if (at.bundle) {
        pending.emplace(PendingOutput::create(
            at.output, PendingOutput::Kind::Folder,
            (source.bundleInfo.st_mode & kPermissionBits) | S_IRWXU, at.outputFailure()));
        copyBundleEntries(source.bundle.get(), pending->fd(), source.name,
                          at.input.filename().string(), at.outputFailure());
        written = writeDocumentInto(*pending, source.name, mode, document, at);
    } else {
        pending.emplace(
            PendingOutput::create(at.output, PendingOutput::Kind::File, mode, at.outputFailure()));
        written = saveDocument(document, pending->fd(), at.output, at.outputFailure());
    }
    // Nothing reads the document once it is written: its memory goes while the disk catches
    // up, and all the last check needs of it is whether its file was cut short meanwhile.
    const bool cut = document.sourceCut();
    {
        const xml::Document released = std::move(document);
    }
    std::optional<PendingLog> log;
    if (request.writeLog)
        log.emplace(prepareLog(*pending, request, at, source, written, result, outcome));
    if (written.synced.valid())
        at.outputFailure().check(written.synced.get());

    const os::FolderLock inTurn(pending->folder());
    // The input is checked last, once the output is on the disk: a sync may take seconds.
    commit(*pending, request, at, [&] { refuseChangedInput(source, cut, false); });
    outcome.written = at.output;
    if (log && log->file)
        commitLog(*log, request, at, outcome);
}

/// One run over either kind of input: open it, examine the output, read, relink and, for an
/// apply, write.
void performRun(const RunRequest &request, const Locations &at, RunOutcome &outcome) {
    const bool checkOutput = !request.dryRun || request.checkOutput;
    Source source;
    if (at.bundle) {
        openBundle(source, at);
        if (checkOutput)
            refuseOverlaps(at);
        openDocumentInBundle(source, at);
    } else {
        source.path = at.input;
        source.subject = inQuotes(at.input.filename());
        openDocument(source, AT_FDCWD, at.input.c_str(), true);
        if (checkOutput)
            refuseOverlaps(at);
    }
    if (checkOutput)
        examineOutputAhead(request, at);

    // The document stays open until the result is trusted: its size and time are checked last.
    xml::Document document = readDocument(source, at, request.dryRun);
    outcome.document = source.path;
    RelinkResult result = relinkDocument(document, request, at, outcome);
    if (!request.dryRun)
        apply(request, at, source, std::move(document), result, outcome);
    else
        refuseChangedInput(source, document.sourceCut(), true);
    outcome.result = std::move(result);
}

} // namespace

fs::path RelinkRun::defaultOutputLocation(const fs::path &input) {
    fs::path location = withoutTrailingSeparator(input);
    // A document inside a bundle is relinked as that bundle.
    if (!isBundle(location) && isBundle(location.parent_path()))
        location = location.parent_path();
    const std::string name = location.filename().string();
    const auto dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    return location.parent_path() / (stem + "_braw." + extension);
}

void RelinkRun::abandonRuns() {
    PendingOutput::abandonAll();
}

bool RelinkRun::isBundle(const fs::path &input) {
    return hasExtension(input, "fcpxmld");
}

RunOutcome RelinkRun::perform(const RunRequest &request) {
    const Locations at = locate(request);
    RunOutcome outcome;
    outcome.searchFolders = searchFoldersOf(request);
    try {
        performRun(request, at, outcome);
        return outcome;
    } catch (const RunError &error) {
        outcome.errorMessage = error.what();
        outcome.outputExists = error.outputExists();
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
    outcome.logPath.clear();
    return outcome;
}

} // namespace tessaly
