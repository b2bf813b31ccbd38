#pragma once

#include <QString>

#include <filesystem>
#include <optional>

namespace tessaly {

/// The modal choosers and the one question the workflow asks the user through; the window supplies
/// dialogs, tests supply scripted answers.
class FileChooser {
public:
    virtual ~FileChooser() = default;

    /// Lets the user pick one file or folder of any type, modally; none when the user cancels.
    virtual std::optional<std::filesystem::path> chooseInput(const QString &title) = 0;

    /// Lets the user pick where to save, modally, proposing `proposedName` with no type filter
    /// and no starting folder; none when the user cancels.
    virtual std::optional<std::filesystem::path> chooseOutput(const QString &title,
                                                              const QString &proposedName) = 0;

    /// Lets the user pick one folder, modally; none when the user cancels.
    virtual std::optional<std::filesystem::path> chooseFolder(const QString &title) = 0;

    /// Asks, modally, whether the earlier output at `existing` may be replaced; false unless
    /// the user agrees.
    virtual bool confirmReplace(const std::filesystem::path &existing) = 0;
};

} // namespace tessaly
