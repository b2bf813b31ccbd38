#include "ui/originals_summary.h"

#include "workflow/path_string.h"

#include <filesystem>

namespace tessaly {

QString OriginalsSummary::count() const {
    return QString::number(found) + QStringLiteral(" / ") + QString::number(total);
}

OriginalsSummary summarizeOriginals(const std::vector<RelinkChange> &changes, int named) {
    OriginalsSummary summary;
    summary.total = qint64(changes.size());
    for (const RelinkChange &change : changes) {
        const QString name = pathString(std::filesystem::path(change.newSrc).filename());
        if (change.original == OriginalPlace::ambiguous) {
            if (summary.firstAmbiguous.size() < named) {
                AmbiguousOriginal ambiguous{name, {}};
                for (const std::string &candidate : change.candidates)
                    ambiguous.candidates << pathString(candidate);
                summary.firstAmbiguous << ambiguous;
            } else {
                ++summary.moreAmbiguous;
            }
        } else if (change.brawFound) {
            ++summary.found;
        } else if (summary.firstMissing.size() < named) {
            summary.firstMissing << name;
        } else {
            ++summary.moreMissing;
        }
    }
    return summary;
}

} // namespace tessaly
