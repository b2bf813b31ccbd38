#include "workflow/export_file.h"

#include "workflow/path_string.h"

#include <QCoreApplication>
#include <QFile>

#include <system_error>

namespace tessaly {

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("ExportFile", text);
}

/// Whether the regular file `file` opens with an `fcpxml` element.
bool startsAsFCPXML(const std::filesystem::path &file) {
    QFile document(pathString(file));
    if (!document.open(QIODevice::ReadOnly))
        return false;
    const QByteArray start = document.read(512);
    for (qsizetype at = start.indexOf("<fcpxml"); at >= 0; at = start.indexOf("<fcpxml", at + 1)) {
        const qsizetype after = at + 7;
        if (after < start.size() && (QByteArrayView(" \t\r\n>/").contains(start[after])))
            return true;
    }
    return false;
}

} // namespace

bool hasExportExtension(const std::filesystem::path &file) {
    const QString extension = pathString(file.extension()).mid(1).toLower();
    return extension == QLatin1String("fcpxml") || extension == QLatin1String("fcpxmld");
}

std::optional<QString> whyNotAnExport(const std::filesystem::path &file) {
    const QString name = pathString(file);
    std::error_code error;
    const bool exists = std::filesystem::exists(file, error);
    if (error && error != std::errc::no_such_file_or_directory) {
        // A folder on the way that cannot be read, say: the system's own words.
        return tr("Cannot open “%1”: %2.").arg(name, QString::fromStdString(error.message()));
    }
    if (!exists)
        return tr("Cannot open “%1”: there is no such file or folder.").arg(name);
    if (!hasExportExtension(file) && !startsAsFCPXML(file)) {
        return tr("Cannot open “%1”: Tessaly opens Final Cut Pro XML exports, .fcpxml documents "
                  "and .fcpxmld bundles.")
            .arg(name);
    }
    return std::nullopt;
}

} // namespace tessaly
