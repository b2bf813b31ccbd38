#pragma once

#include "engine/relink/relink_records.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

/// What one run is asked to do.
struct RunRequest {
    std::filesystem::path input;  ///< the document or bundle the user chose
    std::filesystem::path output; ///< where an apply writes
    bool dryRun = true;           ///< a preview: read and relink, write nothing
    /// The user agreed to replace what stands at the output (a save dialog asked, or the
    /// command line was given --overwrite). Even then only an .fcpxml document or an .fcpxmld
    /// bundle is replaced, never an input, and only once the new output is complete.
    bool replaceExisting = false;
    /// A preview also examines the output as an apply would, and fails where the apply would.
    bool checkOutput = false;
    /// More locations the run must never replace or remove: the other inputs of one command.
    std::vector<std::filesystem::path> otherInputs;
    /// Any .braw original missing on this machine, or ambiguous, fails the run before anything
    /// is written.
    bool requireOriginals = false;
    /// Folders the editor keeps originals in (another drive, a RAID), each searched with all
    /// its subfolders for a proxy whose original is neither beside it nor one folder up from
    /// its Proxy folder (see RelinkChange::original). Relative ones are taken from the current
    /// folder. The run walks them itself, once, so perform it off the GUI thread.
    std::vector<std::filesystem::path> searchFolders;
    /// A successful apply writes a change log beside its output (see changeLogLocation). An
    /// earlier log there is replaced only under `replaceExisting`.
    bool writeLog = true;
};

/// What one run did: the one value every front end reports from.
struct RunOutcome {
    /// The .fcpxml that was read (for a bundle, the one inside the input); empty when the run
    /// ended before reading one.
    std::filesystem::path document;
    /// The output moved into place; empty for a preview and for every failure.
    std::filesystem::path written;
    /// The relink's result; set exactly when the run succeeded.
    std::optional<RelinkResult> result;
    /// The message the user is shown; set exactly when the run failed.
    std::string errorMessage;
    /// True when the run failed only because something stands at the output and the request
    /// did not agree to replace it.
    bool outputExists = false;
    /// How many changes name a .braw original that is not on this machine (each change's
    /// `original` says which: missing); empty when the run ended before looking.
    std::optional<std::size_t> missingOriginals;
    /// How many changes found several different originals in the search folders and point
    /// beside their proxy instead (`original` ambiguous, with its `candidates`); empty when the
    /// run ended before looking. These are not counted as missing.
    std::optional<std::size_t> ambiguousOriginals;
    /// The search folders of the request as they were searched: absolute, each once, in the
    /// order given. Set for every run, failed ones too.
    std::vector<std::filesystem::path> searchFolders;
    /// The folders among and below the search folders that could not be read and were
    /// skipped, and the one warning sentence that names them all (empty when there are none).
    /// A run that succeeded has succeeded all the same.
    std::vector<std::filesystem::path> unreadableFolders;
    std::string searchWarning;
    /// The change log written beside the output; empty when none was.
    std::filesystem::path logPath;
    /// Why a successful apply wrote no change log although one was asked for, as a sentence the
    /// user is shown; the apply has succeeded all the same. Empty otherwise.
    std::string logError;
    /// True when the log was not written only because an earlier file stands at its place and
    /// the request did not agree to replace it.
    bool logExists = false;

    bool succeeded() const { return result.has_value(); }
};

/// The file-level run shared by every front end: read the input document (a file, or the
/// document inside a bundle), relink it, look for every .braw original on disk and, for an
/// apply, write the output whole or not at all, then its change log. The input is never
/// written. An apply builds its output under a hidden temporary name beside the output (a
/// bundle: a temporary folder with copies of the bundle's other entries) and moves it into
/// place with one rename; a failure removes everything the run created.
///
/// Each original is looked for beside its proxy, one folder up from a Proxy folder, then in the
/// request's search folders (see OriginalPlace); a new asset points at the file found. A
/// relative .braw location is looked for where Final Cut Pro will resolve it once it imports
/// the output: in the output's folder, or in the output bundle (there, before anything is
/// written, in the input bundle whose entries the apply copies), ".." taken off by name.
class RelinkRun {
public:
    RelinkRun() = delete;

    /// The default output location beside `input`: its stem, "_braw." and its extension as
    /// written (/Edits/Day1.fcpxml gives /Edits/Day1_braw.fcpxml).
    static std::filesystem::path defaultOutputLocation(const std::filesystem::path &input);

    /// True when `input` names a bundle: its extension, in any case, is "fcpxmld".
    static bool isBundle(const std::filesystem::path &input);

    /// Carries out `request`; never throws. Touches only its argument and the file system, so
    /// it may run on any thread.
    static RunOutcome perform(const RunRequest &request);

    /// Removes the hidden temporaries of every apply at work in this process, and keeps them
    /// from ever moving into place; for a process about to end on a signal (SIGINT, SIGTERM)
    /// or quit while a run is at work, so that it leaves nothing behind. A run at work then
    /// never ends: the caller ends the process without waiting for it.
    static void abandonRuns();

    /// Ends the process on SIGINT, SIGTERM or SIGHUP as the signal would, once abandonRuns()
    /// has removed the temporaries of the runs at work. Call it before the process starts any
    /// thread: the signals are blocked in the calling thread and those it starts, and one
    /// thread of its own waits for them.
    static void abandonRunsOnSignals();

    static constexpr std::string_view kCopyFileFailed = "Failed to copy file: ";
    static constexpr std::string_view kCopyBundleFailed = "Failed to copy bundle: ";
    static constexpr std::string_view kNoDocumentInBundle = "No .fcpxml found inside bundle.";
    static constexpr std::string_view kOutputInsideInput =
        "The output location must be outside the input bundle.";
    static constexpr std::string_view kOutputInsideBundle =
        "The output location must not be inside an .fcpxmld bundle, where Final Cut Pro would "
        "find two documents.";
    static constexpr std::string_view kOutputContainsInput =
        "The output location must not be a folder that contains the input bundle.";
    static constexpr std::string_view kDocumentIsLink =
        "The .fcpxml inside the bundle is a link to another file. Tessaly does not write "
        "through links; replace the link with the document itself.";
};

} // namespace tessaly
