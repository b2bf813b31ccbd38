#pragma once

#include "workflow/file_chooser.h"

#include <QString>

#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

namespace tessaly::testing {

/// A chooser that answers from a script and remembers what it was asked.
class ScriptedChooser : public FileChooser {
public:
    std::optional<std::filesystem::path> inputAnswer;
    std::optional<std::filesystem::path> outputAnswer;
    std::vector<QString> inputTitles;
    std::vector<std::pair<QString, QString>> outputRequests; ///< title, proposed name
    std::optional<std::filesystem::path> folderAnswer;
    std::vector<QString> folderTitles;
    bool replaceAnswer = false;
    std::vector<std::filesystem::path> replaceQuestions;

    std::optional<std::filesystem::path> chooseInput(const QString &title) override {
        inputTitles.push_back(title);
        return inputAnswer;
    }
    std::optional<std::filesystem::path> chooseOutput(const QString &title,
                                                      const QString &proposedName) override {
        outputRequests.emplace_back(title, proposedName);
        return outputAnswer;
    }
    std::optional<std::filesystem::path> chooseFolder(const QString &title) override {
        folderTitles.push_back(title);
        return folderAnswer;
    }
    bool confirmReplace(const std::filesystem::path &existing) override {
        replaceQuestions.push_back(existing);
        return replaceAnswer;
    }
};

} // namespace tessaly::testing
