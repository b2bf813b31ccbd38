#include "workflow/path_string.h"

#include <QFile>

namespace tessaly {

QString pathString(const std::filesystem::path &path) {
    return QFile::decodeName(path.native().c_str());
}

std::filesystem::path pathFromString(const QString &path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

} // namespace tessaly
