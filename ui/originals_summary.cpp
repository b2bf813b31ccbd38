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
        if (change.brawFound) {
            ++summary.found;
        } else if (summary.firstMissing.size() < named) {
            summary.firstMissing << pathString(std::filesystem::path(change.newSrc).filename());
        } else {
            ++summary.moreMissing;
        }
    }
    return summary;
}

} // namespace tessaly
