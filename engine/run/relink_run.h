#pragma once

#include "engine/relink/relink_records.h"

#include <filesystem>
#include <optional>
#include <string>
#include <variant>

namespace tessaly {

/// The file-level run shared by every front end: decide file or bundle, copy the input for an
/// apply, find the document inside a bundle, then have the engine process that document.
///
/// `prepare` does the file-system work that must happen before the engine runs (the window
/// does it on the GUI thread); `execute` is the engine's part and touches only its arguments,
/// so it may run on any thread.
class RelinkRun {
public:
    RelinkRun() = delete;

    /// The default output location beside `input`: its stem, "_braw." and its extension as
    /// written (/Edits/Day1.fcpxml gives /Edits/Day1_braw.fcpxml).
    static std::filesystem::path defaultOutputLocation(const std::filesystem::path &input);

    /// The document the engine is to process, once the input has been checked and copied.
    struct Prepared {
        std::filesystem::path document; ///< read, and for an apply rewritten in place
        bool dryRun = true;
    };
    /// A run that ended before the engine: the message the user is shown.
    struct Failure {
        std::string message;
    };

    /// Checks the input, copies it to `output` for an apply (never writing the input), and
    /// finds the document to process. Returns a failure message instead of throwing.
    static std::variant<Prepared, Failure>
    prepare(const std::filesystem::path &input, const std::filesystem::path &output, bool dryRun);

    /// What the engine made of a prepared run: a result, or the message of its error.
    struct Outcome {
        std::optional<RelinkResult> result;
        std::string errorMessage; ///< set exactly when `result` is empty
    };
    /// Loads, relinks and (for an apply) rewrites the prepared document in place.
    static Outcome execute(const Prepared &prepared);

    /// `prepare` then `execute`, for front ends without threads.
    static Outcome perform(const std::filesystem::path &input, const std::filesystem::path &output,
                           bool dryRun, std::filesystem::path *document = nullptr);

    static constexpr std::string_view kCopyFileFailed = "Failed to copy file: ";
    static constexpr std::string_view kCopyBundleFailed = "Failed to copy bundle: ";
    static constexpr std::string_view kNoDocumentInBundle = "No .fcpxml found inside bundle.";
    static constexpr std::string_view kOutputInsideInput =
        "The output location must be outside the input bundle.";
    static constexpr std::string_view kOutputContainsInput =
        "The output location must not be a folder that contains the input bundle.";
    static constexpr std::string_view kDocumentIsLink =
        "The .fcpxml inside the bundle is a link to another file. Tessaly does not write "
        "through links; replace the link with the document itself.";
};

} // namespace tessaly
