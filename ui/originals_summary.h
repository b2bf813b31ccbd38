#pragma once

#include "engine/relink/relink_records.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tessaly {

/// What a run found of the camera originals its changes point at, as the window tells it.
struct OriginalsSummary {
    qint64 found = 0;
    qint64 total = 0;
    /// File names of the first missing originals, in the changes' order.
    QStringList firstMissing;
    /// How many more are missing than `firstMissing` names.
    qint64 moreMissing = 0;

    /// Whether no original is missing.
    bool allFound() const { return found == total; }
    /// The count as a badge shows it: "12 / 14".
    QString count() const;
};

/// Counts the originals of `changes` found on disk and names up to `named` missing ones.
OriginalsSummary summarizeOriginals(const std::vector<RelinkChange> &changes, int named = 3);

} // namespace tessaly
