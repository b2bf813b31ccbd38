#pragma once

#include "engine/relink/relink_records.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace tessaly {

/// An original whose name matched several files in the search folders.
struct AmbiguousOriginal {
    QString name;           ///< the original's file name
    QStringList candidates; ///< the full paths of the files it matched
};

/// What a run found of the camera originals its changes point at, as the window tells it.
struct OriginalsSummary {
    /// Originals found on disk, each one file; an ambiguous one is not found.
    qint64 found = 0;
    qint64 total = 0;
    /// File names of the first missing originals, in the changes' order.
    QStringList firstMissing;
    /// How many more are missing than `firstMissing` names.
    qint64 moreMissing = 0;
    /// The first ambiguous originals, in the changes' order.
    QList<AmbiguousOriginal> firstAmbiguous;
    /// How many more are ambiguous than `firstAmbiguous` names.
    qint64 moreAmbiguous = 0;

    /// Whether every original was found.
    bool allFound() const { return found == total; }
    /// Whether some original is missing, as opposed to only ambiguous.
    bool anyMissing() const { return !firstMissing.isEmpty() || moreMissing > 0; }
    /// The count as a badge shows it: "12 / 14".
    QString count() const;
};

/// Counts the originals of `changes` found on disk and names up to `named` missing ones and
/// `named` ambiguous ones.
OriginalsSummary summarizeOriginals(const std::vector<RelinkChange> &changes, int named = 3);

} // namespace tessaly
